#include "summary_line.h"

#include <algorithm>
#include <limits>

#include "decimal_conversion.h"

namespace barwright::detail {
namespace {

// The characters the C locale calls white space.
bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view word(std::size_t i) { return i < kTermTags.size() ? kTermTags[i].tag : "END"; }

constexpr double kInfinity = std::numeric_limits<double>::infinity();

}  // namespace

void TermScan::add(std::string_view piece) {
    std::size_t i = 0;
    if (field_ == Field::kLabel) {  // "%*[^=]": the label runs to the first '='
        i = std::min(piece.find('='), piece.size());
        taken_ = taken_ || i > 0;
    }
    for (; i < piece.size() && field_ != Field::kDone; ++i) feed(piece[i]);
}

void TermScan::feed(char c) {
    switch (field_) {
        case Field::kLabel:  // only the '=' that ends it arrives here; the label needs a character
            field_ = taken_ ? Field::kEquals : Field::kDone;
            return;
        case Field::kEquals:
        case Field::kSeparator:  // "%*s": white space, then non-blank characters up to the next blank
            if (!isSpace(c)) {
                taken_ = true;
            } else if (taken_) {
                field_ = field_ == Field::kEquals ? Field::kValue : Field::kError;
                taken_ = false;
            }
            return;
        case Field::kValue:
        case Field::kError:
            readNumber(c);
            return;
        case Field::kDone:
            return;
    }
}

void TermScan::readNumber(char c) {
    const auto fail = [this] { field_ = Field::kDone; };
    switch (number_) {
        case Number::kSpace:
            if (isSpace(c)) return;
            number_ = Number::kSigned;
            if (c == '-' || c == '+') {
                negative_ = c == '-';
                return;
            }
            [[fallthrough]];
        case Number::kSigned:
            if (lower(c) == 'n' || lower(c) == 'i') {
                word_ = lower(c) == 'n' ? "nan" : "infinity";
                matched_ = 1;
                number_ = Number::kWord;
                return;
            }
            number_ = Number::kDigits;
            [[fallthrough]];
        case Number::kDigits:
            if (isDigit(c) || (c == '.' && !point_)) {
                point_ = point_ || c == '.';
                digit_ = digit_ || c != '.';
                text_ += c;
                return;
            }
            if (!digit_) return fail();
            if (c != 'e' && c != 'E') break;
            text_ += c;
            number_ = Number::kExponent;
            return;
        case Number::kExponent:
            if (c == '+' || c == '-') {
                text_ += c;
                number_ = Number::kExponentSign;
                return;
            }
            [[fallthrough]];
        case Number::kExponentSign:
        case Number::kExponentDigits:
            if (!isDigit(c)) break;
            text_ += c;
            number_ = Number::kExponentDigits;
            return;
        case Number::kWord:
            // "inf" may stand alone; once a fourth letter follows, it must be "infinity".
            if (matched_ == 3 && word_ == "infinity" && lower(c) != 'i') {
                numberRead(kInfinity);
                return feed(c);
            }
            if (lower(c) != word_[matched_]) return fail();
            if (++matched_ == word_.size()) numberRead(word_ == "nan" ? std::numeric_limits<double>::quiet_NaN() : kInfinity);
            return;
    }
    // The digits have ended: `c` is not part of the number, but may begin the next field.
    numberRead(convertDecimal(text_));
    feed(c);
}

void TermScan::numberRead(double magnitude) {
    (field_ == Field::kValue ? value_ : error_) = negative_ ? -magnitude : magnitude;
    field_ = field_ == Field::kValue ? Field::kSeparator : Field::kDone;
    number_ = Number::kSpace;
    negative_ = digit_ = point_ = false;
    text_.clear();
}

TermEstimate TermScan::finish(TermEstimate term) {
    // The line's end ends a number that has what it needs.
    if (field_ == Field::kValue || field_ == Field::kError) {
        if (number_ == Number::kWord && matched_ == 3 && word_ == "infinity") {
            numberRead(kInfinity);
        } else if ((number_ == Number::kDigits && digit_) || number_ == Number::kExponent ||
                   number_ == Number::kExponentSign || number_ == Number::kExponentDigits) {
            numberRead(convertDecimal(text_));
        }
    }
    if (value_) term.value = *value_;
    if (error_) term.error = *error_;
    *this = {};
    return term;
}

void SummaryLine::add(std::string_view piece) {
    scan_.add(piece);
    // A word may straddle the seam between what came before and this piece. Only a word before
    // the first one found so far can still change what the line is.
    std::string seam = tail_;
    if (!seam.empty()) seam += piece.substr(0, kSeam);
    for (std::size_t i = 0; i < first_; ++i) {
        if (piece.find(word(i)) != std::string_view::npos || seam.find(word(i)) != std::string::npos) first_ = i;
    }
    tail_ += piece.substr(piece.size() - std::min(piece.size(), kSeam));
    tail_.erase(0, tail_.size() - std::min(tail_.size(), kSeam));
}

LineRole SummaryLine::finish(EnergySummary& summary) {
    LineRole role = first_ == kTermTags.size() ? LineRole::kBlockEnd : LineRole::kOther;
    if (first_ < kTermTags.size()) {
        TermEstimate& term = summary.*(kTermTags[first_].term);
        term = scan_.finish(term);
        role = LineRole::kTerm;
    } else {
        scan_.finish({});
    }
    first_ = kWords;
    tail_.clear();
    return role;
}

}  // namespace barwright::detail
