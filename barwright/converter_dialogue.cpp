#include "converter_dialogue.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>
#include <istream>
#include <limits>
#include <ostream>
#include <string>
#include <system_error>

namespace {

// The characters the C locale calls white space.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Whether a decimal number that std::from_chars found out of range is too large (as opposed
// to too small): the sign of its leading digit's decimal exponent decides. No floating-point
// value is computed here, only digit positions and the exponent's integer.
bool isHugeOutOfRange(std::string_view number) {
    long long lead = 0;
    bool seenNonzero = false, seenPoint = false;
    std::size_t i = 0;
    for (; i < number.size() && (isDigit(number[i]) || number[i] == '.'); ++i) {
        const char c = number[i];
        if (c == '.') {
            seenPoint = true;
        } else if (!seenNonzero && c != '0') {
            seenNonzero = true;
            lead = seenPoint ? lead - 1 : 0;
        } else if (seenNonzero != seenPoint) {
            lead += seenNonzero ? 1 : -1;
        }
    }
    long long exponent = 0;
    if (i < number.size() && (number[i] == 'e' || number[i] == 'E')) {
        const bool negative = ++i < number.size() && number[i] == '-';
        if (i < number.size() && (number[i] == '-' || number[i] == '+')) ++i;
        for (; i < number.size() && isDigit(number[i]); ++i) {
            exponent = std::min(exponent * 10 + (number[i] - '0'), 1'000'000'000LL);
        }
        if (negative) exponent = -exponent;
    }
    return lead + exponent >= 0;
}

// A cursor over one line, with the conversions of a C scan format.
struct Scanner {
    std::string_view line;
    std::size_t pos = 0;

    bool atEnd() const { return pos == line.size(); }
    void skipSpace() {
        while (!atEnd() && isSpace(line[pos])) ++pos;
    }
    // "%*[^=]": one or more characters other than '='.
    bool skipLabel() {
        const std::size_t start = pos;
        pos = std::min(line.find('=', pos), line.size());
        return pos != start;
    }
    // "%*s": white space, then one or more non-blank characters.
    bool skipToken() {
        skipSpace();
        const std::size_t start = pos;
        while (!atEnd() && !isSpace(line[pos])) ++pos;
        return pos != start;
    }
    // "%lf": white space, then a floating-point number as the C scan reads it: sign, decimal
    // digits, exponent, inf, infinity, nan; out-of-range values become +-inf or +-0.
    // Hexadecimal floats are not read (no summary writes them): "0x1p3" reads as 0.
    bool readDouble(double& target) {
        skipSpace();
        std::size_t p = pos;
        const bool negative = p < line.size() && line[p] == '-';
        if (p < line.size() && (line[p] == '-' || line[p] == '+')) ++p;
        if (p == line.size() || line[p] == '-' || line[p] == '+') return false;
        const char* first = line.data() + p;
        const char* last = line.data() + line.size();
        double magnitude = 0.0;
        auto [next, ec] = std::from_chars(first, last, magnitude);
        if (ec == std::errc::invalid_argument) return false;
        if (ec == std::errc::result_out_of_range) {
            magnitude = isHugeOutOfRange({first, static_cast<std::size_t>(next - first)})
                            ? std::numeric_limits<double>::infinity()
                            : 0.0;
        }
        if (std::isnan(magnitude)) {
            next = first + 3;  // the C scan stops after "nan", never reading a "(...)" that follows
        } else if (std::isinf(magnitude) && next - first == 3 && next != last && (*next == 'i' || *next == 'I')) {
            return false;  // a word that starts like "infinity" but does not finish it
        } else if ((isDigit(*first) || *first == '.') && next != last && (*next == 'e' || *next == 'E') &&
                   std::none_of(first, next, [](char c) { return c == 'e' || c == 'E'; })) {
            // A dangling exponent ("5e", "5E+") is swallowed, and the 5 kept.
            if (++next != last && (*next == '+' || *next == '-')) ++next;
        }
        target = negative ? -magnitude : magnitude;
        pos = static_cast<std::size_t>(next - line.data());
        return true;
    }
};

}  // namespace

void scanTermLine(std::string_view line, TermEstimate& term) {
    // The format "%*[^=]%*s %lf %*s %lf": label, the "=" token, value, the "+/-" token, error.
    Scanner scan{line};
    if (!scan.skipLabel() || !scan.skipToken() || !scan.readDouble(term.value)) return;
    if (!scan.skipToken()) return;
    scan.readDouble(term.error);
}

LineRole applySummaryLine(std::string_view line, EnergySummary& summary) {
    const auto tagged = std::find_if(kTermTags.begin(), kTermTags.end(),
                                     [line](const TermTag& t) { return line.find(t.tag) != std::string_view::npos; });
    if (tagged != kTermTags.end()) {
        scanTermLine(line, summary.*(tagged->term));
        return LineRole::kTerm;
    }
    return line.find("END") != std::string_view::npos ? LineRole::kBlockEnd : LineRole::kOther;
}

int runBarwright(std::istream& in, std::ostream& out) {
    out << "This is script for generating xvg file(s) from output energy file [summary_energy.dat]\n"
           "Version 1.0, release date: 2020-Apr-01\n"
           "Written by Venmark (barwright-maintainers@example.org)\n\n\n"
           "\nInput summary_energy.dat file generated by tallyscribe script of solvbench:\n\n"
        << std::flush;

    std::string name;
    if (!(in >> name)) {
        out << "\nError! Input ended before all answers were given.\n" << std::flush;
        return 1;
    }
    std::ifstream file(name, std::ios::binary);
    EnergySummary summary;  // every term starts at zero and keeps its value from block to block
    std::int64_t complexCounter = 1;
    std::string line;
    while (file.is_open() && std::getline(file, line)) {
        if (applySummaryLine(line, summary) == LineRole::kBlockEnd &&
            writeBarChart(summary, complexCounter, out) != ChartOutcome::kWritten) {
            return 1;
        }
    }
    // A name that does not open, or that fails to read (a directory), is one we cannot use.
    if (!file.is_open() || file.bad()) {
        out << "Error! Can not open input file " << name << '\n' << std::flush;
        return 1;
    }
    out << "\nFinished!\n\n" << std::flush;
    return 0;
}
