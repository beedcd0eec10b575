#pragma once

#include "Error.h"

#include <QString>
#include <cstddef>
#include <limits>
#include <vector>

namespace murmelo {

// Reads any audio file that libsndfile understands (WAV, FLAC, Ogg, MP3, AIFF, ...) and converts it
// to mono 32-bit float samples at one sample rate, full scale ±1.0. Channels are averaged, then the
// signal is resampled once (soxr, high quality), so the result holds
// frames × targetRate / sourceRate samples. Safe to call from any thread; keeps no state.
class AudioFileReader {
public:
    // Failures of opening and reading come with domain libsndfileDomain, libsndfile's error number
    // and its own message; the failures below are the reader's own, in domain errorDomain.
    static inline const QString libsndfileDomain = QStringLiteral("libsndfile");
    static inline const QString errorDomain = QStringLiteral("AudioFileReader");
    enum ErrorCode {
        ResamplerUnavailable = 1,
        // Not enough memory for the samples, or more of them than maxFrames.
        BufferUnavailable = 2,
        ResamplingFailed = 3,
    };

    // Consumers hand sample counts around as int (whisper.cpp among them), so a longer result is
    // refused rather than truncated.
    static constexpr std::size_t maxFrames = static_cast<std::size_t>(std::numeric_limits<int>::max());

    static Result<std::vector<float>> readMono(const QString& path, int targetRate);
};

} // namespace murmelo
