#include "converter_dialogue.h"

#include <algorithm>
#include <istream>
#include <limits>
#include <ostream>
#include <string>

#include "decimal_conversion.h"
#include "summary_file.h"

namespace {

// The characters the C locale calls white space.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

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
    // Whether the line continues with `word`, in any mix of case.
    bool continuesWith(std::size_t at, std::string_view word) const {
        if (line.size() - at < word.size()) return false;
        for (std::size_t i = 0; i < word.size(); ++i) {
            if ((line[at + i] | 0x20) != word[i]) return false;  // word is lower case letters
        }
        return true;
    }
    // "%lf": white space, then a floating-point number as the C scan takes it: a sign, then "nan",
    // "inf" or "infinity" in any case, or decimal digits with one optional point and, after a
    // digit, an exponent. An exponent without digits ("5e", "5E+") is taken and the number before
    // it kept. Out-of-range values become +-HUGE_VAL or +-0. Hexadecimal floats are not read
    // (no summary writes them): "0x1p3" reads as 0, followed by "x1p3".
    bool readDouble(double& target) {
        skipSpace();
        std::size_t p = pos;
        const bool negative = p < line.size() && line[p] == '-';
        if (p < line.size() && (line[p] == '-' || line[p] == '+')) ++p;
        double magnitude = 0.0;
        if (continuesWith(p, "nan")) {
            magnitude = std::numeric_limits<double>::quiet_NaN();
            p += 3;  // a "(...)" after it is not part of the number
        } else if (continuesWith(p, "inf")) {
            magnitude = std::numeric_limits<double>::infinity();
            p += 3;
            if (continuesWith(p, "i")) {
                if (!continuesWith(p, "inity")) return false;  // begun as "infinity" but not finished
                p += 5;
            }
        } else {
            const std::size_t first = p;
            bool digit = false, point = false;
            for (; p < line.size() && (isDigit(line[p]) || (line[p] == '.' && !point)); ++p) {
                point = point || line[p] == '.';
                digit = digit || line[p] != '.';
            }
            if (!digit) return false;
            if (p < line.size() && (line[p] == 'e' || line[p] == 'E')) {
                if (++p < line.size() && (line[p] == '+' || line[p] == '-')) ++p;
                while (p < line.size() && isDigit(line[p])) ++p;
            }
            magnitude = convertDecimal(line.substr(first, p - first));
        }
        target = negative ? -magnitude : magnitude;
        pos = p;
        return true;
    }
};

// The file name: one word, or, for an answer that begins with a double quote, all up to the
// closing quote, blanks included, as a Windows console types a dragged-in path; without a
// closing quote, the rest of the line. False when the input ends first.
bool readFileName(std::istream& in, std::string& name) {
    in >> std::ws;
    if (in.peek() != '"') return static_cast<bool>(in >> name);
    in.ignore();
    std::getline(in, name, '\n');
    // Nothing is read after the name, so the rest of its line can go with it.
    name.resize(std::min(name.find('"'), name.size()));
    return true;
}

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
    if (!readFileName(in, name)) {
        out << "\nError! Input ended before all answers were given.\n" << std::flush;
        return 1;
    }
    SummaryFile file(name);
    EnergySummary summary;  // every term starts at zero and keeps its value from block to block
    std::int64_t complexCounter = 1;
    std::string line;
    while (file.isOpen() && file.readLine(line)) {
        if (applySummaryLine(line, summary) == LineRole::kBlockEnd &&
            writeBarChart(summary, complexCounter, out) != ChartOutcome::kWritten) {
            return 1;
        }
    }
    // A name that does not open, or that fails to read, is one we cannot use.
    if (!file.isOpen() || file.readFailed()) {
        out << "Error! Can not open input file " << name << '\n' << std::flush;
        return 1;
    }
    out << "\nFinished!\n\n" << std::flush;
    return 0;
}
