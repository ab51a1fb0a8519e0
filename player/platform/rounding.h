// Fractions become integers by one rule everywhere: to the nearest, halves
// to the even neighbour, clamped to the int32 range.
#pragma once

#include <cmath>
#include <cstdint>

namespace sonfara::platform {

inline int32_t RoundHalfEven(double v) {
    // nearbyint follows the default rounding mode: to nearest, ties to even.
    const double r = std::nearbyint(v);
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

}  // namespace sonfara::platform
