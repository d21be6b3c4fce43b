// C-style escapes for test data kept in text files: \n \r \t \v \f \\ \" \0 and \xHH for any
// other byte outside printable ASCII, so that any line of bytes fits on one line of a file.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

inline std::string escaped(std::string_view bytes) {
    std::string text;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        const char* named = c == '\n' ? "\\n" : c == '\r' ? "\\r" : c == '\t' ? "\\t" : c == '\v' ? "\\v"
                          : c == '\f' ? "\\f" : c == '\\' ? "\\\\" : c == '"' ? "\\\"" : nullptr;
        if (named != nullptr) {
            text += named;
        } else if (u < 0x20 || u >= 0x7f) {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02x", u);
            text += hex;
        } else {
            text += c;
        }
    }
    return text;
}

// The bytes `text` stands for; the inverse of escaped(), and also reads \0.
inline std::string unescaped(std::string_view text) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            bytes += text[i];
            continue;
        }
        const char c = text[++i];
        if (c == 'x' && i + 2 < text.size()) {
            bytes += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
            i += 2;
        } else {
            const std::string_view from = "nrtvf0", to{"\n\r\t\v\f\0", 6};
            const std::size_t k = from.find(c);
            bytes += k == std::string_view::npos ? c : to[k];
        }
    }
    return bytes;
}
