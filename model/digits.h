// The readers' number kernels: runs of decimal digits found and converted with one load instead of
// a byte at a time. The scanner (scanner.h) and the OBJ reader's quick paths (obj_reader.cpp) read
// numbers with them.
//
// A kernel loads a fixed number of bytes from its position, whatever the text there holds, and
// each says how many (the k...Bytes constants). The caller passes `end`, the end of the bytes that
// are readable there; builds with assertions check that the kernel's bytes lie before it.
#pragma once

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zel_internal.h"

namespace zel {

// White space as the C library's formatted input knows it: blank, \t, \n, \v, \f, \r.
inline bool isSpace(int c) {
    return c <= ' ' && (c == ' ' || static_cast<unsigned>(c - '\t') < 5);
}
inline bool isDigit(int c) {
    return static_cast<unsigned>(c - '0') < 10;
}

// True when the n bytes from p on lie before `end`.
inline bool readable(const char* p, const char* end, size_t n) {
    return end - p >= static_cast<ptrdiff_t>(n);
}

// What each kernel reads from its position on. leadingDigits and digitsAt: one 8-byte load;
// digitBits: two of 16. plainInt: a sign, eight digits, a ninth and the byte after it.
// quickDecimal: a sign, eight digits, the point and eight bytes after it (the byte after the
// number is read only when it has at most eight digits, so it lies among those).
constexpr size_t kDigitRunBytes = 8;
constexpr size_t kDigitBitsBytes = 32;
constexpr size_t kPlainIntBytes = 1 + kDigitRunBytes + 2;
constexpr size_t kQuickDecimalBytes = 1 + kDigitRunBytes + 1 + kDigitRunBytes;

// The number of decimal digits that begin the 8 bytes at p (8 when all are).
ZEL_HOT size_t leadingDigits(const char* p, const char* end) {
    ZEL_ASSERT(readable(p, end, kDigitRunBytes));
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    // A byte's high bit ends up set unless it lies in '0'..'9' (a borrow or carry runs only
    // upwards, from a byte that is itself flagged, so the lowest flag is exact).
    uint64_t outside = ((chunk + 0x4646464646464646u) | (chunk - 0x3030303030303030u) | chunk) &
                       0x8080808080808080u;
    if (outside == 0) return 8;
    return static_cast<size_t>(__builtin_ctzll(outside)) / 8;
}

// Bit i set when p[i] is a decimal digit, for the 32 bytes at p.
ZEL_HOT uint32_t digitBits(const char* p, const char* end) {
    ZEL_ASSERT(readable(p, end, kDigitBitsBytes));
#ifdef __SSE2__
    const __m128i zero = _mm_set1_epi8('0'), nine = _mm_set1_epi8(9);
    __m128i a = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), zero);
    __m128i b = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)), zero);
    uint32_t low =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(a, nine), a)));
    uint32_t high =
        static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(b, nine), b)));
    return low | high << 16;
#else
    uint32_t bits = 0;
    for (int i = 0; i < 32; i++) bits |= uint32_t{isDigit(static_cast<unsigned char>(p[i]))} << i;
    return bits;
#endif
}

// The value of eight digit values (0 to 9) held one a byte, the first in the lowest byte.
ZEL_HOT uint64_t digitsValue(uint64_t chunk) {
    chunk = chunk * 10 + (chunk >> 8);
    constexpr uint64_t kMask = 0x000000FF000000FFu;
    constexpr uint64_t kMul1 = 100 + (uint64_t{1000000} << 32);
    constexpr uint64_t kMul2 = 1 + (uint64_t{10000} << 32);
    return (((chunk & kMask) * kMul1) + (((chunk >> 16) & kMask) * kMul2)) >> 32;
}

// The value of the `count` (1 to 8) bytes at p, which must all be decimal digits.
ZEL_HOT uint32_t digitsAt(const char* p, const char* end, unsigned count) {
    ZEL_ASSERT(readable(p, end, kDigitRunBytes));
    ZEL_ASSERT(count >= 1 && count <= 8);
    uint64_t chunk;
    std::memcpy(&chunk, p, 8);
    chunk -= 0x3030303030303030u;
    // Zero digits shifted in ahead of the number.
    return static_cast<uint32_t>(digitsValue(chunk << (8 * (8 - count))));
}

// The int that "%d" stores for a magnitude saturated at 2^63 + 1: converted as a long, as strtol
// does, then cut to an int as the C library stores it.
inline int intFromMagnitude(uint64_t magnitude, bool negative) {
    constexpr uint64_t kLimit = uint64_t{1} << 63;
    int64_t wide;
    if (negative)
        wide = magnitude >= kLimit ? INT64_MIN : -static_cast<int64_t>(magnitude);
    else
        wide = magnitude >= kLimit ? INT64_MAX : static_cast<int64_t>(magnitude);
    return static_cast<int>(static_cast<uint32_t>(static_cast<uint64_t>(wide)));
}

