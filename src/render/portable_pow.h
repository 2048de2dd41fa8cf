#pragma once
// A power function that gives the same bits on every platform.
//
// Renders must be byte-identical between glibc and msvcrt builds, and the C
// libraries' pow() differ in the last bit. This one is built from + - * /
// only (double-double logarithm and exponential, about 100 bits of working
// precision) and rounds its result to the nearest double, so it agrees with
// a correctly rounded pow() except where the exact result lies within about
// 1e-28 relative of a rounding midpoint. The render tests check it bit for
// bit against a correctly rounded reference over every base and exponent the
// styles use.

namespace velmora {

// base ^ exponent for base >= 0 and finite exponent. pow(0, e) is 0 for
// e > 0, pow(b, 0) is 1, pow(1, e) is 1 and pow(b, 1) is b. Negative or
// non-finite bases and non-finite exponents give NaN.
double portable_pow(double base, double exponent);

}  // namespace velmora
