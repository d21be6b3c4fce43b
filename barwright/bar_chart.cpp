#include "bar_chart.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <string_view>
#include <system_error>

#include "exclusive_file.h"

namespace barwright {
namespace {

bool isAbsent(const TermEstimate& term) { return std::fabs(term.value) < kZeroTolerance; }

// printf-style formatting into a string, for the C formats the chart is defined by. Nearly every
// line fits the first buffer, so it is formatted once.
template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char line[128];
    const auto length = static_cast<std::size_t>(std::snprintf(line, sizeof line, pattern, args...));
    if (length < sizeof line) return {line, length};
    std::string text(length + 1, '\0');
    std::snprintf(text.data(), text.size(), pattern, args...);
    text.pop_back();
    return text;
}

std::string_view modelName(NonPolarModel model) {
    switch (model) {
        case NonPolarModel::kSasa:
            return "SASA";
        case NonPolarModel::kSav:
            return "SAV";
        case NonPolarModel::kWca:
            return "WCA";
    }
    return {};
}

// Grace scales the y axis to the bars alone, so an error bar that reaches past them is cut at the
// frame. These lines after the designed ones give it a range that holds 0 and every bar's value
// +- |error|, widened to multiples of the smallest round step (1, 2 or 5 times a power of ten)
// that cuts it into at most ten intervals, and that step as the tick spacing (Grace's own, 0.2,
// would be too many ticks). Nothing where a number is not finite: Grace then decides alone.
std::string axisLines(const std::array<const TermEstimate*, 5>& bars) {
    double low = 0.0, high = 0.0;
    for (const TermEstimate* bar : bars) {
        if (!std::isfinite(bar->value) || !std::isfinite(bar->error)) return {};
        low = std::min(low, bar->value - std::fabs(bar->error));
        high = std::max(high, bar->value + std::fabs(bar->error));
    }
    if (!std::isfinite(high - low)) return {};  // a range beyond the doubles
    if (high == low) low = -1.0, high = 1.0;     // every bar and error 0: still an axis
    int power = static_cast<int>(std::floor(std::log10(high - low))) - 2;
    for (;; ++power) {
        for (const double mantissa : {1.0, 2.0, 5.0}) {
            const double step = mantissa * std::pow(10.0, power);
            double first = std::floor(low / step), last = std::ceil(high / step);
            if (first * step > low) first -= 1;  // the division may round onto a multiple
            if (last * step < high) last += 1;
            if (last - first <= 10) {
                return format("@ autoscale onread none\n@ world 0, %g, 6, %g\n@    yaxis  tick major %g\n",
                              first * step, last * step, step);
            }
        }
    }
}

std::string chartText(const EnergySummary& s, NonPolarModel model) {
    const TermEstimate& nonPolar = model == NonPolarModel::kSasa ? s.sasa : model == NonPolarModel::kSav ? s.sav : s.wca;
    const std::array<const TermEstimate*, 5> bars{&s.vdw, &s.elec, &s.polar, &nonPolar, &s.binding};
    std::string text =
        "@map color 10 to (255, 0, 255), \"magenta\"\n"
        "@    xaxis  label \"\"\n"
        "@    yaxis  label \"Energy (kJ/mol)\"\n"
        "@TYPE bardy\n"
        "@ view 0.15, 0.15, 1.15, 0.85\n"
        "@ legend on\n"
        "@ legend box on\n"
        "@ legend loctype view\n"
        "@ legend 0.78, 0.8\n"
        "@ legend length 2\n"
        "@    s0 line type 0\n"
        "@    s0 symbol fill color 10\n"
        "@    s0 symbol fill pattern 9\n"
        "@    xaxis  tick spec type both\n"
        "@    xaxis  tick spec 13\n"
        "@    xaxis  tick major 2, 1\n"
        "@    xaxis  ticklabel 2, \"VDW\"\n"
        "@    xaxis  tick major 4, 2\n"
        "@    xaxis  ticklabel 4, \"Elec\"\n"
        "@    xaxis  tick major 6, 3\n"
        "@    xaxis  ticklabel 6, \"PB\"\n"
        "@    xaxis  tick major 8, 4\n";
    text += "@    xaxis  ticklabel 8, \"";
    text += modelName(model);
    text +=
        "\"\n"
        "@    xaxis  tick major 12, 5\n"
        "@    xaxis  ticklabel 12, \"Binding\"\n";
    int bar = 1;
    for (const TermEstimate* term : bars) text += format("%d %15.6f %15.6f\n", bar++, term->value, term->error);
    text +=
        "6 0.0 0.0\n"
        "@TYPE xy\n"
        "0 0.0\n"
        "6 0.0\n";
    return text + axisLines(bars);
}

// A name beside the chart's for the file it is written to first. It only has to make a clash
// unlikely; the exclusive create makes one harmless. It is taken from the clock, not from
// std::random_device, which may need a file handle of its own (libc++ opens /dev/urandom) and
// throws when none is left.
std::string temporaryName(const std::string& chart) {
    const auto tick = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    return format(".%s.%08x.tmp", chart.c_str(), static_cast<unsigned>(tick ^ (tick >> 32)));
}

// Creates `name`, which did not exist, and writes `text` to it. False, leaving no file behind,
// when any step fails, the final flush included. Throws nothing.
bool writeNewFile(const std::filesystem::path& name, const std::string& text) noexcept {
    std::FILE* file = detail::createExclusive(name);
    if (file == nullptr) return false;
    // Some C runtimes report a failed buffered write only when it is flushed, not at fclose.
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size() &&
                         std::fflush(file) == 0 && std::ferror(file) == 0;
    if (std::fclose(file) == 0 && written) return true;
    std::error_code ignored;
    std::filesystem::remove(name, ignored);
    return false;
}

}  // namespace

std::optional<NonPolarModel> chooseNonPolarModel(const EnergySummary& summary) {
    const bool noSasa = isAbsent(summary.sasa), noSav = isAbsent(summary.sav), noWca = isAbsent(summary.wca);
    if (noSasa && noSav) return NonPolarModel::kWca;
    if (noSav && noWca) return NonPolarModel::kSasa;
    if (noSasa && noWca) return NonPolarModel::kSav;
    return std::nullopt;
}

ChartOutcome writeBarChart(const EnergySummary& summary, std::int64_t& complexCounter, std::ostream& out) {
    const std::optional<NonPolarModel> model = chooseNonPolarModel(summary);
    if (!model) {
        out << "\nError! Input file must only one no-zero value for SASA, SAV or WCA,check this file again.\n"
            << std::flush;
        return ChartOutcome::kAmbiguousModel;
    }
    const auto number = static_cast<long long>(complexCounter);
    const std::string name = format("sum_%04lld.xvg", number);
    out << format("Processing Complex %lld, output file %s\n", number, name.c_str()) << std::flush;
    ++complexCounter;

    // Everything that may throw (running out of memory) happens before the temporary file exists,
    // so none is ever left behind. std::filesystem::rename replaces an existing chart on every
    // platform; std::rename does not on Windows.
    const std::string text = chartText(summary, *model);
    const std::filesystem::path chart = name, temporary = temporaryName(name);
    if (writeNewFile(temporary, text)) {
        std::error_code failed;
        std::filesystem::rename(temporary, chart, failed);
        if (!failed) return ChartOutcome::kWritten;
        std::filesystem::remove(temporary, failed);
    }
    out << "Error! Can not write output file " << name << '\n' << std::flush;
    return ChartOutcome::kWriteFailed;
}

}  // namespace barwright
