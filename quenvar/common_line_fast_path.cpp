#include "common_line_fast_path.h"

#include <bit>
#include <cstdint>
#include <string_view>

#include "byte_windows.h"
#include "calculator_dialogue.h"
#include "decimal_conversion.h"

namespace {

// The lowest marked position, or kWindowBytes when none of the window's bytes is marked.
unsigned firstMarked(std::uint32_t mask) {
    return static_cast<unsigned>(std::countr_zero(mask | std::uint32_t{1} << kWindowBytes));
}

template <typename Windows>
const char* readLineWith(const char* line, double& energy) {
    const char* p = line;
    const char* number = nullptr;
    for (int column = 1; column <= kEnergyColumn; ++column) {
        std::uint32_t nonSpaces;
        while ((nonSpaces = Windows::nonSpaces(p)) == 0) p += kWindowBytes;
        number = p + firstMarked(nonSpaces);
        // [-] digits [. digits]: the number ends at the first non-digit past the sign and the point.
        const bool minus = *number == '-';
        std::uint32_t nonDigits = Windows::nonDigits(number) & ~std::uint32_t{minus};
        unsigned end = firstMarked(nonDigits);
        const bool point = number[end] == '.';
        if (point) end = firstMarked(nonDigits & (nonDigits - 1));
        // A number that fills the window, or has no digit, is left to the exact reader.
        if (end == kWindowBytes || end == unsigned{minus} + unsigned{point}) return nullptr;
        // Whatever follows a number other than a space is either where extraction would start the
        // next number too ("1-2", "1.2.3") or no number, and the next column leaves that line.
        p = number + end;
    }
    // An exponent mark after the eighth would make it another number; anything else ends it.
    if (*p == 'e' || *p == 'E') return nullptr;
    const char* numberEnd = p;
    std::uint32_t marks;
    while ((marks = Windows::lineEndsAndMarks(p)) == 0) p += kWindowBytes;
    p += firstMarked(marks);
    if (*p != '\n') return nullptr;  // a comment mark: the exact reader skips the line
    energy = convertDecimal({number, static_cast<std::size_t>(numberEnd - number)});
    return p;
}

}  // namespace

const char* readCommonDataLine(const char* line, double& energy) { return readLineWith<NativeWindows>(line, energy); }

const char* readCommonDataLinePortable(const char* line, double& energy) {
    return readLineWith<PortableWindows>(line, energy);
}
