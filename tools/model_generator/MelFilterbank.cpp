#include "MelFilterbank.h"

#include <algorithm>
#include <cmath>

namespace murmelo {

namespace {

constexpr double kLinearHertzPerMel = 200.0 / 3.0;
constexpr double kLogRegionStartHertz = 1000.0;
constexpr double kLogRegionStartMel = kLogRegionStartHertz / kLinearHertzPerMel;

double logStep() {
    return std::log(6.4) / 27.0;
}

} // namespace

double MelFilterbank::hertzToMel(double hertz) {
    if (hertz < kLogRegionStartHertz) {
        return hertz / kLinearHertzPerMel;
    }
    return kLogRegionStartMel + std::log(hertz / kLogRegionStartHertz) / logStep();
}

double MelFilterbank::melToHertz(double mel) {
    if (mel < kLogRegionStartMel) {
        return mel * kLinearHertzPerMel;
    }
    return kLogRegionStartHertz * std::exp(logStep() * (mel - kLogRegionStartMel));
}

std::vector<float> MelFilterbank::compute(int bands) {
    const double nyquist = kSampleRate / 2.0;
    const double highestMel = hertzToMel(nyquist);

    // bands + 2 edges: band i rises from edge i to its peak at edge i + 1 and falls to edge i + 2.
    std::vector<double> edges(static_cast<size_t>(bands) + 2);
    for (size_t i = 0; i < edges.size(); ++i) {
        edges[i] = melToHertz(highestMel * static_cast<double>(i) / static_cast<double>(bands + 1));
    }

    std::vector<float> weights(static_cast<size_t>(bands) * kFrequencyBins, 0.0f);
    for (int band = 0; band < bands; ++band) {
        const double lower = edges[band];
        const double centre = edges[band + 1];
        const double upper = edges[band + 2];
        const double areaNormalisation = 2.0 / (upper - lower);
        for (int bin = 0; bin < kFrequencyBins; ++bin) {
            const double frequency = nyquist * bin / (kFrequencyBins - 1);
            const double rising = (frequency - lower) / (centre - lower);
            const double falling = (upper - frequency) / (upper - centre);
            const double weight = std::max(0.0, std::min(rising, falling));
            weights[static_cast<size_t>(band) * kFrequencyBins + bin] =
                static_cast<float>(weight * areaNormalisation);
        }
    }
    return weights;
}

} // namespace murmelo
