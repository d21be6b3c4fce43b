#include "decimal_conversion.h"

#include <cstdlib>
#include <string>

#if DECIMAL_FROM_CHARS
#include <charconv>
#include <system_error>
#endif

namespace barwright::detail {

double convertDecimal(std::string_view text) {
#if DECIMAL_FROM_CHARS
    double value = 0.0;
    if (std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc{}) return value;
    // Out of range, from_chars does not say which way, and it takes no leading '+': strtod does both.
#endif
    // The programs never leave the "C" locale the C library starts in, where strtod reads '.' as
    // the decimal point.
    return std::strtod(std::string(text).c_str(), nullptr);
}

}  // namespace barwright::detail
