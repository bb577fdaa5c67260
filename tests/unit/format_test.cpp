// The writer's number formatting against printf, the oracle, on chosen and random values.
#include "format.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

std::string printfFloat(float value) {
    char text[400];
    int n = std::snprintf(text, sizeof text, "%f", value);
    return std::string(text, static_cast<size_t>(n));
}

std::string printfDouble(double value) {
    char text[400];
    int n = std::snprintf(text, sizeof text, "%f", value);
    return std::string(text, static_cast<size_t>(n));
}

std::string printfInt(int32_t value) {
    char text[32];
    int n = std::snprintf(text, sizeof text, "%d", value);
    return std::string(text, static_cast<size_t>(n));
}

std::string fastFloat(float value) {
    char text[zel::kMaxFloatText + 16];
    std::memset(text, 'X', sizeof text);
    char* end = zel::formatFloat(text, value);
    EXPECT_LE(static_cast<size_t>(end - text), zel::kMaxFloatText);
    return std::string(text, end);
}

std::string fastDouble(double value) {
    char text[zel::kMaxDoubleText + 16];
    char* end = zel::formatDouble(text, value);
    EXPECT_LE(static_cast<size_t>(end - text), zel::kMaxDoubleText);
    return std::string(text, end);
}

std::string fastInt(int32_t value) {
    char text[zel::kMaxIntText + 16];
    char* end = zel::formatInt(text, value);
    EXPECT_LE(static_cast<size_t>(end - text), zel::kMaxIntText);
    return std::string(text, end);
}

