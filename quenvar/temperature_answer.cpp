#include "temperature_answer.h"

#include <cmath>
#include <istream>
#include <string>
#include <string_view>

#include "decimal_conversion.h"
#include "extraction_grammar.h"

namespace quenvar::detail {
namespace {

// Takes the stream's characters for the number grammar one at a time, as extraction does, so
// that whatever follows the number stays for the next read.
struct StreamCursor {
    std::istream& in;
    std::string text;
    int peek() const { return in.peek(); }
    void take() { text += static_cast<char>(in.get()); }
};

}  // namespace

std::optional<double> readNumber(std::istream& in) {
    StreamCursor cursor{in >> std::ws, {}};
    if (!scanExtractedNumber(cursor).isNumber) return std::nullopt;
    const double value = convertDecimal(cursor.text);
    if (std::isinf(value)) return std::nullopt;
    return value;
}

}  // namespace quenvar::detail

namespace quenvar {
namespace {

// The characters the classic locale calls white space, which end a word.
bool isSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Trailing punctuation a word may carry in a sentence ("25 C.").
bool isTrailingPunctuation(int c) { return c == '.' || c == ',' || c == ';' || c == ':' || c == '!' || c == '?' || c == ')'; }

// A word of an answer, lower-cased (ASCII) and without trailing punctuation. Only its first bytes
// are kept, enough for any word judged: `longer` tells that more than punctuation followed them.
struct Word {
    std::string text;
    bool longer = false;
    bool is(std::string_view other) const { return !longer && text == other; }
};

Word readWord(std::istream& in) {
    constexpr std::size_t kKept = 16;
    Word word;
    for (int c = in.peek(); c != std::char_traits<char>::eof() && !isSpace(c); c = in.peek()) {
        in.get();
        if (word.text.size() < kKept) {
            word.text += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        } else if (!isTrailingPunctuation(c)) {
            word.longer = true;
        }
    }
    while (!word.longer && !word.text.empty() && isTrailingPunctuation(word.text.back())) word.text.pop_back();
    return word;
}

// A degree sign in any encoding a console or pipe delivers (UTF-8 °, º, ℃ and ℉; 0xB0 in
// Windows-1252 and Latin-1, 0xF8 in CP437), a scale's name, or an abbreviation of "degrees".
bool namesOtherScale(const Word& word) {
    for (const std::string_view start : {"\xc2\xb0", "\xc2\xba", "\xe2\x84\x83", "\xe2\x84\x89", "\xb0", "\xf8", "deg"}) {
        if (word.text.starts_with(start)) return true;
    }
    return word.is("c") || word.is("f") || word.is("celsius") || word.is("centigrade") || word.is("fahrenheit");
}

}  // namespace

std::optional<double> readTemperature(std::istream& in) {
    const std::optional<double> number = detail::readNumber(in);
    if (!number || *number <= 0) return std::nullopt;
    const Word stuck = readWord(in);
    if (!stuck.is("") && !stuck.is("k") && !stuck.is("kelvin")) return std::nullopt;
    for (int c = in.peek(); c == ' ' || c == '\t' || c == '\v' || c == '\f'; c = in.peek()) in.get();
    if (namesOtherScale(readWord(in))) return std::nullopt;
    return number;
}

}  // namespace quenvar
