#include "decimal_conversion.h"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <string>

#if DECIMAL_FROM_CHARS
#include <charconv>
#include <system_error>
#endif

double convertDecimal(std::string_view text) {
#if DECIMAL_FROM_CHARS
    // from_chars takes no '+'. Out of range it reports only that, not which way: strtod tells.
    const std::string_view body = text.starts_with('+') ? text.substr(1) : text;
    double value = 0.0;
    const auto [next, ec] = std::from_chars(body.data(), body.data() + body.size(), value);
    if (ec == std::errc{} && next == body.data() + body.size()) return value;
#endif
    // strtod reads the decimal point of the C locale in force, so the text is handed over with its
    // point spelled that way: the result does not depend on the locale the process runs in.
    std::string local(text);
    const auto point = std::find(local.begin(), local.end(), '.');
    if (point != local.end()) local.replace(point, point + 1, std::localeconv()->decimal_point);
    return std::strtod(local.c_str(), nullptr);
}
