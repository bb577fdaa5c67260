// Number formatting for the writer, byte for byte what printf gives for "%f" and "%d".
//
// A float or double is m * 2^e with an integer m, so its exact decimal expansion follows from
// integer arithmetic: the integer part is m shifted right, and the six decimals are the remaining
// fraction times 10^6, shifted right and rounded to nearest with ties to even on the bits shifted
// out, which is how glibc rounds. Values too large for 128 bits (doubles only) go to snprintf.
#include "format.h"

#include <cstdio>
#include <cstring>

namespace zel {
namespace {

using u128 = unsigned __int128;

const char kDigitPairs[201] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

int digitCount(uint64_t value) {
    int count = 1;
    for (;;) {
        if (value < 10) return count;
        if (value < 100) return count + 1;
        if (value < 1000) return count + 2;
        if (value < 10000) return count + 3;
        value /= 10000;
        count += 4;
    }
}

// Writes exactly `count` digits of `value` (zero-padded on the left) ending at out + count.
void writeDigits(char* out, uint64_t value, int count) {
    char* p = out + count;
    while (count >= 2) {
        const char* pair = kDigitPairs + 2 * (value % 100);
        value /= 100;
        *--p = pair[1];
        *--p = pair[0];
        count -= 2;
    }
    if (count) *--p = static_cast<char>('0' + value % 10);
}

char* writeU64(char* out, uint64_t value) {
    int count = digitCount(value);
    writeDigits(out, value, count);
    return out + count;
}

char* writeU128(char* out, u128 value) {
    if (value >> 64 == 0) return writeU64(out, static_cast<uint64_t>(value));
    const uint64_t kChunk = 10000000000000000000ull;  // 10^19
    uint64_t low = static_cast<uint64_t>(value % kChunk);
    out = writeU128(out, value / kChunk);
    writeDigits(out, low, 19);
    return out + 19;
}

// The eight decimal digits of value < 10^8 as ASCII bytes, the most significant first in memory,
// computed on all digits at once: split into two 4-digit lanes, each into two 2-digit lanes, each
// into two digits, dividing with multiplications that are exact in these ranges.
uint64_t eightDigits(uint32_t value) {
    uint64_t lanes = (value / 10000) | (uint64_t(value % 10000) << 32);
    uint64_t hundreds = ((lanes * 10486) >> 20) & 0x0000007f0000007full;
    lanes = hundreds | ((lanes - hundreds * 100) << 16);
    uint64_t tens = ((lanes * 103) >> 10) & 0x000f000f000f000full;
    lanes = tens | ((lanes - tens * 10) << 8);
    return lanes + 0x3030303030303030ull;
}

int smallDigitCount(uint32_t value) {  // value < 10^8, without branches
    return 1 + (value >= 10) + (value >= 100) + (value >= 1000) + (value >= 10000) +
           (value >= 100000) + (value >= 1000000) + (value >= 10000000);
}

// Writes value < 10^8 without leading zeros. Stores 8 bytes; the ones past the digits are scratch.
char* writeSmall(char* out, uint32_t value) {
    int count = smallDigitCount(value);
    uint64_t digits = eightDigits(value) >> (8 * (8 - count));
    std::memcpy(out, &digits, 8);
    return out + count;
}

// Writes the point and six decimals. Stores 8 bytes after the point.
char* writeFraction(char* out, uint32_t sixDigits) {
    *out++ = '.';
    uint64_t digits = eightDigits(sixDigits) >> 16;
    std::memcpy(out, &digits, 8);
    return out + 6;
}

char* writeSpecial(char* out, bool negative, bool isNan) {
    if (negative) *out++ = '-';
    std::memcpy(out, isNan ? "nan" : "inf", 3);
    return out + 3;
}

// Whether q + r / 2^k (0 < k, r < 2^k) rounds up to q + 1: to nearest, ties to even. Written
// without branches: the outcome is as good as random for real data.
template <class T>
T roundsUp(T q, T r, int k) {
    T half = T(1) << (k - 1);
    return static_cast<T>((r > half) | ((r == half) & static_cast<bool>(q & 1)));
}

}  // namespace

char* formatFloat(char* out, float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 31;
    const uint32_t exponentBits = (bits >> 23) & 0xff;
    uint32_t mantissa = bits & 0x7fffff;
    if (exponentBits == 0xff) return writeSpecial(out, negative, mantissa != 0);
    *out = '-';  // kept only when negative: signs of real data are as good as random
    out += negative;
    int exponent;
    if (exponentBits == 0) {
        exponent = -149;
    } else {
        mantissa |= 0x800000;
        exponent = static_cast<int>(exponentBits) - 150;
    }
    if (exponent >= 0) {  // an integer, below 2^128
        out = writeU128(out, static_cast<u128>(mantissa) << exponent);
        std::memcpy(out, ".000000", 7);
        return out + 7;
    }
    const int k = -exponent;  // value = mantissa / 2^k
    uint32_t integer = k < 24 ? mantissa >> k : 0;
    uint64_t fraction = k < 24 ? mantissa & ((1u << k) - 1) : mantissa;
    uint64_t scaled = fraction * 1000000u;  // below 2^44
    uint64_t decimals = 0;
    if (k <= 44) {  // otherwise scaled < 2^(k-1): below half a millionth
        decimals = scaled >> k;
        decimals += roundsUp<uint64_t>(decimals, scaled & ((uint64_t(1) << k) - 1), k);
        if (decimals == 1000000) {
            decimals = 0;
            integer++;
        }
    }
    out = writeSmall(out, integer);  // below 2^24
    return writeFraction(out, static_cast<uint32_t>(decimals));
}

char* formatDouble(char* out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    const bool negative = bits >> 63;
    const uint32_t exponentBits = static_cast<uint32_t>(bits >> 52) & 0x7ff;
    uint64_t mantissa = bits & 0xfffffffffffffull;
    if (exponentBits == 0x7ff) return writeSpecial(out, negative, mantissa != 0);
    int exponent;
    if (exponentBits == 0) {
        exponent = -1074;
    } else {
        mantissa |= 0x10000000000000ull;
        exponent = static_cast<int>(exponentBits) - 1075;
    }
    if (exponent > 74) {  // at least 2^127: rare enough for the C library
        int n = std::snprintf(out, kMaxDoubleText, "%f", value);
        return out + n;
    }
    if (negative) *out++ = '-';
    if (exponent >= 0) {
        out = writeU128(out, static_cast<u128>(mantissa) << exponent);
        std::memcpy(out, ".000000", 7);
        return out + 7;
    }
    const int k = -exponent;
    uint64_t integer = k < 53 ? mantissa >> k : 0;
    u128 fraction = k < 53 ? mantissa & ((uint64_t(1) << k) - 1) : mantissa;
    u128 scaled = fraction * 1000000u;  // below 2^73
    u128 decimals = 0;
    if (k <= 73) {
        decimals = scaled >> k;
        decimals += roundsUp<u128>(decimals, scaled & ((u128(1) << k) - 1), k);
        if (decimals == 1000000) {
            decimals = 0;
            integer++;
        }
    }
    out = writeU64(out, integer);
    return writeFraction(out, static_cast<uint32_t>(decimals));
}

char* formatInt(char* out, int32_t value) {
    uint32_t magnitude = static_cast<uint32_t>(value);
    if (value < 0) {
        *out++ = '-';
        magnitude = 0u - magnitude;
    }
    if (magnitude >= 100000000) {
        uint32_t high = magnitude / 100000000;  // 1 to 42
        out = writeU64(out, high);
        magnitude -= high * 100000000;
        uint64_t digits = eightDigits(magnitude);
        std::memcpy(out, &digits, 8);
        return out + 8;
    }
    return writeSmall(out, magnitude);
}

}  // namespace zel
