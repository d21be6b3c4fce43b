#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

// Tests on 16 bytes at once, for the energy reader's fast path. Each gives one bit per byte:
// bit i stands for p[i]. The portable version works on two 64-bit words (SWAR); where the
// compiler targets SSE2 (every x86-64), a vector version does the same in fewer instructions.
// Both are exact per byte, so bytes beyond the one looked for cannot disturb the answer.

inline constexpr unsigned kWindowBytes = 16;

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
    // High bit of each byte that is not zero, and nothing else.
    static Word nonZeroBytes(Word word) { return (((word & kLowBits) + kLowBits) | word) & kHighBits; }
    static Word bytesOtherThan(Word word, char c) { return nonZeroBytes(word ^ (kOnes * static_cast<unsigned char>(c))); }
    static Word nonDigitBytes(Word word) {
        const Word offset = word ^ (kOnes * '0');  // a digit becomes 0 to 9, any other byte something else
        return (((offset & kLowBits) + kOnes * (0x80 - 10)) | offset) & kHighBits;
    }
    // The high bits of the eight bytes gathered into bits 0 to 7 (no two products overlap).
    static std::uint32_t gather(Word highBits) {
        return static_cast<std::uint32_t>(((highBits >> 7) * 0x0102040810204080u) >> 56);
    }
    template <typename Test>
    static std::uint32_t window(const char* p, Test test) {
        return gather(test(load(p))) | gather(test(load(p + 8))) << 8;
    }

    static std::uint32_t nonSpaces(const char* p) {
        return window(p, [](Word w) { return bytesOtherThan(w, ' '); });
    }
    static std::uint32_t nonDigits(const char* p) { return window(p, nonDigitBytes); }
    // '\n', '#' and '@': the bytes that end a line or make it a comment.
    static std::uint32_t lineEndsAndMarks(const char* p) {
        return window(p, [](Word w) {
            return (bytesOtherThan(w, '\n') & bytesOtherThan(w, '#') & bytesOtherThan(w, '@')) ^ kHighBits;
        });
    }
};

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>

struct Sse2Windows {
    static __m128i load(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
    static std::uint32_t marked(__m128i bytes) { return static_cast<std::uint32_t>(_mm_movemask_epi8(bytes)); }
    static __m128i equal(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }

    static std::uint32_t nonSpaces(const char* p) { return marked(equal(load(p), ' ')) ^ 0xffffu; }
    static std::uint32_t nonDigits(const char* p) {
        const __m128i offset = _mm_sub_epi8(load(p), _mm_set1_epi8('0'));  // a digit becomes 0 to 9
        return marked(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset)) ^ 0xffffu;
    }
    static std::uint32_t lineEndsAndMarks(const char* p) {
        const __m128i v = load(p);
        return marked(_mm_or_si128(_mm_or_si128(equal(v, '\n'), equal(v, '#')), equal(v, '@')));
    }
};
using NativeWindows = Sse2Windows;
#else
using NativeWindows = PortableWindows;
#endif
