#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace barwright {

// One energy term in kJ/mol; the error is drawn as the bar's error bar.
struct TermEstimate {
    double value = 0.0;
    double error = 0.0;
};

// The terms of one complex: van der Waals, electrostatic, polar solvation, the three alternative
// non-polar models (surface area, volume, WCA) and binding.
struct EnergySummary {
    TermEstimate vdw, elec, polar, sasa, sav, wca, binding;
};

// The seven terms, in the summary's order: the tag that selects a term line (the first of this
// table that occurs in a line), and the name the term goes by in messages.
struct TermTag {
    std::string_view tag;  // case-sensitive, matched anywhere in the line
    const char* name;
    TermEstimate EnergySummary::*term;
};
inline constexpr std::array<TermTag, 7> kTermTags{{
    {"van", "van der Waals energy", &EnergySummary::vdw},
    {"Electros", "Electrostatic energy", &EnergySummary::elec},
    {"Polar", "Polar solvation energy", &EnergySummary::polar},
    {"SASA", "SASA energy", &EnergySummary::sasa},
    {"SAV", "SAV energy", &EnergySummary::sav},
    {"WCA", "WCA energy", &EnergySummary::wca},
    {"Binding", "Binding energy", &EnergySummary::binding},
}};

enum class NonPolarModel { kSasa, kSav, kWca };  // in the order of their terms

// A non-polar term whose value is smaller in magnitude than this is absent (NaN is present).
inline constexpr double kZeroTolerance = 1e-6;

// The one non-polar model the complex uses, or nothing when two or three are present.
std::optional<NonPolarModel> chooseNonPolarModel(const EnergySummary& summary);

enum class ChartOutcome { kWritten, kNotFinite, kAmbiguousModel, kWriteFailed };

// Refuses a complex with a number that is not finite among the seven values and the errors of
// the five bars it would draw: no chart can show it. Then chooses the model, announces
// "sum_%04d.xvg" named from the complex's number (counted from 1), and writes the chart into the
// current directory. The chart appears under its name only once it is complete: it is written
// to a temporary file beside it and renamed into place. Failures are reported on `out`; the
// caller ends the run on anything but kWritten.
ChartOutcome writeBarChart(const EnergySummary& summary, std::int64_t complexNumber, std::ostream& out);

namespace detail {

// A bar's value and error as the chart writes them ("%15.6f").
struct WrittenBar {
    std::string value, error;
};

// The lines after the designed ones that set the chart's y range and ticks, from the five bars'
// finite numbers as written, in chart order; empty where no finite range holds them.
std::string axisLines(const std::array<WrittenBar, 5>& bars);

}  // namespace detail
}  // namespace barwright
