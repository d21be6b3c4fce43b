#pragma once

#include <string_view>

namespace quenvar::detail {

// Converts decimal text that a reader has already taken,
//   [+ or -] digits [. digits] [e or E [+ or -] [digits]]   (at least one digit before the exponent),
// to the nearest double, whatever the locale of the environment. An exponent without digits is
// left out, as strtod leaves it. Beyond the range of double the result is +-HUGE_VAL; below it,
// +-0 or the subnormal the text rounds to, as strtod gives them.
double convertDecimal(std::string_view text);

}  // namespace quenvar::detail