// Adds one decimal digit to a magnitude that saturates just above 2^63.
inline uint64_t addDigit(uint64_t magnitude, int digit) {
    constexpr uint64_t kLimit = uint64_t{1} << 63;
    if (magnitude > (kLimit - static_cast<uint64_t>(digit)) / 10) return kLimit + 1;
    return magnitude * 10 + static_cast<uint64_t>(digit);
}

// A number as exporters write it in a face reference: an optional sign and one to nine digits.
// Returns the position after it, or null for anything else; stores the value when kValue.
template <bool kValue>
ZEL_HOT const char* plainInt(const char* p, const char* end, int* value) {
    ZEL_ASSERT(readable(p, end, kPlainIntBytes));
    bool negative = false;
    if (!isDigit(static_cast<unsigned char>(*p))) {
        if (*p != '-' && *p != '+') return nullptr;
        negative = *p++ == '-';
    }
    size_t run = leadingDigits(p, end);
    if (run == 8 && isDigit(static_cast<unsigned char>(p[8]))) {
        if (isDigit(static_cast<unsigned char>(p[9]))) return nullptr;
        run = 9;
    }
    if (run == 0) return nullptr;
    if (kValue) {
        uint32_t magnitude = digitsAt(p, end, run < 8 ? static_cast<unsigned>(run) : 8);
        if (run == 9) magnitude = magnitude * 10 + static_cast<uint32_t>(p[8] - '0');
        *value = negative ? -static_cast<int>(magnitude) : static_cast<int>(magnitude);
    }
    return p + run;
}

// The form exporters write, [+-]digits[.digits] with at most nine digits and followed by white
// space, converted exactly without the general parser: a significand below 2^24 and a power of ten
// up to 10^9 are both exact floats, so one float division rounds the quotient correctly, as strtof
// does. Returns false, consuming nothing, for anything else.
ZEL_HOT bool quickDecimal(const char*& p, const char* end, float* value) {
    ZEL_ASSERT(readable(p, end, kQuickDecimalBytes));
    static constexpr float kPowers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f, 1e6f, 1e7f, 1e8f};
    static constexpr uint32_t kScales[] = {1,      10,      100,      1000,     10000,
                                           100000, 1000000, 10000000, 100000000};
    const char* q = p;
    bool negative = *q == '-';
    q += negative || *q == '+';
    // Most often the number and its point fit in eight bytes: they are read with one load, the
    // point taken out and the digits converted together.
    uint64_t chunk;
    std::memcpy(&chunk, q, 8);
    // Per byte, without borrows or carries between bytes: the high bit set unless it is a digit.
    constexpr uint64_t kHigh = 0x8080808080808080u;
    uint64_t outside = (~((chunk | kHigh) - 0x3030303030303030u) |
                        ((chunk & ~kHigh) + 0x4646464646464646u) | chunk) &
                       kHigh;
    uint64_t digitValues = chunk & 0x0F0F0F0F0F0F0F0Fu;
    if (outside) {
        unsigned point = static_cast<unsigned>(__builtin_ctzll(outside)) / 8;
        if (((chunk >> (8 * point)) & 0xFF) == '.') {
            uint64_t beyond = ~uint64_t{0} << (8 * point) << 8;  // the bytes after the point
            uint64_t rest = outside & beyond;
            unsigned stop = rest ? static_cast<unsigned>(__builtin_ctzll(rest)) / 8 : 8;
            int next = stop < 8 ? static_cast<int>((chunk >> (8 * stop)) & 0xFF)
                                : static_cast<unsigned char>(q[8]);
            if (stop > 1 && isSpace(next)) {
                // Whole digits one byte up over the point, a zero digit ahead of them; then the
                // bytes from the end on shifted out.
                uint64_t merged = ((digitValues & ((uint64_t{1} << (8 * point)) - 1)) << 8) |
                                  (digitValues & beyond);
                uint64_t significand = digitsValue(merged << (8 * (8 - stop)));
                float result = static_cast<float>(significand) / kPowers[stop - point - 1];
                *value = negative ? -result : result;
                p = q + stop;
                return true;
            }
        }
    }
    size_t whole = leadingDigits(q, end);
    uint64_t significand = whole ? digitsAt(q, end, static_cast<unsigned>(whole)) : 0;
    q += whole;
    size_t fraction = 0;
    if (*q == '.') {
        fraction = leadingDigits(++q, end);
        if (fraction)
            significand = significand * kScales[fraction > 8 ? 8 : fraction] +
                          digitsAt(q, end, static_cast<unsigned>(fraction));
        q += fraction;
    }
    size_t digits = whole + fraction;
    if (digits == 0 || digits > 8 || !isSpace(static_cast<unsigned char>(*q)) ||
        significand >= (1u << 24))
        return false;
    float result = static_cast<float>(significand) / kPowers[fraction];
    *value = negative ? -result : result;
    p = q;
    return true;
}

}  // namespace zel
