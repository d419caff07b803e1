#pragma once

#include <QtGlobal>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Byte searches of the text readers (XML parts, content.xml, text tables), eight or sixteen bytes
// at a time.
namespace bytescan {

// Eight bytes at a time: a mask with the high bit of each byte that equals one of the bytes of
// pattern (the byte repeated). Only the lowest flagged byte is exact, which is all a scan needs.
constexpr uint64_t Ones = 0x0101010101010101ULL;
constexpr uint64_t Highs = 0x8080808080808080ULL;
Q_ALWAYS_INLINE uint64_t equalBytes(uint64_t word, uint64_t pattern)
{
    const uint64_t x = word ^ pattern;
    return (x - Ones) & ~x & Highs;
}

// Eight bytes from p, the first in the lowest byte.
Q_ALWAYS_INLINE uint64_t load8(const char *p)
{
    uint64_t word;
    std::memcpy(&word, p, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    return word;
}

// The first byte from p on that is a, b or c, or end; eight bytes at a time, for the short runs of
// markup (a value, a cell's text).
inline const char *findAny(const char *p, const char *end, char a, char b, char c)
{
    const uint64_t pa = Ones * uint8_t(a), pb = Ones * uint8_t(b), pc = Ones * uint8_t(c);
    while (end - p >= 8) {
        const uint64_t w = load8(p);
        const uint64_t hit = equalBytes(w, pa) | equalBytes(w, pb) | equalBytes(w, pc);
        if (hit) return p + (std::countr_zero(hit) >> 3);
        p += 8;
    }
    while (p < end && *p != a && *p != b && *p != c)
        ++p;
    return p;
}

// The same sixteen bytes at a time where the processor can, for long runs (a text table's fields).
inline const char *findAnyLong(const char *p, const char *end, char a, char b, char c)
{
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi8(a), vb = _mm_set1_epi8(b), vc = _mm_set1_epi8(c);
    while (end - p >= 16) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(w, va), _mm_cmpeq_epi8(w, vb)), _mm_cmpeq_epi8(w, vc));
        if (const int mask = _mm_movemask_epi8(hit)) return p + std::countr_zero(unsigned(mask));
        p += 16;
    }
#endif
    return findAny(p, end, a, b, c);
}

// Whether p .. end starts with the text.
Q_ALWAYS_INLINE bool startsWith(const char *p, const char *end, std::string_view text)
{
    return size_t(end - p) >= text.size() && std::memcmp(p, text.data(), text.size()) == 0;
}

} // namespace bytescan
