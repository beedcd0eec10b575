#pragma once

#include "Error.h"

#include <QString>
#include <sndfile.h>
#include <vector>

namespace murmelo {

// Audio as a test sees it: interleaved float samples in [-1, 1].
struct AudioClip {
    std::vector<float> samples;
    int sampleRate = 0;
    int channels = 0;
    // What the file's header claimed; for MP3 only an estimate of what reading yields.
    qint64 statedFrames = 0;

    qint64 frames() const { return channels > 0 ? qint64(samples.size()) / channels : 0; }
    std::vector<float> channel(int index) const;
    // The average of all channels.
    std::vector<float> mono() const;
};

// Making, writing, reading and measuring audio files in tests, on libsndfile: independent of the
// application's own reading and conversion, which tests check against it.
class TestAudio {
public:
    static constexpr int kDefaultFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_16;

    // The same tone on every channel, interleaved.
    static std::vector<float> sineTone(double hertz, double seconds, int sampleRate, int channels = 1,
                                       float amplitude = 0.5f);

    // format: a libsndfile major format with a subtype, e.g. SF_FORMAT_FLAC | SF_FORMAT_PCM_16 or
    // SF_FORMAT_OGG | SF_FORMAT_VORBIS. Samples beyond [-1, 1] are clipped, not wrapped.
    static Result<Success> write(const QString& path, const std::vector<float>& interleaved, int sampleRate,
                                 int channels, int format = kDefaultFormat);
    static Result<Success> write(const QString& path, const AudioClip& clip, int format = kDefaultFormat);

    // Reads every frame there is, however many the header claims.
    static Result<AudioClip> read(const QString& path);

    // The frequency with the most energy over the whole signal (mono), within half a hertz for a
    // steady tone of a second or more at common rates; 0 for silence.
    static double dominantFrequency(const std::vector<float>& samples, int sampleRate);
    static double rms(const std::vector<float>& samples);
};

} // namespace murmelo
