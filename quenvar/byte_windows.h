#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Byte classes of 16 bytes at once, for the energy reader's fast path. The portable version works
// on 64-bit words (SWAR); where the compiler targets SSE2 (every x86-64), a vector version does the
// same in fewer instructions. Both are exact per byte: no byte's class depends on its neighbours.

// What the fast path needs to know of some bytes: bit i of each mask stands for p[i].
inline constexpr unsigned kWindowBytes = 16;
struct ByteMasks {
    std::uint64_t spaces = 0, nonDigits = 0, points = 0, minuses = 0;
};

struct PortableWindows {
    using Word = std::uint64_t;
    static constexpr Word kOnes = 0x0101010101010101u;
    static constexpr Word kHighBits = 0x8080808080808080u;
    static constexpr Word kLowBits = 0x7f7f7f7f7f7f7f7fu;

    // Eight bytes with p[0] in the lowest byte, whatever the machine's byte order.
    static Word load(const char* p) {
        Word word;
        std::memcpy(&word, p, sizeof word);
        if constexpr (std::endian::native != std::endian::little) {
            Word swapped = 0;
            for (int i = 0; i < 8; ++i) swapped |= ((word >> (8 * (7 - i))) & 0xff) << (8 * i);
            word = swapped;
        }
        return word;
    }
    // The high bit of each byte that is not zero, and nothing else.
    static Word nonZeroBytes(Word word) { return (((word & kLowBits) + kLowBits) | word) & kHighBits; }
    static Word bytesEqual(Word word, char c) {
        return nonZeroBytes(word ^ (kOnes * static_cast<unsigned char>(c))) ^ kHighBits;
    }
    static Word nonDigitBytes(Word word) {
        const Word offset = word ^ (kOnes * '0');  // a digit becomes 0 to 9, any other byte something else
        return (((offset & kLowBits) + kOnes * (0x80 - 10)) | offset) & kHighBits;
    }
    // The high bits of the eight bytes gathered into bits 0 to 7 (no two products overlap).
    static std::uint64_t gather(Word highBits) { return ((highBits >> 7) * 0x0102040810204080u) >> 56; }

    // Bits 0 to 15 of each mask.
    static ByteMasks classify(const char* p) {
        ByteMasks masks;
        for (unsigned i = 0; i < kWindowBytes / 8; ++i) {
            const Word word = load(p + 8 * i);
            masks.spaces |= gather(bytesEqual(word, ' ')) << 8 * i;
            masks.nonDigits |= gather(nonDigitBytes(word)) << 8 * i;
            masks.points |= gather(bytesEqual(word, '.')) << 8 * i;
            masks.minuses |= gather(bytesEqual(word, '-')) << 8 * i;
        }
        return masks;
    }
};

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>

struct Sse2Windows {
    static std::uint64_t marked(__m128i bytes) {
        return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(bytes)));
    }
    static __m128i equal(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }

    // Bits 0 to 15 of each mask.
    static ByteMasks classify(const char* p) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i offset = _mm_sub_epi8(v, _mm_set1_epi8('0'));  // a digit becomes 0 to 9
        const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset);
        return {.spaces = marked(equal(v, ' ')),
                .nonDigits = marked(digits) ^ 0xffffu,
                .points = marked(equal(v, '.')),
                .minuses = marked(equal(v, '-'))};
    }
};
using NativeWindows = Sse2Windows;
#else
using NativeWindows = PortableWindows;
#endif
