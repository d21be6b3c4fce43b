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

#include "decimal_conversion.h"
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

// The five terms a chart draws, in chart order: the model's own non-polar term is the fourth.
std::array<const TermTag*, 5> drawnTerms(NonPolarModel model) {
    return {&kTermTags[0], &kTermTags[1], &kTermTags[2], &kTermTags[3 + static_cast<std::size_t>(model)], &kTermTags[6]};
}

// No chart can show a number that is not finite. Says so, where `x` is one.
bool saidNotFinite(std::int64_t complex, const TermTag& t, const char* field, double x, std::ostream& out) {
    if (std::isfinite(x)) return false;
    out << format("\nError! Complex %lld: %s %s is %s, not a finite number; check this file again.\n",
                  static_cast<long long>(complex), t.name, field, std::isnan(x) ? "nan" : x > 0 ? "inf" : "-inf")
        << std::flush;
    return true;
}

// A written number's magnitude as decimal digits in units of 1e-7 (the charts' six decimals,
// and one more for the finest step), without leading zeros: "" is 0.
using Digits = std::string;

bool less(const Digits& a, const Digits& b) { return a.size() != b.size() ? a.size() < b.size() : a < b; }

int digit(const Digits& a, std::size_t fromRight) { return fromRight < a.size() ? a[a.size() - 1 - fromRight] - '0' : 0; }

Digits sum(const Digits& a, const Digits& b) {
    Digits total;
    int carry = 0;
    for (std::size_t i = 0; i < std::max(a.size(), b.size()) || carry != 0; ++i) {
        const int d = digit(a, i) + digit(b, i) + carry;
        total += static_cast<char>('0' + d % 10);
        carry = d / 10;
    }
    std::reverse(total.begin(), total.end());
    return total;
}

// a - b, where b <= a.
Digits difference(Digits a, const Digits& b) {
    int borrow = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const int d = digit(a, i) - digit(b, i) - borrow;
        borrow = d < 0 ? 1 : 0;
        a[a.size() - 1 - i] = static_cast<char>('0' + d + 10 * borrow);
    }
    return a.erase(0, std::min(a.find_first_not_of('0'), a.size()));
}

// The magnitude of a number as the chart writes it ("    -12.500000").
Digits digitsOf(std::string written) {
    written.erase(0, written.find_first_not_of(" -"));
    written.erase(written.find('.'), 1);
    return difference(written + '0', "");
}

// How far a bar reaches past 0 on one side, max(0, value + error), from the magnitudes of its
// value (which lies on that side of 0 or not) and of its error.
Digits reach(const Digits& value, bool onThisSide, const Digits& error) {
    if (onThisSide) return sum(value, error);
    return less(error, value) ? Digits{} : difference(error, value);
}

// ceil(x / (m * 10^p)) for x below 10^(p + 2): the leading digits decide, and whether any after them
// is not 0.
int stepsTo(const Digits& x, int m, std::size_t p) {
    const std::size_t head = x.size() > p ? x.size() - p : 0;
    int leading = 0;
    for (std::size_t i = 0; i < head; ++i) leading = leading * 10 + (x[i] - '0');
    const bool rest = x.find_first_not_of('0', head) != Digits::npos;
    return leading / m + (leading % m != 0 || rest ? 1 : 0);
}

}  // namespace