float floatFromBits(uint32_t bits) {
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

double doubleFromBits(uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Counts mismatches so that a broken formatter reports a few examples, not a million lines.
struct Mismatches {
    int count = 0;
    void check(const std::string& expected, const std::string& actual, const char* what) {
        if (expected == actual) return;
        if (++count <= 10)
            ADD_FAILURE() << what << ": printf gives " << expected << ", got " << actual;
    }
};

struct FloatCase {
    float value;
    const char* text;
};

TEST(FormatFloat, WritesKnownValuesExactly) {
    const FloatCase cases[] = {
        {0.0f, "0.000000"},
        {-0.0f, "-0.000000"},
        {1.0f, "1.000000"},
        {-0.25f, "-0.250000"},
        {0.8f, "0.800000"},
        {0.2f, "0.200000"},
        {65.0f, "65.000000"},
        {1e-7f, "0.000000"},
        {-1e-7f, "-0.000000"},
        {0.0000005f, "0.000000"},  // the float is slightly below 5e-7
        {0.00000051f, "0.000001"},
        {0.0078125f, "0.007812"},  // exact tie 7812.5 goes to even
        {0.0234375f, "0.023438"},  // exact tie 23437.5 goes to even (up)
        {0.9999995f, "1.000000"},  // the float is just above the tie
        {0.9999994f, "0.999999"},
        {0.99999994f, "1.000000"},  // carries into the integer part
        {16777216.0f, "16777216.000000"},
        {3e38f, "300000000549775575777803994281145270272.000000"},
        {FLT_MAX, "340282346638528859811704183484516925440.000000"},
        {INFINITY, "inf"},
        {-INFINITY, "-inf"},
    };
    for (const FloatCase& c : cases) {
        EXPECT_EQ(fastFloat(c.value), c.text) << "value " << c.value;
        EXPECT_EQ(printfFloat(c.value), c.text) << "the oracle disagrees on " << c.value;
    }
}

TEST(FormatFloat, WritesNanWithItsSignAsGlibcDoes) {
    float nan = std::nanf("");
    EXPECT_EQ(fastFloat(nan), printfFloat(nan));
    EXPECT_EQ(fastFloat(-nan), printfFloat(-nan));
    EXPECT_EQ(fastFloat(floatFromBits(0x7f800001u)), printfFloat(floatFromBits(0x7f800001u)));
    EXPECT_EQ(fastFloat(floatFromBits(0xffc00000u)), "-nan");
    EXPECT_EQ(fastFloat(floatFromBits(0x7fc00000u)), "nan");
}

TEST(FormatFloat, MatchesPrintfOnRandomBitPatterns) {
    std::mt19937 random(12345);
    Mismatches mismatches;
    for (int i = 0; i < 400000; i++) {
        float value = floatFromBits(static_cast<uint32_t>(random()));
        mismatches.check(printfFloat(value), fastFloat(value), "random bits");
    }
    EXPECT_EQ(mismatches.count, 0);
}

TEST(FormatFloat, MatchesPrintfOnRandomCoordinates) {
    std::mt19937 random(777);
    std::uniform_real_distribution<float> coordinate(-1000.0f, 1000.0f);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    Mismatches mismatches;
    for (int i = 0; i < 200000; i++) {
        float a = coordinate(random), b = unit(random);
        mismatches.check(printfFloat(a), fastFloat(a), "coordinate");
        mismatches.check(printfFloat(b), fastFloat(b), "unit");
    }
    EXPECT_EQ(mismatches.count, 0);
}

TEST(FormatFloat, MatchesPrintfAroundEveryRoundingBoundaryOfSmallValues) {
    // The floats nearest to (k + 0.5) millionths and their neighbours, where the sixth decimal
    // changes.
    Mismatches mismatches;
    for (int k = 0; k < 2000000; k += (k < 20000 ? 1 : 37)) {
        float near = static_cast<float>((k + 0.5) / 1e6);
        float below = std::nextafter(near, 0.0f), above = std::nextafter(near, 1e9f);
        for (float value : {near, below, above, -near, -below, -above})
            mismatches.check(printfFloat(value), fastFloat(value), "near a boundary");
    }
    EXPECT_EQ(mismatches.count, 0);
}

TEST(FormatFloat, MatchesPrintfOnExactTies) {
    // odd * 2^-7 lies exactly halfway between two millionths.
    Mismatches mismatches;
    for (int odd = 1; odd < 2000001; odd += 2) {
        float value = std::ldexp(static_cast<float>(odd), -7);
        mismatches.check(printfFloat(value), fastFloat(value), "tie");
        mismatches.check(printfFloat(-value), fastFloat(-value), "negative tie");
    }
    EXPECT_EQ(mismatches.count, 0);
}

TEST(FormatFloat, MatchesPrintfOnEveryExponent) {
    Mismatches mismatches;
    for (uint32_t exponent = 0; exponent < 256; exponent++) {
        for (uint32_t mantissa : {0u, 1u, 2u, 0x400000u, 0x7ffffeu, 0x7fffffu, 0x123457u}) {
            float value = floatFromBits(exponent << 23 | mantissa);
            mismatches.check(printfFloat(value), fastFloat(value), "exponent sweep");
            mismatches.check(printfFloat(-value), fastFloat(-value), "negative exponent sweep");
        }
    }
    EXPECT_EQ(mismatches.count, 0);
}

TEST(FormatDouble, MatchesPrintfOnChosenValues) {
    const double values[] = {
        0.0,      -0.0,     1.0,       500.0,       1000.0,  65.0 / 128.0 * 1000.0,
        8.32,     1e-7,     5e-7,      0.0078125,   1.5e-6,  123456789.123456789,
        1e20,     1.7e38,   1e300,     -1e300,      DBL_MAX, DBL_MIN,
        4.9e-324, HUGE_VAL, -HUGE_VAL, std::nan("")};
    for (double value : values) EXPECT_EQ(fastDouble(value), printfDouble(value)) << value;
}

TEST(FormatDouble, MatchesPrintfOnRandomBitPatternsAndTies) {
    std::mt19937_64 random(99);
    Mismatches mismatches;
    for (int i = 0; i < 100000; i++) {
        double value = doubleFromBits(random());
        mismatches.check(printfDouble(value), fastDouble(value), "random bits");
    }
    std::uniform_real_distribution<double> moderate(-1e6, 1e6);
    for (int i = 0; i < 100000; i++) {
        double value = moderate(random);
        mismatches.check(printfDouble(value), fastDouble(value), "moderate");
    }
    for (long odd = 1; odd < 400001; odd += 2) {
        double value = std::ldexp(static_cast<double>(odd), -7);
        mismatches.check(printfDouble(value), fastDouble(value), "tie");
    }
    EXPECT_EQ(mismatches.count, 0);
}

TEST(FormatInt, MatchesPrintfOnEdgesAndRandomValues) {
    Mismatches mismatches;
    int32_t edges[] = {0,       1,       -1,          9,          10,        99,         100,
                       INT_MAX, INT_MIN, INT_MIN + 1, 1000000000, 999999999, -1000000000};
    for (int32_t value : edges) mismatches.check(printfInt(value), fastInt(value), "edge");
    for (int64_t power = 1; power <= 1000000000; power *= 10) {
        for (int64_t value : {power - 1, power, power + 1, -power}) {
            int32_t v = static_cast<int32_t>(value);
            mismatches.check(printfInt(v), fastInt(v), "power of ten");
        }
    }
    std::mt19937 random(4242);
    for (int i = 0; i < 200000; i++) {
        int32_t value = static_cast<int32_t>(random());
        int32_t small = static_cast<int32_t>(random() % 2000000);
        mismatches.check(printfInt(value), fastInt(value), "random");
        mismatches.check(printfInt(small), fastInt(small), "small");
    }
    EXPECT_EQ(mismatches.count, 0);
    EXPECT_EQ(fastInt(INT_MIN), "-2147483648");
}

}  // namespace
