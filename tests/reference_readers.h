// Straightforward readers that define what the programs' fast readers must do, for the
// differential tests and the fuzz harnesses: each energy data line is eight `>> double`
// extractions from a std::istringstream, and each summary term line is the C scan
// "%*[^=]%*s %lf %*s %lf". They are trusted where they are the implementations the behaviour was
// taken from: libstdc++'s extraction and glibc's scan; elsewhere the tests hold the programs to
// verdicts recorded there (recorded_verdicts.h).
#pragma once

#include <bit>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>

#include "bar_chart.h"
#include "energy_reader.h"

#if defined(__GLIBCXX__) && defined(__GLIBC__)
inline constexpr bool kTrustedExtraction = true;
#else
inline constexpr bool kTrustedExtraction = false;
#endif
#if defined(__GLIBC__)
inline constexpr bool kTrustedScan = true;
#else
inline constexpr bool kTrustedScan = false;
#endif

struct LineVerdict {
    bool skipped = false, malformed = false;
    double energy = 0.0;
};

// The energy is the eighth number: written out here rather than taken from the program.
inline LineVerdict referenceLine(const std::string& line) {
    if (line.find_first_of("#@") != std::string::npos) return {.skipped = true};
    if (line.find_first_not_of(" \t\n\v\f\r") == std::string::npos) return {.skipped = true};
    std::istringstream stream(line);
    double value = 0.0;
    for (int i = 0; i < 8; ++i) {
        if (!(stream >> value)) return {.malformed = true};
    }
    // Only white space, the end or the sign of a touching number may follow the eighth.
    const int next = stream.peek();
    if (next != EOF && !std::isspace(next) && next != '+' && next != '-') return {.malformed = true};
    return {.energy = value};
}

// The whole file, split with std::getline, as the energy reader must read it.
inline quenvar::EnergyFileReading referenceEnergyFile(std::string_view contents) {
    quenvar::EnergyFileReading reading;
    if (contents.starts_with("\xef\xbb\xbf")) contents.remove_prefix(3);  // a UTF-8 byte-order mark
    std::istringstream lines{std::string(contents)};
    std::uint64_t number = 0;
    for (std::string line; std::getline(lines, line);) {
        ++number;
        const LineVerdict v = referenceLine(line);
        if (v.malformed) return {.verdict = quenvar::EnergyFileReading::Verdict::kMalformedLine, .malformedLine = number, .series = {}, .extra = {}};
        if (!v.skipped) reading.series.push_back(v.energy);
    }
    return reading;
}

// The C scan stops at a NUL, which the program treats as an ordinary character: the scan is
// shown the line with each NUL as another ordinary byte.
inline void referenceScan(std::string line, barwright::TermEstimate& term) {
    for (char& c : line) c = c == '\0' ? '\x01' : c;
    std::sscanf(line.c_str(), "%*[^=]%*s %lf %*s %lf", &term.value, &term.error);
}

// The same bits, or both NaN (the C scan's NaN need not carry the program's payload).
inline bool sameTerm(const barwright::TermEstimate& a, const barwright::TermEstimate& b) {
    auto same = [](double x, double y) {
        return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y) || (std::isnan(x) && std::isnan(y));
    };
    return same(a.value, b.value) && same(a.error, b.error);
}