namespace detail {

// Grace scales the y axis to the bars alone, so an error bar that reaches past them is cut at the
// frame. These lines after the designed ones give it a range from the numbers as the chart writes
// them, which Grace reads back: it holds 0 and every written value +- |written error|, its bounds
// are the nearest multiples of the smallest round step (1, 2 or 5 times a power of ten) that cuts
// it into at most ten intervals, and that step is the tick spacing (Grace's own, 0.2, would be too
// many ticks). Computed in decimal, so that a bar ending on a multiple ends on the bound. Nothing
// where a bound is not a finite double: Grace then decides alone.
std::string axisLines(const std::array<WrittenBar, 5>& bars) {
    Digits high, low;  // how far the range reaches above and below 0
    for (const WrittenBar& bar : bars) {
        const Digits value = digitsOf(bar.value), error = digitsOf(bar.error);
        const bool negative = bar.value.find('-') != std::string::npos;
        high = std::max(high, reach(value, !negative, error), less);
        low = std::max(low, reach(value, negative, error), less);
    }
    const Digits range = sum(high, low);
    if (range.empty()) return "@ autoscale onread none\n@ world 0, -1, 6, 1\n@    yaxis  tick major 0.2\n";
    // The range has d >= 2 digits, so the step is at least 10^(d-2) units, and 2 * 10^(d-1) always
    // leaves fewer than seven intervals: the smallest step that fits is one of five.
    const std::size_t d = range.size();
    const std::array<std::pair<int, std::size_t>, 5> steps{{{1, d - 2}, {2, d - 2}, {5, d - 2}, {1, d - 1}, {2, d - 1}}};
    const auto [m, p] = *std::find_if(steps.begin(), steps.end() - 1, [&](const auto& step) {
        return stepsTo(high, step.first, step.second) + stepsTo(low, step.first, step.second) <= 10;
    });
    // Each is at most two digits times a power of ten, so %g prints the double nearest it as exactly
    // that number.
    const int exponent = static_cast<int>(p) - 7, above = stepsTo(high, m, p), below = stepsTo(low, m, p);
    const double top = convertDecimal(format("%de%d", above * m, exponent));
    const double bottom = below == 0 ? 0.0 : -convertDecimal(format("%de%d", below * m, exponent));
    const double step = convertDecimal(format("%de%d", m, exponent));
    if (!std::isfinite(top) || !std::isfinite(bottom)) return {};
    return format("@ autoscale onread none\n@ world 0, %g, 6, %g\n@    yaxis  tick major %g\n", bottom, top, step);
}

}  // namespace detail

namespace {

std::string chartText(const EnergySummary& s, NonPolarModel model) {
    const std::array<const TermTag*, 5> bars = drawnTerms(model);
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
    // "%d %15.6f %15.6f", each number written once: the y range is made from the same text.
    std::array<detail::WrittenBar, 5> written;
    for (std::size_t i = 0; i < bars.size(); ++i) {
        const TermEstimate& bar = s.*(bars[i]->term);
        written[i] = {format("%15.6f", bar.value), format("%15.6f", bar.error)};
        text += std::to_string(i + 1) + ' ' + written[i].value + ' ' + written[i].error + '\n';
    }
    text +=
        "6 0.0 0.0\n"
        "@TYPE xy\n"
        "0 0.0\n"
        "6 0.0\n";
    return text + detail::axisLines(written);
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

ChartOutcome writeBarChart(const EnergySummary& summary, std::int64_t complexNumber, std::ostream& out) {
    // Values first: they choose the model, in which a NaN would count as present.
    for (const TermTag& t : kTermTags) {
        if (saidNotFinite(complexNumber, t, "value", (summary.*t.term).value, out)) return ChartOutcome::kNotFinite;
    }
    const std::optional<NonPolarModel> model = chooseNonPolarModel(summary);
    if (!model) {
        out << "\nError! Input file must only one no-zero value for SASA, SAV or WCA,check this file again.\n"
            << std::flush;
        return ChartOutcome::kAmbiguousModel;
    }
    for (const TermTag* t : drawnTerms(*model)) {
        if (saidNotFinite(complexNumber, *t, "error", (summary.*t->term).error, out)) return ChartOutcome::kNotFinite;
    }
    const auto number = static_cast<long long>(complexNumber);
    const std::string name = format("sum_%04lld.xvg", number);
    out << format("Processing Complex %lld, output file %s\n", number, name.c_str()) << std::flush;

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
