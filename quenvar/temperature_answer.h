#pragma once

#include <iosfwd>
#include <optional>

namespace quenvar {

// Reads a temperature answer: a positive number in kelvin, alone or with "K" or "kelvin" (any
// case) after it, as in "298.15", "298.15K" or "298.15 kelvin". Refused, as nothing, where it
// means another number or scale: other text stuck to the number ("298,15", "25C"), or a next
// word on the line that names another scale (a degree sign in any encoding, "C", "F",
// "Celsius", "centigrade", "Fahrenheit", "deg..."; in any case, trailing punctuation aside).
// Reads no further than that word, and never past the line end.
std::optional<double> readTemperature(std::istream& in);

namespace detail {

// Reads one number from `in` as `in >> double` reads it, with the same grammar as the file's
// numbers: leading white space is skipped, and only the characters extraction takes are taken.
// Nothing where extraction fails (not a number, or beyond the range of double).
std::optional<double> readNumber(std::istream& in);

}  // namespace detail
}  // namespace quenvar
