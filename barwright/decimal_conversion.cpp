#include "decimal_conversion.h"

#include <cstdlib>
#include <string>

#if DECIMAL_FROM_CHARS
#include <charconv>
#include <system_error>
#endif

namespace barwright::detail {

double convertDecimal(std::string_view digits) {
#if DECIMAL_FROM_CHARS
    double value = 0.0;
    if (std::from_chars(digits.data(), digits.data() + digits.size(), value).ec == std::errc{}) return value;
#endif
    // Out of range from_chars only says so; strtod gives HUGE_VAL or the tiny value, as %lf
    // stores it. The program never leaves the "C" locale, where strtod's decimal point is '.'.
    return std::strtod(std::string(digits).c_str(), nullptr);
}

}  // namespace barwright::detail
