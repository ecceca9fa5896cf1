// The transcendental functions the filters use. The output must be the same
// bits on every platform, and C libraries differ in the last bit of sin, cos
// and pow: where the system's library is not the reference one, a fixed
// implementation is linked in its place (built with the platform's
// dependencies), so every build computes the same values.
#pragma once

#include <cmath>

#ifdef TARNIX_PORTABLE_MATH
extern "C" double tarnix_sin(double);
extern "C" double tarnix_cos(double);
extern "C" double tarnix_pow(double, double);
#endif

namespace dsp {

inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;

#ifdef TARNIX_PORTABLE_MATH
inline double sin(double x) {
    return tarnix_sin(x);
}
inline double cos(double x) {
    return tarnix_cos(x);
}
inline double pow(double x, double y) {
    return tarnix_pow(x, y);
}
#else
inline double sin(double x) {
    return std::sin(x);
}
inline double cos(double x) {
    return std::cos(x);
}
inline double pow(double x, double y) {
    return std::pow(x, y);
}
#endif

}  // namespace dsp
