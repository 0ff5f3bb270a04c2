#include "engine/trig.h"

#include <cmath>
#include <limits>

namespace engine {

namespace {

constexpr double kPi = 3.14159265358979311600e+00;
constexpr double kHalfPi = 1.57079632679489655800e+00;
constexpr double kTwoOverPi = 6.36619772367581382433e-01;
// pi/2 in three parts of 33 significant bits each: k * part is exact for
// every k below 2^20, so the argument is reduced without losing its low bits.
constexpr double kHalfPi1 = 1.57079632673412561417e+00;
constexpr double kHalfPi2 = 6.07710050630396597660e-11;
constexpr double kHalfPi3 = 2.02226624871116645580e-21;
constexpr double kReducibleTurns = 524288.0;  // 2^19 quarter turns

// Minimax polynomials for sin and cos on [-pi/4, pi/4].
constexpr double kS1 = -1.66666666666666324348e-01;
constexpr double kS2 = 8.33333333332248946124e-03;
constexpr double kS3 = -1.98412698298579493134e-04;
constexpr double kS4 = 2.75573137070700676789e-06;
constexpr double kS5 = -2.50507602534068634195e-08;
constexpr double kS6 = 1.58969099521155010221e-10;
constexpr double kC1 = 4.16666666666666019037e-02;
constexpr double kC2 = -1.38888888888741095749e-03;
constexpr double kC3 = 2.48015872894767294178e-05;
constexpr double kC4 = -2.75573143513906633035e-07;
constexpr double kC5 = 2.08757232129817482790e-09;
constexpr double kC6 = -1.13596475577881948265e-11;

double KernelSin(double r) {
  const double z = r * r;
  return r + r * z * (kS1 + z * (kS2 + z * (kS3 + z * (kS4 + z * (kS5 + z * kS6)))));
}

double KernelCos(double r) {
  const double z = r * r;
  return 1.0 - 0.5 * z + z * z * (kC1 + z * (kC2 + z * (kC3 + z * (kC4 + z * (kC5 + z * kC6)))));
}

// x = r + quadrant * pi/2 with r in about [-pi/4, pi/4]; quadrant in 0..3.
double Reduce(double x, int* quadrant) {
  double k = std::nearbyint(x * kTwoOverPi);
  if (std::fabs(k) >= kReducibleTurns) {
    // Far beyond any angle of the game: fold by whole turns first (exact
    // remainder of a slightly wrong turn, but the same everywhere).
    x = std::fmod(x, 4.0 * kHalfPi1);
    k = std::nearbyint(x * kTwoOverPi);
  }
  const double r = ((x - k * kHalfPi1) - k * kHalfPi2) - k * kHalfPi3;
  *quadrant = static_cast<int>(static_cast<long long>(k) & 3);
  return r;
}

// atan(t) for t in [0, tan(pi/16)]: the Taylor series, to where its terms
// fall below the last bit.
double AtanSmall(double t) {
  const double z = t * t;
  double sum = 0.0;
  for (int n = 12; n >= 1; --n) {
    const double term = (n % 2 == 0 ? 1.0 : -1.0) / (2.0 * n + 1.0);
    sum = z * (term + sum);
  }
  return t + t * sum;
}

// atan(a) for a in [0, 1]: halved twice, atan(a) = 2 atan(a / (1 + sqrt(1 + a^2))),
// so the series sees at most tan(pi/16).
double AtanUnit(double a) {
  for (int i = 0; i < 2; ++i) a = a / (1.0 + std::sqrt(1.0 + a * a));
  return 4.0 * AtanSmall(a);
}

}  // namespace

double Sin(double x) {
  if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
  int q = 0;
  const double r = Reduce(x, &q);
  switch (q) {
    case 0: return KernelSin(r);
    case 1: return KernelCos(r);
    case 2: return -KernelSin(r);
    default: return -KernelCos(r);
  }
}

double Cos(double x) {
  if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
  int q = 0;
  const double r = Reduce(x, &q);
  switch (q) {
    case 0: return KernelCos(r);
    case 1: return -KernelSin(r);
    case 2: return -KernelCos(r);
    default: return KernelSin(r);
  }
}

double Tan(double x) {
  if (!std::isfinite(x)) return std::numeric_limits<double>::quiet_NaN();
  int q = 0;
  const double r = Reduce(x, &q);
  return (q & 1) == 0 ? KernelSin(r) / KernelCos(r) : -KernelCos(r) / KernelSin(r);
}

double Atan(double x) {
  if (std::isnan(x)) return x;
  const double a = std::fabs(x);
  const double result = a <= 1.0 ? AtanUnit(a) : kHalfPi - AtanUnit(1.0 / a);
  return std::copysign(result, x);
}

double Atan2(double y, double x) {
  if (std::isnan(x) || std::isnan(y)) return std::numeric_limits<double>::quiet_NaN();
  const double ay = std::fabs(y);
  const double ax = std::fabs(x);
  double a;
  if (ay == 0.0) {
    a = std::signbit(x) ? kPi : 0.0;
    return std::copysign(a, y);
  }
  if (std::isinf(ax) && std::isinf(ay)) {
    a = kHalfPi / 2.0;
  } else if (ay <= ax) {
    a = AtanUnit(ay / ax);
  } else {
    a = kHalfPi - AtanUnit(ax / ay);
  }
  if (std::signbit(x)) a = kPi - a;
  return std::copysign(a, y);
}

double Asin(double x) {
  if (!(std::fabs(x) <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
  return Atan2(x, std::sqrt((1.0 - x) * (1.0 + x)));
}

double Acos(double x) {
  if (!(std::fabs(x) <= 1.0)) return std::numeric_limits<double>::quiet_NaN();
  return Atan2(std::sqrt((1.0 - x) * (1.0 + x)), x);
}

}  // namespace engine
