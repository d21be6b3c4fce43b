#include "decimal_conversion.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <string>

#if DECIMAL_FROM_CHARS
#include <charconv>
#include <system_error>
#endif

double convertDecimal(std::string_view digits) {
#if DECIMAL_FROM_CHARS
    double value = 0.0;
    const auto [next, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec == std::errc{} && next == digits.data() + digits.size()) return value;
    // Out of range: from_chars does not say which way, strtod does.
#endif
    // strtod expects the decimal point of the locale in force; give it that one.
    std::string text(digits);
    const auto point = std::find(text.begin(), text.end(), '.');
    if (point != text.end()) text.replace(point, point + 1, std::localeconv()->decimal_point);
    return std::strtod(text.c_str(), nullptr);
}
