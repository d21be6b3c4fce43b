#include "common_line_fast_path.h"

#include <bit>
#include <cstdint>
#include <string_view>

#include "byte_windows.h"
#include "calculator_dialogue.h"
#include "decimal_conversion.h"

namespace {

// The longest number the fast path takes, its sign aside. A number that starts at most
// kLastStart bytes into a chunk lies in it with its sign and the byte after it, so every mask
// lookup stays within the chunk.
constexpr unsigned kLongestNumber = 15;
constexpr unsigned kLastStart = kChunkBytes - 1 - kLongestNumber - 1;

unsigned first(std::uint64_t mask) { return static_cast<unsigned>(std::countr_zero(mask)); }

// The line is classified a chunk at a time, and then walked on the masks alone: each step is a
// few register operations, not a load whose address waits for the step before.
template <typename Windows>
const char* readLineWith(const char* line, double& energy) {
    const char* chunk = line;
    ChunkMasks masks = Windows::classify(chunk);
    unsigned at = 0;  // where the walk is in the chunk, always below kChunkBytes
    const char* number = nullptr;
    for (int column = 1; column <= kEnergyColumn;) {
        const std::uint64_t nonSpaces = ~masks.spaces >> at << at;
        // Spaces to the chunk's end, or a number too near it: the next chunk starts further on.
        // (Neither skips a '\n', which is no space and would have ended the search.)
        if (nonSpaces == 0 || first(nonSpaces) > kLastStart) {
            chunk += nonSpaces == 0 ? kChunkBytes : first(nonSpaces);
            masks = Windows::classify(chunk);
            at = 0;
            continue;
        }
        // [-] digits [. digits], ending at the first non-digit past the sign and the point.
        const unsigned start = first(nonSpaces);
        const unsigned minus = static_cast<unsigned>(masks.minuses >> start) & 1;
        const std::uint64_t nonDigits = masks.nonDigits >> (start + minus);
        unsigned length = first(nonDigits);  // digits, and then the point and digits after it
        if (length > kLongestNumber) return nullptr;
        const unsigned point = static_cast<unsigned>(masks.points >> (start + minus + length)) & 1;
        if (point != 0) length += 1 + first(nonDigits >> (length + 1));
        // A longer number, or one without a digit, is left to the exact reader. Whatever follows
        // a number is either where extraction would start the next number too ("1-2", "1.2.3")
        // or no number, and the next column leaves that line to the exact reader.
        if (length > kLongestNumber || length == point) return nullptr;
        number = chunk + start;
        at = start + minus + length;
        ++column;
    }
    // An exponent mark after the eighth number would make it another number; anything else ends it.
    const char* numberEnd = chunk + at;
    if (*numberEnd == 'e' || *numberEnd == 'E') return nullptr;
    // The rest of the line matters only for its end and for a comment mark, both of them among
    // the bytes that are neither space nor digit.
    for (;;) {
        std::uint64_t others = (~masks.spaces & masks.nonDigits) >> at << at;
        for (; others != 0; others &= others - 1) {
            const char* p = chunk + first(others);
            if (*p == '#' || *p == '@') return nullptr;  // the exact reader skips the line
            if (*p == '\n') {
                energy = convertDecimal({number, static_cast<std::size_t>(numberEnd - number)});
                return p;
            }
        }
        chunk += kChunkBytes;  // no '\n' in this chunk: the next one is still the line's
        masks = Windows::classify(chunk);
        at = 0;
    }
}

}  // namespace

const char* readCommonDataLine(const char* line, double& energy) { return readLineWith<NativeWindows>(line, energy); }

const char* readCommonDataLinePortable(const char* line, double& energy) {
    return readLineWith<PortableWindows>(line, energy);
}
