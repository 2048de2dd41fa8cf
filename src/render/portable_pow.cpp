#include "render/portable_pow.h"

#include <array>
#include <cmath>
#include <limits>

namespace velmora {
namespace {

// A value hi + lo with |lo| <= half an ulp of hi. The error-free
// transformations below need round-to-nearest doubles without fused
// multiply-add (the build passes -ffp-contract=off and SSE2 arithmetic).
struct Dd {
  double hi;
  double lo;
};

Dd two_sum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

Dd quick_two_sum(double a, double b) {
  const double s = a + b;
  return {s, b - (s - a)};
}

// Veltkamp split into two 26-bit halves; the values here stay far from overflow.
void split(double a, double& hi, double& lo) {
  const double t = 134217729.0 * a;
  hi = t - (t - a);
  lo = a - hi;
}

Dd two_prod(double a, double b) {
  const double p = a * b;
  double ah, al, bh, bl;
  split(a, ah, al);
  split(b, bh, bl);
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

Dd add(Dd a, Dd b) {
  Dd s = two_sum(a.hi, b.hi);
  const Dd t = two_sum(a.lo, b.lo);
  s.lo += t.hi;
  s = quick_two_sum(s.hi, s.lo);
  s.lo += t.lo;
  return quick_two_sum(s.hi, s.lo);
}

Dd mul(Dd a, Dd b) {
  Dd p = two_prod(a.hi, b.hi);
  p.lo += a.hi * b.lo + a.lo * b.hi;
  return quick_two_sum(p.hi, p.lo);
}

Dd mul(Dd a, double b) {
  Dd p = two_prod(a.hi, b);
  p.lo += a.lo * b;
  return quick_two_sum(p.hi, p.lo);
}

// Long division with two correction steps.
Dd div(Dd a, Dd b) {
  const double q1 = a.hi / b.hi;
  Dd r = add(a, mul(b, -q1));
  const double q2 = r.hi / b.hi;
  r = add(r, mul(b, -q2));
  const double q3 = r.hi / b.hi;
  return add(quick_two_sum(q1, q2), Dd{q3, 0.0});
}

Dd scale(Dd a, int exponent) { return {std::ldexp(a.hi, exponent), std::ldexp(a.lo, exponent)}; }

// ln 2 to about 107 bits.
constexpr Dd kLn2{0.6931471805599453094, 2.319046813846299558e-17};

// ln(x) for finite x > 0. x = m * 2^e with m in [sqrt(1/2), sqrt(2)), and
// ln(m) = 2 atanh(s) with s = (m - 1) / (m + 1), |s| < 0.1716, whose odd
// series gains about 1.5 decimal digits per term.
Dd log_dd(double x) {
  int e = 0;
  double m = std::frexp(x, &e);
  if (m < 0.70710678118654752440) {
    m *= 2.0;
    e -= 1;
  }
  const Dd s = div(Dd{m - 1.0, 0.0}, two_sum(m, 1.0));
  const Dd s2 = mul(s, s);
  constexpr int kTerms = 26;
  // The coefficients 1 / (2k + 1), computed once by the same division.
  static const std::array<Dd, kTerms + 1> kInverseOdd = [] {
    std::array<Dd, kTerms + 1> inverse{};
    for (int k = 0; k <= kTerms; ++k) inverse[k] = div(Dd{1.0, 0.0}, Dd{2.0 * k + 1.0, 0.0});
    return inverse;
  }();
  Dd series = kInverseOdd[kTerms];
  for (int k = kTerms - 1; k >= 0; --k) series = add(mul(series, s2), kInverseOdd[k]);
  const Dd log_m = scale(mul(s, series), 1);
  return add(mul(kLn2, static_cast<double>(e)), log_m);
}

// exp(t) as a double, rounded to nearest from the double-double value.
// t = k ln2 + r with |r| <= ln2 / 2; exp(r) comes from the Taylor series of
// expm1(r / 1024) squared up ten times, which keeps the relative precision.
double exp_dd(Dd t) {
  if (t.hi > 710.0) return std::numeric_limits<double>::infinity();
  if (t.hi < -746.0) return 0.0;
  const double k = std::nearbyint(t.hi / kLn2.hi);
  const Dd r = scale(add(t, mul(kLn2, -k)), -10);
  Dd term = r;
  Dd expm1 = r;
  for (int n = 2; n <= 12; ++n) {
    term = div(mul(term, r), Dd{static_cast<double>(n), 0.0});
    expm1 = add(expm1, term);
  }
  for (int i = 0; i < 10; ++i) {
    // (1 + u)^2 - 1 = 2u + u^2
    expm1 = add(scale(expm1, 1), mul(expm1, expm1));
  }
  const Dd result = add(Dd{1.0, 0.0}, expm1);
  // Both parts are scaled before the final rounding; only results in the
  // subnormal range may then round twice, far below anything a render uses.
  return std::ldexp(result.hi, static_cast<int>(k)) + std::ldexp(result.lo, static_cast<int>(k));
}

}  // namespace

double portable_pow(double base, double exponent) {
  if (std::isnan(base) || std::isnan(exponent) || base < 0.0 || std::isinf(base) || std::isinf(exponent)) {
    return std::numeric_limits<double>::quiet_NaN();
  }
  if (exponent == 0.0 || base == 1.0) return 1.0;
  if (exponent == 1.0) return base;
  if (base == 0.0) return exponent > 0.0 ? 0.0 : std::numeric_limits<double>::infinity();
  return exp_dd(mul(log_dd(base), exponent));
}

}  // namespace velmora
