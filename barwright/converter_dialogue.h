#pragma once

#include <array>
#include <iosfwd>
#include <string_view>

#include "bar_chart.h"

struct TermTag {
    std::string_view tag;  // case-sensitive, matched anywhere in the line
    TermEstimate EnergySummary::*term;
};

// The first tag of this table that occurs in a line decides which term the line fills.
inline constexpr std::array<TermTag, 7> kTermTags{{
    {"van", &EnergySummary::vdw},
    {"Electros", &EnergySummary::elec},
    {"Polar", &EnergySummary::polar},
    {"SASA", &EnergySummary::sasa},
    {"SAV", &EnergySummary::sav},
    {"WCA", &EnergySummary::wca},
    {"Binding", &EnergySummary::binding},
}};

enum class LineRole { kTerm, kBlockEnd, kOther };

// Reads a term line "label = value token error ..." into `term`, field by field: a field that
// does not convert ends the scan and leaves it and every later field as they were.
void scanTermLine(std::string_view line, TermEstimate& term);

// Applies one summary line: a tagged line updates its term; an untagged line holding "END"
// closes the complex's block (the caller writes its chart); anything else is ignored.
LineRole applySummaryLine(std::string_view line, EnergySummary& summary);

// The whole console dialogue; returns the process exit status.
int runBarwright(std::istream& in, std::ostream& out);
