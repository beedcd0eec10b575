#pragma once

#include "Error.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <vector>

namespace murmelo {

// Audio files of the kinds a user or a damaged disk may hand the loader, good and bad: files that are
// no audio, WAVs whose headers lie, unusual sample formats, rates and channel counts, compressed
// formats and their damaged forms. Each holds a known signal, so that a test can tell what the loader
// should give; the fuzzer starts from the same files.
//
// The WAVs at 16 kHz mono are written byte by byte, not through libsndfile, so that what they hold is
// known to the sample: kTonePcm16 (or its 8-bit, 24-bit or float form). Every other fixture holds a
// tone of kToneHertz at amplitude kToneAmplitude on every channel.
class AudioFixtures {
public:
    static constexpr double kToneHertz = 440.0;
    static constexpr float kToneAmplitude = 0.5f;

    static QStringList names();

    // Writes fixture name to path; those that hold sound hold seconds of it.
    static Result<Success> write(const QString& name, const QString& path, double seconds);

    // The tone as the 16-bit samples of the byte-written WAVs.
    static std::vector<std::int16_t> tonePcm16(int frames);
    // A sample of the float WAV: off the 16-bit grid, so that a reader going through 16 bits shows.
    static float floatSample(std::int16_t pcm16) {
        return static_cast<float>(pcm16) / 32768.0f + 1.0f / 65536.0f;
    }
};

} // namespace murmelo
