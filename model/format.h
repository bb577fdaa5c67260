// Fast number formatting for the OBJ/MTL writer. Each function writes exactly the characters
// printf would write for the same value, without a terminating NUL, and returns the position after
// the last character.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {

// Room that formatFloat may need: a sign, 39 integer digits, the point and 6 decimals.
constexpr size_t kMaxFloatText = 48;
// Room that formatDouble may need (the largest double has 309 integer digits).
constexpr size_t kMaxDoubleText = 320;
// Room that formatInt may need: a sign and 10 digits.
constexpr size_t kMaxIntText = 11;

// printf("%f", (double)value): fixed notation, six decimals, rounded to nearest (ties to even) on
// the exact binary value; "inf", "-inf", "nan" and "-nan" as glibc prints them.
char* formatFloat(char* out, float value);

// printf("%f", value), as formatFloat.
char* formatDouble(char* out, double value);

// printf("%d", value).
char* formatInt(char* out, int32_t value);

}  // namespace zel
