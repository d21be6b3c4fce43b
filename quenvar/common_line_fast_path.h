#pragma once

#include <cstddef>

#include "byte_classes.h"

namespace quenvar::detail {

// The fast path of the energy reader, for the shape nearly every data line of a real energy file
// has: columns separated by spaces, each of the first eight a plain decimal number of at most 15
// characters after its sign,  [-] digits [. digits]  with a digit, and no '#' or '@' anywhere.
// It classifies such a line 16 bytes at a time and settles it in one pass; any other line
// (comments, tabs, exponents, long numbers, odd bytes) is left to the exact reader, which gives
// every line its verdict. On the lines it settles it gives the exact reader's verdict and value,
// bit for bit: the eighth number goes through the same conversion.

// Readable bytes the buffer needs past a line's '\n': the first 64 bytes classified may start at
// the '\n' itself.
inline constexpr std::size_t kCommonLinePadding = 64;

// Whether this build has the fast path (it needs SSE2, which every x86-64 has). Without it,
// readCommonDataLine settles no line.
inline constexpr bool kCommonLineFastPath = QUENVAR_SIMD_BYTE_CLASSES != 0;

// `line` starts a line in a buffer in which a '\n' follows it (the line's end, or a sentinel),
// with kCommonLinePadding readable bytes after that '\n'. Where the line has the common shape,
// stores its eighth number in `energy` and returns the position of its '\n'; otherwise returns
// nullptr and leaves `energy` alone.
const char* readCommonDataLine(const char* line, double& energy);

}  // namespace quenvar::detail
