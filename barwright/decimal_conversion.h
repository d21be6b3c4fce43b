#pragma once

#include <string_view>

namespace barwright::detail {

// Converts unsigned decimal text that the scan has already taken, digits [. digits]
// [e or E [+ or -] [digits]] with a digit before any exponent, to the double the C scan's %lf
// stores for it, whatever the locale: the nearest double to the longest number at its front (an
// exponent without digits is left out, as strtod leaves it); HUGE_VAL beyond the range of
// double, and 0 or the subnormal the text rounds to below it.
double convertDecimal(std::string_view digits);

}  // namespace barwright::detail
