#pragma once

#include <cstdint>

namespace murmelo {

// IEEE 754 binary16, the storage type of the model's large matrices. Written by hand because the
// model writer must not depend on the inference library whose input it produces.
class HalfFloat {
public:
    // Rounds to nearest, ties to even; out-of-range values become infinities, NaN stays NaN.
    static std::uint16_t fromFloat(float value);
};

} // namespace murmelo
