// float_format.hpp - fixed-point text of a float with six decimals, without
// stdio.
//
// The console report prints 3 x 16384 values per simulated frame, and going
// through printf for each of them dominated the frame time. format_fixed6
// writes the same bytes as printf("%f", (double)value) does with the C
// library in its default state (round to nearest, C locale), from integer
// arithmetic alone: no heap, no locale, no floating-point environment.
#pragma once

namespace fluid {

/// Longest text format_fixed6 writes: a sign, the 39 integer digits of
/// -FLT_MAX, the point and six decimals.
inline constexpr int FIXED6_MAX_CHARS = 47;

/// Writes `value` as printf("%f") prints it widened to double: the exact
/// binary value rounded to six decimals, ties to even; "-" for every value
/// with the sign bit set (so "-0.000000" for -0.0 and negatives that round to
/// zero); "inf", "-inf", "nan" and "-nan". Writes at most FIXED6_MAX_CHARS
/// bytes, no terminating NUL, and returns the end of what was written.
char* format_fixed6(char* out, float value);

}  // namespace fluid
