#include "HalfFloat.h"

#include <bit>
#include <cmath>

namespace murmelo {

std::uint16_t HalfFloat::fromFloat(float value) {
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(value);
    const auto sign = static_cast<std::uint16_t>((bits >> 16) & 0x8000u);
    const std::uint32_t magnitude = bits & 0x7fffffffu;

    constexpr std::uint32_t infinityBits = 0x7f800000u;
    constexpr std::uint32_t firstOverflowingBits = 0x477ff000u; // 65520, halfway above the largest half
    constexpr std::uint32_t smallestNormalBits = 0x38800000u;   // 2^-14

    if (magnitude > infinityBits) {
        return sign | 0x7e00u;
    }
    if (magnitude >= firstOverflowingBits) {
        return sign | 0x7c00u;
    }
    if (magnitude < smallestNormalBits) {
        // Subnormal halves count in steps of 2^-24; the float product is exact, so the default
        // rounding mode (nearest, ties to even) rounds exactly once. A result of 0x400 is the
        // smallest normal half, which the bit pattern expresses correctly as well.
        const float steps = std::nearbyint(std::bit_cast<float>(magnitude) * 16777216.0f);
        return sign | static_cast<std::uint16_t>(steps);
    }

    const std::uint32_t exponent = (magnitude >> 23) - 127 + 15;
    const std::uint32_t mantissa = magnitude & 0x7fffffu;
    std::uint32_t half = (exponent << 10) | (mantissa >> 13);
    const std::uint32_t dropped = mantissa & 0x1fffu;
    if (dropped > 0x1000u || (dropped == 0x1000u && (half & 1u))) {
        ++half; // a carry out of the mantissa correctly bumps the exponent
    }
    return sign | static_cast<std::uint16_t>(half);
}

} // namespace murmelo
