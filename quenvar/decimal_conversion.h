#pragma once

#include <string_view>

namespace quenvar::detail {

// Converts decimal text that the number grammar has already accepted,
//   [+ or -] digits [. digits] [e or E [+ or -] digits]   (at least one digit before the exponent),
// to the nearest double, whatever the locale of the environment. Beyond the range of double the
// result is +-infinity (HUGE_VAL); below it, +-0 or the subnormal the text rounds to, as strtod
// gives them.
double convertDecimal(std::string_view text);

}  // namespace quenvar::detail
