#include "report.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <optional>
#include <ostream>
#include <sstream>
#include <span>
#include <system_error>

#include "energy_file.h"
#include "energy_reader.h"
#include "file_names.h"
#include "options.h"
#include "statistics.h"

namespace quenvar_report {
namespace {

constexpr const char* kUsage =
    "Usage: quenvar-report -T KELVIN [OPTIONS] FILE...\n"
    "Reports -TdS of binding from each energy file's interaction energies (the 8th column, as\n"
    "quenvar reads it), by the interaction-entropy formula and by the second-order estimate, with\n"
    "bootstrap uncertainties that allow for correlated frames, and how far the result has converged.\n"
    "\n"
    "  -T, --temperature KELVIN  the temperature in K: 298.15, 298.15K or \"298.15 K\" (required)\n"
    "      --last PERCENT        use only the last PERCENT of the frames (1 to 100; default 100)\n"
    "      --bootstrap N         resamples for the uncertainties (default 1000; 0: none)\n"
    "      --seed S              where the resampling's random numbers start (default 1)\n"
    "      --tsv                 a header line, then one tab-separated line per file\n"
    "      --plot FILE           write the convergence chart of the one energy file (Grace xvg)\n"
    "  -h, --help                show this help and exit\n"
    "      --version             show the version and exit\n"
    "\n"
    "A FILE of - is standard input. Energies are in kJ/mol. Exit status: 0 when every file was\n"
    "reported, 1 when any could not be, 2 for a usage error. See quenvar-report(1).\n";

constexpr const char* kColumns =
    "file\tframes\ttemperature\tmean\tsigma\tsigma_kT\tie\tie_sd\tie_bias\tie_low\tie_high\tc2\tc2_sd\tc2_bias\tc2_low\t"
    "c2_high\tie_first_half\tie_second_half\tc2_first_half\tc2_second_half\tinefficiency\tindependent_frames\tblock\n";

struct Analysis {
    std::size_t frames, total;
    double kT;
    Moments moments;
    Estimates whole;
    std::optional<Estimates> firstHalf, secondHalf;  // none below 2 frames
    double inefficiency;
    std::size_t block;
    std::optional<Bootstrap> spread;  // none without resamples

