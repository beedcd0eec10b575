#pragma once

#include <vector>

namespace murmelo {

// The triangular mel filters whisper's front end multiplies power spectra with: Slaney's mel scale
// (linear below 1 kHz, logarithmic above) and area normalisation, as librosa computes them by default
// and as whisper's own filters were made.
class MelFilterbank {
public:
    static constexpr int kSampleRate = 16000;
    static constexpr int kFftSize = 400;
    static constexpr int kFrequencyBins = kFftSize / 2 + 1;

    // Row-major, bands x frequency bins: the layout the model file stores.
    static std::vector<float> compute(int bands);

    static double hertzToMel(double hertz);
    static double melToHertz(double mel);
};

} // namespace murmelo
