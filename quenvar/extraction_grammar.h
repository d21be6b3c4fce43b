#pragma once

#include <cstddef>

namespace quenvar::detail {

// The one grammar of a number in quenvar's input, the energy file's columns and the temperature
// alike: the characters `std::istream >> double` takes in the classic locale (libstdc++'s rules,
// which every platform follows here). After an optional sign, it takes digits with at most one
// decimal point, then, once a digit was seen, an exponent mark, one optional sign and digits. The
// text taken is a number only when it has a digit before any exponent and, if it has an exponent,
// a digit after it ("1.5e" and "." are taken, and fail). What follows is left for the next read.
// "inf", "nan" and hexadecimal ("0x10" is 0, then "x10") are not numbers.
struct ExtractedText {
    bool isNumber = false;
    // Whether the value could lie beyond the range of double: it has an exponent or more than
    // 300 digits before the point. Other numbers are always finite and need no conversion to check.
    bool mayOverflow = false;
};

// Cursor: int peek() gives the next character (as unsigned char) or a negative value at the end;
// void take() consumes it. The scan reads nothing beyond the one character it stops at.
template <typename Cursor>
ExtractedText scanExtractedNumber(Cursor& in) {
    int c = in.peek();
    auto next = [&in, &c] {
        in.take();
        c = in.peek();
    };
    auto isDigit = [&c] { return c >= '0' && c <= '9'; };
    if (c == '+' || c == '-') next();
    std::size_t integerDigits = 0;
    bool fractionDigits = false;
    for (; isDigit(); next()) ++integerDigits;
    if (c == '.') {
        for (next(); isDigit(); next()) fractionDigits = true;
    }
    if (integerDigits == 0 && !fractionDigits) return {};
    if (c != 'e' && c != 'E') return {.isNumber = true, .mayOverflow = integerDigits > 300};
    next();
    if (c == '+' || c == '-') next();
    bool exponentDigits = false;
    for (; isDigit(); next()) exponentDigits = true;
    return {.isNumber = exponentDigits, .mayOverflow = true};
}

// Whether `c` may follow the last number a line needs: white space, the line's end (or the end of
// the file, which the reader marks as one), or the sign of a number written so wide that it
// touches ("-1234.5-2345.6"). Anything else stuck to it ("-250.0D+05", "12.5kJ", "0x10") would
// change its meaning.
inline bool endsLastNumber(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r') || c == '+' || c == '-';
}

}  // namespace quenvar::detail
