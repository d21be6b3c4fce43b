#include "report.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <span>

#include "analysis.h"
#include "energy_file.h"
#include "energy_input.h"
#include "output_file.h"

namespace quenvar_report {
namespace {

constexpr const char* kUsage =
    "Usage: quenvar-report -T KELVIN [OPTIONS] FILE...\n"
    "Reports -TdS of binding from each file's per-frame interaction energies, by the interaction-\n"
    "entropy formula and by the second-order estimate, with bootstrap uncertainties that allow for\n"
    "correlated frames, how far the result has converged, which estimate to report, and dG where the\n"
    "file has dH. A file is an xvg table (quenvar's energy_MM.xvg; the 8th column) or the per-frame\n"
    "CSV of the MM/PB(GB)SA suites (VDWAALS+EEL and TOTAL of the delta block), told by its content.\n"
    "\n"
    "  -T, --temperature KELVIN  the temperature in K: 298.15, 298.15K or \"298.15 K\" (required)\n"
    "      --column COLUMNS      the energy: a column, or columns joined by + and summed; by number\n"
    "                            or xvg legend in a table, by header name in the CSV\n"
    "      --enthalpy COLUMNS    dH of each frame, the same way (the CSV's TOTAL by default)\n"
    "      --model NAME          the CSV's model: gb, pb or the start of a title\n"
    "      --unit kJ|kcal        the energies' unit (default: kcal for the CSV, kJ for a table)\n"
    "      --last PERCENT        use only the last PERCENT of the frames (1 to 100; default 100)\n"
    "      --bootstrap N         resamples for the uncertainties (default 1000; 0: none)\n"
    "      --seed S              where the resampling's random numbers start (default 1)\n"
    "      --threads N           threads for the resampling (default: the CPUs it may run on)\n"
    "      --tsv                 a header line, then one tab-separated line per file\n"
    "      --plot FILE           write the convergence chart of the one energy file (Grace xvg)\n"
    "  -h, --help                show this help and exit\n"
    "      --version             show the version and exit\n"
    "\n"
    "A FILE of - is standard input. Exit status: 0 when every file was reported, 1 when any could\n"
    "not be, 2 for a usage error. See quenvar-report(1).\n";

constexpr const char* kColumns =
    "file\tframes\ttemperature\tmean\tsigma\tsigma_kT\tie\tie_sd\tie_bias\tie_low\tie_high\tc2\tc2_sd\tc2_bias\tc2_low\t"
    "c2_high\tie_first_half\tie_second_half\tc2_first_half\tc2_second_half\tinefficiency\tindependent_frames\tblock\t"
    "weight_frames\twarnings\tuse\tunit\tdh\tdh_inefficiency\tdh_sd\tdh_low\tdh_high\tdg_ie\tdg_ie_sd\tdg_ie_low\tdg_ie_high\t"
    "dg_c2\tdg_c2_sd\tdg_c2_low\tdg_c2_high\n";

// As the stream writes a double by default, and so as quenvar writes its result: 6 significant
// digits, or fewer where asked. An undefined figure (NaN) is "n/a".
std::string shown(double x, int digits = 6) {
    std::ostringstream text;
    text << std::setprecision(digits) << x;
    return std::isnan(x) ? "n/a" : text.str();
}

// A count and its noun, singular where the count reads 1.
std::string counted(const std::string& count, const std::string& noun) { return count + " " + noun + (count == "1" ? "" : "s"); }

// The shortest text that reads back as the same double; an undefined figure is an empty field.
std::string exact(double x) {
    char text[32];
    return std::isnan(x) ? "" : std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// A name in one line of text: a tab, a line end or a backslash in it escaped.
std::string escaped(const std::string& name) {
    std::string text;
    for (char c : name) {
        text += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
    }
    return text;
}

// The warning lines, in the order of their codes.
std::string warningLine(Warning w, const Analysis& a) {
    switch (w) {
        case Warning::kFewFrames:
            return "only " + counted(shown(a.independent(), 3), "independent frame") + " (fewer than " + shown(kFewFramesBelow) +
                   "): both intervals are likely too narrow.";
        case Warning::kShortBlocks:
            return "blocks cut to " + counted(std::to_string(a.block), "frame") + " (n/10) where " + std::to_string(a.wantedBlock) +
                   " are wanted: the intervals are likely too narrow.";
        case Warning::kFewWeightFrames:
            return "the exponential average rests on fewer than " + shown(kFewWeightFramesBelow) +
                   " effective independent frames: likely too low, its interval a lower bound.";
        case Warning::kHalvesDiffer:
            return "the halves differ by more than " + shown(kHalvesApartBeyond) + " bootstrap SDs: not converged.";
        case Warning::kSigmaBeyondIe:
            return "sigma is " + shown(a.sigmaInKT(), 3) + " kT, beyond " + shown(kIeSigmaUpTo) +
                   " kT: the exponential average cannot converge.";
        case Warning::kSigmaBeyondC2:
            return "sigma is " + shown(a.sigmaInKT(), 3) + " kT, beyond " + shown(kC2SigmaUpTo) +
                   " kT: the second-order estimate is unrealistic too.";
    }
    return "";
}

// A figure and its unit, with its SD and interval where there are resamples, to 4 significant digits.
std::string withSpread(double estimate, const Analysis& a, Spread Bootstrap::*which) {
    const std::optional<Bootstrap>& spread = a.spread;
    std::string text = shown(estimate, 4) + " " + unitName(a.unit);
    if (spread) {
        const Spread& s = (*spread).*which;
        text += " (SD " + shown(s.sd, 4) + ", 95% " + shown(s.low, 4) + " to " + shown(s.high, 4) + ")";
    }
    return text;
}

// Which estimate to report, with its spread and dG, and why.
std::string advice(const Analysis& a) {
    const std::string sigma = "sigma is " + shown(a.sigmaInKT(), 3) + " kT";
    if (a.use == Use::kNeither) return "neither estimate is reliable: " + sigma + ", beyond " + shown(kC2SigmaUpTo) + " kT";
    const bool ie = a.use == Use::kInteractionEntropy;
    std::string line = std::string(ie ? "interaction entropy, " : "second order, ") + (a.dh ? "-TdS " : "") +
                       withSpread(ie ? a.whole.ie : a.whole.c2, a, ie ? &Bootstrap::ie : &Bootstrap::c2);
    if (a.dh) line += ", dG " + withSpread(a.dg(ie ? &Estimates::ie : &Estimates::c2), a, ie ? &Bootstrap::dgIe : &Bootstrap::dgC2);
    if (ie) return line + ": it rests on " + counted(shown(a.independentWeightFrames(), 3), "effective independent frame") + ", and " + sigma;
    std::string why;
    if (a.warns(Warning::kFewWeightFrames)) why = "the exponential average rests on too few frames";
    if (a.warns(Warning::kSigmaBeyondIe)) why += (why.empty() ? "" : ", and ") + sigma + ", beyond " + shown(kIeSigmaUpTo) + " kT";
    return line + ": " + why;
}

void writeBlock(std::ostream& out, const std::string& name, const Analysis& a, const Options& o) {
    auto row = [&out](const std::string& label, const std::string& ie, const std::string& c2) {
        out << "  " << std::left << std::setw(16) << label << std::right << std::setw(20) << ie << std::setw(20) << c2 << '\n';
    };
    const std::string unit = unitName(a.unit);
    const std::string frames = std::to_string(a.frames), total = std::to_string(a.total);
    out << name << ": " << (a.frames != a.total ? frames + " of " + counted(total, "frame") : counted(frames, "frame"))
        << " at " << shown(o.temperature) << " K (kT " << shown(a.kT) << " " << unit << ")\n"
        << "  <E>              " << shown(a.moments.mean) << " " << unit << "\n"
        << "  sigma            " << shown(a.moments.sigma) << " " << unit << ", " << shown(a.sigmaInKT()) << " kT\n"
        << "  inefficiency g   " << shown(a.inefficiency) << ": " << counted(shown(a.independent()), "independent frame") << '\n'
        << "  exp. average     " << counted(shown(a.independentWeightFrames(), 3), "effective independent frame") << " (of "
        << shown(a.independent(), 3) << "; for a Gaussian E, " << shown(a.gaussianWeightFrames(), 3) << ")\n";
    if (a.dh) {
        out << "  <dH>             " << shown(*a.dh) << " " << unit;
        if (a.spread) out << ", SD " << shown(a.spread->dh.sd) << ", 95% " << shown(a.spread->dh.low) << " to " << shown(a.spread->dh.high);
        out << "; inefficiency g " << shown(a.dhInefficiency) << '\n';
    }
    out << '\n';
    row("-TdS, " + unit, "interaction entropy", "second order (C2)");
    row("estimate", shown(a.whole.ie), shown(a.whole.c2));
    if (a.spread) {
        row("bootstrap SD", shown(a.spread->ie.sd), shown(a.spread->c2.sd));
        row("95% CI low", shown(a.spread->ie.low), shown(a.spread->c2.low));
        row("95% CI high", shown(a.spread->ie.high), shown(a.spread->c2.high));
        row("bias", shown(a.spread->ie.bias), shown(a.spread->c2.bias));
    }
    row("first half", a.firstHalf ? shown(a.firstHalf->ie) : "n/a", a.firstHalf ? shown(a.firstHalf->c2) : "n/a");
    row("second half", a.secondHalf ? shown(a.secondHalf->ie) : "n/a", a.secondHalf ? shown(a.secondHalf->c2) : "n/a");
    if (a.dh) {
        row("dG, " + unit, "interaction entropy", "second order (C2)");
        row("estimate", shown(a.dg(&Estimates::ie)), shown(a.dg(&Estimates::c2)));
        if (a.spread) {
            row("bootstrap SD", shown(a.spread->dgIe.sd), shown(a.spread->dgC2.sd));
            row("95% CI low", shown(a.spread->dgIe.low), shown(a.spread->dgC2.low));
            row("95% CI high", shown(a.spread->dgIe.high), shown(a.spread->dgC2.high));
        }
    }
    if (a.spread) {
        out << "  (" << counted(std::to_string(o.resamples), "resample") << " of " << a.block
            << "-frame blocks; bias is their mean less the estimate:\n"
            << "  the exponential average comes out low on few frames)\n";
    }
    for (std::size_t w = 0; w < kWarningCodes.size(); ++w) {
        if (a.warnings[w]) out << "  Warning: " << warningLine(static_cast<Warning>(w), a) << '\n';
    }
    out << "  To report: " << advice(a) << '\n';
}

void writeRow(std::ostream& out, const std::string& name, const Analysis& a, const Options& o) {
    std::string row = escaped(name) + '\t' + std::to_string(a.frames) + '\t' + exact(o.temperature);
    auto add = [&row](std::optional<double> x) { row += '\t' + (x ? exact(*x) : std::string()); };
    add(a.moments.mean);
    add(a.moments.sigma);
    add(a.sigmaInKT());
    for (const auto& [kind, spread] : {std::pair(&Estimates::ie, &Bootstrap::ie), std::pair(&Estimates::c2, &Bootstrap::c2)}) {
        add(a.whole.*kind);
        for (double Spread::*field : {&Spread::sd, &Spread::bias, &Spread::low, &Spread::high}) {
            add(a.spread ? std::optional((*a.spread).*spread.*field) : std::nullopt);
        }
    }
    for (double Estimates::*kind : {&Estimates::ie, &Estimates::c2}) {
        for (const std::optional<Estimates>* half : {&a.firstHalf, &a.secondHalf}) {
            add(*half ? std::optional((**half).*kind) : std::nullopt);
        }
    }
    add(a.inefficiency);
    add(a.independent());
    row += '\t' + std::to_string(a.block);
    add(a.independentWeightFrames());
    row += '\t' + a.warningCodes() + '\t' + (a.use == Use::kInteractionEntropy ? "ie" : a.use == Use::kSecondOrder ? "c2" : "") + '\t' +
           unitName(a.unit);
    // dH and dG by each estimate, with their spreads: empty without dH or without resamples.
    const auto spread = [&a](Spread Bootstrap::*which, double Spread::*field) {
        return a.dh && a.spread ? std::optional((*a.spread).*which.*field) : std::nullopt;
    };
    add(a.dh);
    add(a.dh ? std::optional(a.dhInefficiency) : std::nullopt);
    add(spread(&Bootstrap::dh, &Spread::sd));
    add(spread(&Bootstrap::dh, &Spread::low));
    add(spread(&Bootstrap::dh, &Spread::high));
    for (const auto& [kind, which] : {std::pair(&Estimates::ie, &Bootstrap::dgIe), std::pair(&Estimates::c2, &Bootstrap::dgC2)}) {
        add(a.dh ? std::optional(a.dg(kind)) : std::nullopt);
        for (double Spread::*field : {&Spread::sd, &Spread::low, &Spread::high}) add(spread(which, field));
    }
    out << row << '\n';
}

// The convergence chart: both estimates over the first k frames, for 100 values of k (every k
// below 100 frames).
bool writePlot(const std::string& name, std::span<const double> frames, const Analysis& a, const Options& o, const std::string& input) {
    std::ostringstream text;
    text << std::setprecision(8) << "# -TdS over the first k frames of " << escaped(input) << " at " << o.temperature
         << " K, by quenvar-report " QUENVAR_REPORT_VERSION "\n"
         << "@    title \"Convergence of -T\\xD\\f{}S\"\n"
         << "@    subtitle \"" << o.temperature << " K\"\n"
         << "@    xaxis  label \"Frames used\"\n"
         << "@    yaxis  label \"-T\\xD\\f{}S (" << unitName(a.unit) << ")\"\n"
         << "@    legend on\n"
         << "@    s0 legend \"Interaction entropy\"\n"
         << "@    s1 legend \"Second order (C2)\"\n"
         << "@TYPE xy\n";
    const std::size_t n = frames.size(), points = std::min<std::size_t>(n, 100);
    std::vector<Estimates> estimates;
    for (std::size_t i = 1; i <= points; ++i) estimates.push_back(estimate(frames.first((i * n + points - 1) / points), a.kT));
    for (double Estimates::*kind : {&Estimates::ie, &Estimates::c2}) {
        for (std::size_t i = 1; i <= points; ++i) text << (i * n + points - 1) / points << ' ' << estimates[i - 1].*kind << '\n';
        text << "&\n";
    }
    return writeOutputFile(name, text.str());
}

// Writes text to standard output at once, so that a failed write's errno is its own; where it
// fails, says so, as coreutils do.
bool written(std::ostream& out, std::ostream& err, const std::string& text) {
    errno = 0;
    if (out << text << std::flush) return true;
    err << "quenvar-report: write error" << (errno != 0 ? std::string(": ") + std::strerror(errno) : std::string()) << '\n';
    return false;
}

int usageError(std::ostream& err, const std::string& reason) {
    err << "quenvar-report: " << reason << "\nTry 'quenvar-report --help' for more information.\n";
    return 2;
}

}  // namespace

int runReport(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    const std::variant<Options, std::string> parsed = parseOptions(args);
    if (const std::string* reason = std::get_if<std::string>(&parsed)) return usageError(err, *reason);
    const Options& o = std::get<Options>(parsed);
    if (o.action != Options::Action::kReport) {
        return written(out, err, o.action == Options::Action::kHelp ? kUsage : "quenvar-report " QUENVAR_REPORT_VERSION "\n") ? 0 : 1;
    }
    for (const std::string& name : o.files) {
        if (!o.plot.empty() && name != "-" && sameFile(o.plot, name)) {
            return usageError(err, "--plot '" + o.plot + "' is the energy file '" + name + "': the chart would replace it");
        }
    }
    if (o.tsv && !written(out, err, kColumns)) return 1;
    int status = 0;
    bool first = true;
    for (const std::string& name : o.files) {
        EnergyInput input;
        if (name == "-") {
            input = readEnergyInput(in, o);
        } else if (quenvar::detail::EnergyFile file(name); file.isOpen()) {
            input = readEnergyInput(file.stream(), o);
        } else {
            input.error = "can not open or read the file";
        }
        if (input.error.empty() && input.energies.empty()) input.error = "no energy data found";
        if (!input.error.empty()) {
            err << "quenvar-report: " << name << ": " << input.error << '\n';
            status = 1;
            continue;
        }
        const Analysis a = analyse({input.energies, input.enthalpies}, o, o.unit.value_or(input.layout == Layout::kSuiteCsv ? Unit::kKcal : Unit::kKJ));
        std::ostringstream text;
        if (o.tsv) {
            writeRow(text, name, a, o);
        } else {
            text << (first ? "" : "\n");
            writeBlock(text, name, a, o);
        }
        first = false;
        if (!written(out, err, text.str())) return 1;
        if (!o.plot.empty() && !writePlot(o.plot, std::span(input.energies).last(a.frames), a, o, name)) {
            err << "quenvar-report: " << o.plot << ": can not write the chart\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace quenvar_report