    double independent() const { return static_cast<double>(frames) / inefficiency; }
};

Analysis analyse(std::span<const double> all, const Options& o) {
    const std::size_t used = (all.size() * o.last + 99) / 100;
    const std::span<const double> frames = all.subspan(all.size() - used);
    Analysis a{used, all.size(), kTAt(o.temperature), moments(frames), estimate(frames, o.temperature), {}, {},
               statisticalInefficiency(frames), 0, {}};
    if (used >= 2) {
        a.firstHalf = estimate(frames.first(used / 2), o.temperature);
        a.secondHalf = estimate(frames.subspan(used / 2), o.temperature);
    }
    a.block = blockLength(a.inefficiency, used);
    if (o.resamples > 0) a.spread = bootstrap(frames, o.temperature, a.whole, o.resamples, a.block, o.seed);
    return a;
}

// As the stream writes a double by default, and so as quenvar writes its result: 6 significant
// digits. (A NaN, which only energies beyond the doubles give, reads the same on every system.)
std::string shown(double x) {
    std::ostringstream text;
    text << x;
    return std::isnan(x) ? "nan" : text.str();
}

// The shortest text that reads back as the same double.
std::string exact(double x) {
    char text[32];
    return std::isnan(x) ? "nan" : std::string(text, std::to_chars(text, text + sizeof text, x).ptr);
}

// A name in one line of text: a tab, a line end or a backslash in it escaped.
std::string escaped(const std::string& name) {
    std::string text;
    for (char c : name) {
        text += c == '\t' ? "\\t" : c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
    }
    return text;
}

void writeBlock(std::ostream& out, const std::string& name, const Analysis& a, const Options& o) {
    auto row = [&out](const std::string& label, const std::string& ie, const std::string& c2) {
        out << "  " << std::left << std::setw(16) << label << std::right << std::setw(20) << ie << std::setw(20) << c2 << '\n';
    };
    out << name << ": " << a.frames;
    if (a.frames != a.total) out << " of " << a.total;
    out << " frames at " << shown(o.temperature) << " K (kT " << shown(a.kT) << " kJ/mol)\n"
        << "  <E>              " << shown(a.moments.mean) << " kJ/mol\n"
        << "  sigma            " << shown(a.moments.sigma) << " kJ/mol, " << shown(a.moments.sigma / a.kT) << " kT\n"
        << "  inefficiency g   " << shown(a.inefficiency) << ": " << shown(a.independent()) << " independent frames\n\n";
    row("-TdS, kJ/mol", "interaction entropy", "second order (C2)");
    row("estimate", shown(a.whole.ie), shown(a.whole.c2));
    if (a.spread) {
        row("bootstrap SD", shown(a.spread->ie.sd), shown(a.spread->c2.sd));
        row("95% CI low", shown(a.spread->ie.low), shown(a.spread->c2.low));
        row("95% CI high", shown(a.spread->ie.high), shown(a.spread->c2.high));
        row("bias", shown(a.spread->ie.bias), shown(a.spread->c2.bias));
    }
    row("first half", a.firstHalf ? shown(a.firstHalf->ie) : "n/a", a.firstHalf ? shown(a.firstHalf->c2) : "n/a");
    row("second half", a.secondHalf ? shown(a.secondHalf->ie) : "n/a", a.secondHalf ? shown(a.secondHalf->c2) : "n/a");
    if (a.spread) {
        out << "  (" << o.resamples << " resamples of " << a.block << "-frame blocks; bias is their mean less the estimate:\n"
            << "  the exponential average comes out low on few frames)\n";
    }
    if (a.independent() < 50) out << "  Warning: fewer than 50 independent frames: a rough estimate.\n";
    const auto apart = [&a](double Estimates::*kind, double sd) { return std::fabs((*a.firstHalf).*kind - (*a.secondHalf).*kind) > 2 * sd; };
    if (a.spread && a.firstHalf && (apart(&Estimates::ie, a.spread->ie.sd) || apart(&Estimates::c2, a.spread->c2.sd))) {
        out << "  Warning: the halves differ by more than twice the bootstrap SD: not converged.\n";
    }
}

void writeRow(std::ostream& out, const std::string& name, const Analysis& a, const Options& o) {
    std::string row = escaped(name) + '\t' + std::to_string(a.frames) + '\t' + exact(o.temperature);
    auto add = [&row](std::optional<double> x) { row += '\t' + (x ? exact(*x) : std::string()); };
    add(a.moments.mean);
    add(a.moments.sigma);
    add(a.moments.sigma / a.kT);
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
    out << row << '\t' << a.block << '\n';
}

// The convergence chart: both estimates over the first k frames, for 100 values of k (every k
// below 100 frames). Written beside the chart's name and renamed into place once complete, so
// that no half-written chart is ever left.
bool writePlot(const std::string& name, std::span<const double> frames, const Options& o, const std::string& input) {
    std::ostringstream text;
    text << std::setprecision(8) << "# -TdS over the first k frames of " << escaped(input) << " at " << o.temperature
         << " K, by quenvar-report " QUENVAR_REPORT_VERSION "\n"
         << "@    title \"Convergence of -T\\xD\\f{}S\"\n"
         << "@    subtitle \"" << o.temperature << " K\"\n"
         << "@    xaxis  label \"Frames used\"\n"
         << "@    yaxis  label \"-T\\xD\\f{}S (kJ/mol)\"\n"
         << "@    legend on\n"
         << "@    s0 legend \"Interaction entropy\"\n"
         << "@    s1 legend \"Second order (C2)\"\n"
         << "@TYPE xy\n";
    const std::size_t n = frames.size(), points = std::min<std::size_t>(n, 100);
    std::vector<Estimates> estimates;
    for (std::size_t i = 1; i <= points; ++i) estimates.push_back(estimate(frames.first((i * n + points - 1) / points), o.temperature));
    for (double Estimates::*kind : {&Estimates::ie, &Estimates::c2}) {
        for (std::size_t i = 1; i <= points; ++i) text << (i * n + points - 1) / points << ' ' << estimates[i - 1].*kind << '\n';
        text << "&\n";
    }
    const std::filesystem::path chart = quenvar::detail::pathOf(name);
    std::filesystem::path temporary = chart;
    temporary += ".tmp";
    std::error_code failed;
    {
        std::ofstream file(temporary);
        if (file << text.str() << std::flush) {
            file.close();
            if (file) std::filesystem::rename(temporary, chart, failed);
            if (file && !failed) return true;
        }
    }
    std::filesystem::remove(temporary, failed);
    return false;
}

std::string refusal(const quenvar::EnergyFileReading& reading) {
    using Verdict = quenvar::EnergyFileReading::Verdict;
    switch (reading.verdict) {
        case Verdict::kUnreadable:
            return "can not open or read the file";
        case Verdict::kMalformedLine:
            return "line " + std::to_string(reading.malformedLine) + " does not begin with " +
                   std::to_string(quenvar::kEnergyColumn) + " numbers";
        case Verdict::kOutOfMemory:
            return "not enough memory to read the file";
        case Verdict::kRead:
            break;
    }
    return reading.series.empty() ? "no energy data found" : "";
}

}  // namespace

int runReport(const std::vector<std::string>& args, std::istream& in, std::ostream& out, std::ostream& err) {
    const std::variant<Options, std::string> parsed = parseOptions(args);
    if (const std::string* reason = std::get_if<std::string>(&parsed)) {
        err << "quenvar-report: " << *reason << "\nTry 'quenvar-report --help' for more information.\n";
        return 2;
    }
    const Options& o = std::get<Options>(parsed);
    if (o.action == Options::Action::kHelp) out << kUsage;
    if (o.action == Options::Action::kVersion) out << "quenvar-report " QUENVAR_REPORT_VERSION "\n";
    if (o.action != Options::Action::kReport) return 0;
    if (o.tsv) out << kColumns;
    int status = 0;
    bool first = true;
    for (const std::string& name : o.files) {
        const quenvar::EnergyFileReading reading = name == "-" ? quenvar::readEnergySeries(in) : quenvar::detail::readEnergyFile(name);
        if (const std::string why = refusal(reading); !why.empty()) {
            err << "quenvar-report: " << name << ": " << why << '\n';
            status = 1;
            continue;
        }
        const Analysis a = analyse(reading.series, o);
        if (o.tsv) {
            writeRow(out, name, a, o);
        } else {
            out << (first ? "" : "\n");
            writeBlock(out, name, a, o);
        }
        first = false;
        out << std::flush;
        if (!o.plot.empty() && !writePlot(o.plot, std::span(reading.series).last(a.frames), o, name)) {
            err << "quenvar-report: " << o.plot << ": can not write the chart\n";
            status = 1;
        }
    }
    return status;
}

}  // namespace quenvar_report
