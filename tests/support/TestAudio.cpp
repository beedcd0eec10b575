#include "TestAudio.h"

#include <QFile>
#include <cmath>
#include <complex>
#include <memory>
#include <numbers>

namespace murmelo {

namespace {

struct SoundFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SoundFile = std::unique_ptr<SNDFILE, SoundFileCloser>;

Error failure(int code, const QString& description) {
    return Error{QStringLiteral("TestAudio"), code, description};
}

QString libraryMessage(SNDFILE* file) {
    return QString::fromUtf8(sf_strerror(file));
}

// In place, iterative radix 2; size must be a power of two.
void fourierTransform(std::vector<std::complex<double>>& values) {
    const size_t size = values.size();
    for (size_t i = 1, j = 0; i < size; ++i) {
        size_t bit = size >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(values[i], values[j]);
        }
    }
    for (size_t length = 2; length <= size; length <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(length);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (size_t start = 0; start < size; start += length) {
            std::complex<double> twiddle(1.0, 0.0);
            for (size_t k = 0; k < length / 2; ++k) {
                const std::complex<double> even = values[start + k];
                const std::complex<double> odd = values[start + k + length / 2] * twiddle;
                values[start + k] = even + odd;
                values[start + k + length / 2] = even - odd;
                twiddle *= step;
            }
        }
    }
}

} // namespace

std::vector<float> AudioClip::channel(int index) const {
    std::vector<float> result;
    if (index < 0 || index >= channels) {
        return result;
    }
    result.reserve(static_cast<size_t>(frames()));
    for (size_t sample = static_cast<size_t>(index); sample < samples.size(); sample += channels) {
        result.push_back(samples[sample]);
    }
    return result;
}

std::vector<float> AudioClip::mono() const {
    std::vector<float> result(static_cast<size_t>(frames()), 0.0f);
    for (size_t frame = 0; frame < result.size(); ++frame) {
        float sum = 0.0f;
        for (int channel = 0; channel < channels; ++channel) {
            sum += samples[frame * channels + channel];
        }
        result[frame] = sum / static_cast<float>(channels);
    }
    return result;
}

std::vector<float> TestAudio::sineTone(double hertz, double seconds, int sampleRate, int channels,
                                       float amplitude) {
    const auto frames = static_cast<size_t>(std::llround(seconds * sampleRate));
    std::vector<float> samples(frames * static_cast<size_t>(channels));
    for (size_t frame = 0; frame < frames; ++frame) {
        const double phase = 2.0 * std::numbers::pi * hertz * static_cast<double>(frame) / sampleRate;
        const float value = amplitude * static_cast<float>(std::sin(phase));
        for (int channel = 0; channel < channels; ++channel) {
            samples[frame * channels + channel] = value;
        }
    }
    return samples;
}

Result<Success> TestAudio::write(const QString& path, const std::vector<float>& interleaved, int sampleRate,
                                 int channels, int format) {
    if (channels <= 0 || interleaved.size() % static_cast<size_t>(channels) != 0) {
        return failure(1, QStringLiteral("%1 samples do not make whole frames of %2 channels")
                              .arg(interleaved.size())
                              .arg(channels));
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = format;
    if (!sf_format_check(&info)) {
        return failure(1, QStringLiteral("libsndfile cannot write format 0x%1 at %2 Hz with %3 channels")
                              .arg(format, 0, 16)
                              .arg(sampleRate)
                              .arg(channels));
    }
    SoundFile file(sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info));
    if (!file) {
        return failure(2, libraryMessage(nullptr));
    }
    sf_command(file.get(), SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(interleaved.size()) / channels;
    if (sf_writef_float(file.get(), interleaved.data(), frames) != frames) {
        return failure(2, libraryMessage(file.get()));
    }
    // Closing flushes encoders and finishes the header; its failure is a failed write.
    if (const int status = sf_close(file.release()); status != 0) {
        return failure(2, QString::fromUtf8(sf_error_number(status)));
    }
    return Success{};
}

Result<Success> TestAudio::write(const QString& path, const AudioClip& clip, int format) {
    return write(path, clip.samples, clip.sampleRate, clip.channels, format);
}

Result<AudioClip> TestAudio::read(const QString& path) {
    SF_INFO info{};
    SoundFile file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file) {
        return failure(3, libraryMessage(nullptr));
    }
    AudioClip clip;
    clip.sampleRate = info.samplerate;
    clip.channels = info.channels;
    clip.statedFrames = info.frames;

    constexpr sf_count_t chunkFrames = 4096;
    std::vector<float> chunk(static_cast<size_t>(chunkFrames * info.channels));
    while (true) {
        const sf_count_t read = sf_readf_float(file.get(), chunk.data(), chunkFrames);
        if (read <= 0) {
            break;
        }
        clip.samples.insert(clip.samples.end(), chunk.begin(), chunk.begin() + read * info.channels);
    }
    if (sf_error(file.get()) != SF_ERR_NO_ERROR) {
        return failure(3, libraryMessage(file.get()));
    }
    return clip;
}

double TestAudio::rms(const std::vector<float>& samples) {
    if (samples.empty()) {
        return 0.0;
    }
    double sum = 0.0;
    for (float sample : samples) {
        sum += double(sample) * sample;
    }
    return std::sqrt(sum / static_cast<double>(samples.size()));
}

double TestAudio::dominantFrequency(const std::vector<float>& samples, int sampleRate) {
    if (sampleRate <= 0 || rms(samples) < 1e-6) {
        return 0.0;
    }

    // Welch's method: Hann-windowed power spectra of half-overlapping segments, summed, so that a
    // tone anywhere in a long recording counts however much silence surrounds it.
    size_t segment = 256;
    while (segment < 16384 && segment < samples.size()) {
        segment <<= 1;
    }
    std::vector<double> window(segment);
    for (size_t i = 0; i < segment; ++i) {
        window[i] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(i) / segment);
    }

    std::vector<double> power(segment / 2 + 1, 0.0);
    std::vector<std::complex<double>> values(segment);
    for (size_t start = 0;; start += segment / 2) {
        for (size_t i = 0; i < segment; ++i) {
            const size_t index = start + i;
            values[i] = index < samples.size() ? samples[index] * window[i] : 0.0;
        }
        fourierTransform(values);
        for (size_t bin = 0; bin < power.size(); ++bin) {
            power[bin] += std::norm(values[bin]);
        }
        if (start + segment >= samples.size()) {
            break;
        }
    }

    size_t peak = 1;
    for (size_t bin = 2; bin + 1 < power.size(); ++bin) {
        if (power[bin] > power[peak]) {
            peak = bin;
        }
    }
    // A Hann-windowed tone's peak is close to a Gaussian on a log scale: fitting a parabola to the
    // logarithms of the peak and its neighbours places it between bins.
    const double tiny = 1e-30;
    const double left = std::log(power[peak - 1] + tiny);
    const double centre = std::log(power[peak] + tiny);
    const double right = std::log(power[peak + 1] + tiny);
    const double curvature = left - 2.0 * centre + right;
    const double offset = curvature < 0.0 ? 0.5 * (left - right) / curvature : 0.0;
    return (static_cast<double>(peak) + offset) * sampleRate / static_cast<double>(segment);
}

} // namespace murmelo
