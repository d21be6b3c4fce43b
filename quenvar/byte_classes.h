#pragma once

#include <cstdint>

// Byte classes of 16 bytes at once, for the energy reader's fast path: one SSE2 compare per class,
// on every x86-64 compiler (SSE2 is part of that architecture). Where the target has no SSE2 the
// fast path is not built and every line takes the exact reader: tried on 64-bit words instead
// (SWAR), the same classes cost more instructions than the exact reader spends on the whole line.

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define QUENVAR_SIMD_BYTE_CLASSES 1
#include <emmintrin.h>

namespace quenvar::detail {

inline constexpr unsigned kChunkBytes = 16;

// Bit i of each mask stands for p[i].
struct ByteMasks {
    std::uint64_t spaces = 0, nonDigits = 0, points = 0, minuses = 0;
};

// The classes of p[0] to p[15], in bits 0 to 15.
inline ByteMasks classifyChunk(const char* p) {
    auto marked = [](__m128i bytes) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(bytes)));
    };
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8('0'));  // a digit becomes 0 to 9
    const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset);
    return {.spaces = marked(_mm_cmpeq_epi8(v, _mm_set1_epi8(' '))),
            .nonDigits = marked(digits) ^ 0xffffu,
            .points = marked(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))),
            .minuses = marked(_mm_cmpeq_epi8(v, _mm_set1_epi8('-')))};
}

}  // namespace quenvar::detail
#else
#define QUENVAR_SIMD_BYTE_CLASSES 0
#endif
