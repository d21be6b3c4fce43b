#include "common_line_fast_path.h"

#if QUENVAR_SIMD_BYTE_CLASSES

#include <bit>
#include <cstdint>
#include <string_view>

#include "decimal_conversion.h"
#include "energy_reader.h"
#include "extraction_grammar.h"

namespace quenvar::detail {
namespace {

// 64 bytes of a line as masks, sliding on 16 bytes at a time, so that each byte is classified
// once however the numbers fall, and the walk's place in them.
struct SlidingMasks {
    static constexpr unsigned kBytes = 64;
    ByteMasks masks;
    const char* base;  // the masks' bit 0
    unsigned at = 0;   // the walk's next byte, always below kBytes; the bytes before it are done

    explicit SlidingMasks(const char* line) : base(line) {
        for (unsigned i = 0; i < kBytes; i += kChunkBytes) add(classifyChunk(line + i), i);
    }
    void add(const ByteMasks& chunk, unsigned offset) {
        masks.spaces |= chunk.spaces << offset;
        masks.nonDigits |= chunk.nonDigits << offset;
        masks.points |= chunk.points << offset;
        masks.minuses |= chunk.minuses << offset;
    }
    void slide() {
        masks.spaces >>= kChunkBytes;
        masks.nonDigits >>= kChunkBytes;
        masks.points >>= kChunkBytes;
        masks.minuses >>= kChunkBytes;
        add(classifyChunk(base + kBytes), kBytes - kChunkBytes);
        base += kChunkBytes;
        at = at > kChunkBytes ? at - kChunkBytes : 0;
    }
};

// The longest number the fast path takes, its sign aside. A number that starts at most
// kLastStart bytes into the masks lies in them with its sign and the byte after it, so every
// mask lookup stays within them.
constexpr unsigned kLongestNumber = 15;
constexpr unsigned kLastStart = SlidingMasks::kBytes - 1 - kLongestNumber - 1;

unsigned first(std::uint64_t mask) { return static_cast<unsigned>(std::countr_zero(mask)); }

// The line is classified once, and walked on the masks alone: each step is a few register
// operations, not a load whose address waits for the step before. Where the one value taken is
// the last number read (quenvar's eighth), it is converted once the line is known to be data.
template <bool kLastOnly, int kNeeded>
const char* walkLine(const char* line, const ColumnSlots& columns, double* values) {
    SlidingMasks view(line);
    const ByteMasks& masks = view.masks;
    unsigned& at = view.at;
    const char* number = nullptr;
    const int needed = kNeeded > 0 ? kNeeded : columns.needed;
    for (int column = 1; column <= needed;) {
        const std::uint64_t nonSpaces = ~masks.spaces >> at << at;
        // Spaces to the end of the masks, or a number too near it: they slide on. (Neither passes
        // a '\n', which is no space and not beyond kLastStart + kChunkBytes.)
        if (nonSpaces == 0 || first(nonSpaces) > kLastStart) {
            view.slide();
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
        number = view.base + start;
        at = start + minus + length;
        if constexpr (!kLastOnly) {
            if ((columns.used >> column) & 1) values[columns.slot[static_cast<std::size_t>(column)]] = convertDecimal({number, minus + length});
        }
        ++column;
    }
    // Whatever else follows the last number is the exact reader's to judge.
    const char* numberEnd = view.base + at;
    if (!endsLastNumber(static_cast<unsigned char>(*numberEnd))) return nullptr;
    // The rest of the line matters only for its end and for a comment mark, both of them among
    // the bytes that are neither space nor digit.
    for (;;) {
        std::uint64_t others = (~masks.spaces & masks.nonDigits) >> at << at;
        for (; others != 0; others &= others - 1) {
            const char* p = view.base + first(others);
            if (*p == '#' || *p == '@') return nullptr;  // the exact reader skips the line
            if (*p == '\n') {
                if constexpr (kLastOnly) values[0] = convertDecimal({number, static_cast<std::size_t>(numberEnd - number)});
                return p;
            }
        }
        view.slide();  // no '\n' in these bytes: the next ones are still the line's
    }
}

const char* settlesNoLine(const char*, const ColumnSlots&, double*) { return nullptr; }

}  // namespace

CommonLineReader commonLineReaderFor(const ColumnSlots& columns) {
    if (columns.needed >= 64) return settlesNoLine;
    if (columns.needed == kEnergyColumn && columns.used == std::uint64_t{1} << kEnergyColumn) return walkLine<true, kEnergyColumn>;
    if (columns.used == std::uint64_t{1} << columns.needed) return walkLine<true, 0>;
    return walkLine<false, 0>;
}

}  // namespace quenvar::detail

#else

namespace quenvar::detail {
namespace {
const char* settlesNoLine(const char*, const ColumnSlots&, double*) { return nullptr; }
}  // namespace
CommonLineReader commonLineReaderFor(const ColumnSlots&) { return settlesNoLine; }
}  // namespace quenvar::detail

#endif
