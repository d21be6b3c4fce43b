#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "bar_chart.h"

namespace barwright::detail {

enum class LineRole { kTerm, kBlockEnd, kOther };

// The C scan "%*[^=]%*s %lf %*s %lf" of a term line (label, the "=" token, value, the "+/-"
// token, error), fed the line in pieces of any size: it keeps only the number being read.
// Numbers are read as %lf reads them: a sign, then "nan", "inf" or "infinity" in any case, or
// digits with one optional point and, after a digit, an exponent ("5e" and "5E+" are taken as
// 5). Out-of-range values become +-HUGE_VAL or +-0. Hexadecimal floats are not read (no summary
// writes them): "0x1p3" reads as 0, followed by "x1p3".
class TermScan {
public:
    void add(std::string_view piece);
    // At the line's end: `term` with the fields that converted replaced (a field that does not
    // convert ends the scan, and it and every later field keep their old values). Starts over.
    TermEstimate finish(TermEstimate term);

private:
    enum class Field { kLabel, kEquals, kValue, kSeparator, kError, kDone };
    enum class Number { kSpace, kSigned, kWord, kDigits, kExponent, kExponentSign, kExponentDigits };
    void feed(char c);
    void readNumber(char c);
    void numberRead(double magnitude);  // then `c` of readNumber goes to the next field

    Field field_ = Field::kLabel;
    bool taken_ = false;  // the label or token being read has a character
    Number number_ = Number::kSpace;
    bool negative_ = false, digit_ = false, point_ = false;
    std::string text_;               // the digits of the number being read
    std::string_view word_;          // "nan" or "infinity", being matched
    std::size_t matched_ = 0;
    std::optional<double> value_, error_;
};

// One line of the summary, fed in pieces of any size (a tag or "END" may straddle two): which
// term it fills, or whether it closes a block.
class SummaryLine {
public:
    void add(std::string_view piece);
    // At the line's end: applies a tagged line to its term and says what the line was. Starts over.
    LineRole finish(EnergySummary& summary);

private:
    static constexpr std::size_t kWords = kTermTags.size() + 1;  // the tags, then "END"
    static constexpr std::size_t kSeam = 7;                       // the longest word, less one
    std::size_t first_ = kWords;  // the first of the words in that order the line holds, if any
    std::string tail_;            // the last kSeam bytes fed
    TermScan scan_;
};

}  // namespace barwright::detail
