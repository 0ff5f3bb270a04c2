// The game's own sine, cosine, tangent and their inverses.
//
// Contract (every system; nothing here is system-specific): the results are
// the same bits on every system and with every C library, since they are
// computed by our own code from additions, multiplications, divisions and
// square roots, which IEEE 754 fixes to the last bit. The C libraries do
// not agree: glibc's sinf, cosf, tanf and acosf round about one result in a
// thousand differently from mingw's, and a journal replayed on the other
// system then drifts apart. Accuracy: the double versions are within a few
// units in the last place; the float versions are those rounded to float,
// which is the correctly rounded result but in the rarest of cases.
// Arguments beyond about half a million radians lose accuracy (the game's
// angles stay within a few turns); NaN gives NaN, infinities follow the C
// library's rules for atan2, and sin, cos and tan of an infinity are NaN.
#pragma once

namespace engine {

double Sin(double x);
double Cos(double x);
double Tan(double x);
double Asin(double x);
double Acos(double x);
double Atan(double x);
double Atan2(double y, double x);

inline float Sin(float x) { return static_cast<float>(Sin(static_cast<double>(x))); }
inline float Cos(float x) { return static_cast<float>(Cos(static_cast<double>(x))); }
inline float Tan(float x) { return static_cast<float>(Tan(static_cast<double>(x))); }
inline float Asin(float x) { return static_cast<float>(Asin(static_cast<double>(x))); }
inline float Acos(float x) { return static_cast<float>(Acos(static_cast<double>(x))); }
inline float Atan(float x) { return static_cast<float>(Atan(static_cast<double>(x))); }
inline float Atan2(float y, float x) {
  return static_cast<float>(Atan2(static_cast<double>(y), static_cast<double>(x)));
}

}  // namespace engine
