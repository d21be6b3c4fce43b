#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_classes.h"

namespace quenvar::detail {

// Where the numbers of a data line go: slot[c] is the place of column c's value among those its
// frame needs (-1 where none), for the columns 1 to `needed`, the last that must be read; `used`
// has bit c set for each such column below 64, so that the fast path tests a register.
struct ColumnSlots {
    int needed = 0;
    std::vector<int> slot;
    std::uint64_t used = 0;
};

// The fast path of the energy reader, for the shape nearly every data line of a real energy file
// has: columns separated by spaces, each of the columns read a plain decimal number of at most 15
// characters after its sign,  [-] digits [. digits]  with a digit, and no '#' or '@' anywhere.
// It classifies such a line 16 bytes at a time and settles it in one pass; any other line
// (comments, tabs, exponents, long numbers, odd bytes) is left to the exact reader, which gives
// every line its verdict. On the lines it settles it gives the exact reader's verdict and values,
// bit for bit: the numbers go through the same conversion.

// Readable bytes the buffer needs past a line's '\n': the first 64 bytes classified may start at
// the '\n' itself.
inline constexpr std::size_t kCommonLinePadding = 64;

// Whether this build has the fast path (it needs SSE2, which every x86-64 has). Without it, the
// reader settles no line.
inline constexpr bool kCommonLineFastPath = QUENVAR_SIMD_BYTE_CLASSES != 0;

// Reads a line of the common shape: `line` starts a line in a buffer in which a '\n' follows it
// (the line's end, or a sentinel), with kCommonLinePadding readable bytes after that '\n'. Where
// the line has the common shape, stores the numbers of its slotted columns in `values` and
// returns the position of its '\n'; otherwise returns nullptr, `values` left as scratch.
using CommonLineReader = const char* (*)(const char* line, const ColumnSlots& columns, double* values);

// The reader for these columns, chosen once a file, so that quenvar's eighth column alone walks
// as the fixed shape it is. Lines needing 64 columns or more are left to the exact reader.
CommonLineReader commonLineReaderFor(const ColumnSlots& columns);

}  // namespace quenvar::detail
