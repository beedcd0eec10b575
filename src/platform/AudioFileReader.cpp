#include "AudioFileReader.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <optional>
#include <sndfile.h>
#include <soxr.h>
#include <type_traits>

namespace murmelo {

namespace {

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

struct SoxrDeleter {
    void operator()(soxr_t resampler) const { soxr_delete(resampler); }
};
using SoxrPtr = std::unique_ptr<std::remove_pointer_t<soxr_t>, SoxrDeleter>;

// One read's worth of samples, whatever the channel count: libsndfile takes up to 1024 channels, and a
// block counted in frames would then be 64 MB, even for a header that announces a few frames.
constexpr sf_count_t blockSamples = 16384;
// Far more than any codec libsndfile reads yields from one byte, short of long digital silence in
// FLAC; when a file does yield more, the samples grow as they are read.
constexpr sf_count_t maxFramesPerByte = 64;

Error libsndfileError(SNDFILE* file) {
    return {AudioFileReader::libsndfileDomain, sf_error(file), QString::fromUtf8(sf_strerror(file))};
}

Error readerError(AudioFileReader::ErrorCode code, const QString& description) {
    return {AudioFileReader::errorDomain, code, description};
}

Error tooLong(std::size_t frames) {
    return readerError(AudioFileReader::BufferUnavailable,
                       QStringLiteral("The audio is too long: %1 samples, at most %2")
                           .arg(frames)
                           .arg(AudioFileReader::maxFrames));
}

// A buffer that libsndfile, the downmix or the resampler writes before anything reads it: zeroing it
// first is work thrown away, once per block of every load.
std::unique_ptr<float[]> uninitializedBlock(sf_count_t samples) {
    return std::make_unique_for_overwrite<float[]>(static_cast<std::size_t>(samples));
}

// Collects the converted samples, resampling when the source rate differs from the target rate.
// Lengths are checked as they grow because the frame count a file states is only an estimate.
class MonoSink {
public:
    explicit MonoSink(soxr_t resampler)
        : m_resampler(resampler) {}

    std::vector<float>& samples() { return m_samples; }

    std::optional<Error> push(const float* input, std::size_t frames) {
        if (!m_resampler)
            return append(input, frames);
        while (frames > 0) {
            std::size_t consumed = 0;
            std::size_t produced = 0;
            if (soxr_error_t error = soxr_process(m_resampler, input, frames, &consumed, m_scratch.get(),
                                                  blockSamples, &produced))
                return resamplingFailed(error);
            if (auto error = append(m_scratch.get(), produced))
                return error;
            input += consumed;
            frames -= consumed;
        }
        return std::nullopt;
    }

    // Drains what the resampler still holds once the input has ended.
    std::optional<Error> finish() {
        if (!m_resampler)
            return std::nullopt;
        for (;;) {
            std::size_t produced = 0;
            if (soxr_error_t error =
                    soxr_process(m_resampler, nullptr, 0, nullptr, m_scratch.get(), blockSamples, &produced))
                return resamplingFailed(error);
            if (produced == 0)
                return std::nullopt;
            if (auto error = append(m_scratch.get(), produced))
                return error;
        }
    }

private:
    std::optional<Error> append(const float* samples, std::size_t count) {
        if (m_samples.size() + count > AudioFileReader::maxFrames)
            return tooLong(m_samples.size() + count);
        m_samples.insert(m_samples.end(), samples, samples + count);
        return std::nullopt;
    }

    static Error resamplingFailed(soxr_error_t error) {
        return readerError(AudioFileReader::ResamplingFailed,
                           QStringLiteral("Resampling failed: %1").arg(QString::fromUtf8(error)));
    }

    soxr_t m_resampler;
    std::unique_ptr<float[]> m_scratch = uninitializedBlock(blockSamples);
    std::vector<float> m_samples;
};

Result<std::vector<float>> read(const QString& path, int targetRate) {
    SF_INFO info{};
    const SndFilePtr file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info));
    if (!file)
        return libsndfileError(nullptr);

    const int channels = info.channels;
    const double ratio = static_cast<double>(targetRate) / info.samplerate;
    // Streams of unknown length state the largest count; they are read like any other. A compressed
    // file's header may state any count at all, so no more is believed than its size could hold: a
    // lying header must neither refuse a short file as too long nor reserve gigabytes for it.
    const sf_count_t plausibleFrames = static_cast<sf_count_t>(
        std::min<qint64>(QFileInfo(path).size(), SF_COUNT_MAX / maxFramesPerByte) * maxFramesPerByte);
    const sf_count_t statedFrames =
        info.frames == SF_COUNT_MAX ? 0 : std::clamp<sf_count_t>(info.frames, 0, plausibleFrames);
    const double estimatedFrames = std::ceil(static_cast<double>(statedFrames) * ratio);
    if (estimatedFrames > static_cast<double>(AudioFileReader::maxFrames))
        return tooLong(static_cast<std::size_t>(estimatedFrames));

    SoxrPtr resampler;
    if (info.samplerate != targetRate) {
        soxr_error_t error = nullptr;
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        resampler.reset(soxr_create(info.samplerate, targetRate, 1, &error, &io, &quality, nullptr));
        if (!resampler)
            return readerError(AudioFileReader::ResamplerUnavailable,
                               QStringLiteral("Cannot resample from %1 Hz to %2 Hz: %3")
                                   .arg(info.samplerate)
                                   .arg(targetRate)
                                   .arg(QString::fromUtf8(error)));
    }

    MonoSink sink(resampler.get());
    // A small margin: the estimate rounds, and an MP3 may hold a little more than it states.
    sink.samples().reserve(static_cast<std::size_t>(estimatedFrames) + 1024);

    const sf_count_t blockFrames = std::max<sf_count_t>(1, blockSamples / channels);
    const std::unique_ptr<float[]> interleaved = uninitializedBlock(blockFrames * channels);
    const std::unique_ptr<float[]> mono = uninitializedBlock(blockFrames);
    for (;;) {
        const sf_count_t frames = sf_readf_float(file.get(), interleaved.get(), blockFrames);
        // Checked after every read: a decoder may report its failure with a short read and forget it
        // by the next one.
        if (sf_error(file.get()) != SF_ERR_NO_ERROR)
            return libsndfileError(file.get());
        if (frames <= 0)
            break;
        const float* input = interleaved.get();
        if (channels > 1) {
            for (sf_count_t frame = 0; frame < frames; ++frame) {
                const float* first = interleaved.get() + frame * channels;
                float sum = 0.0f;
                for (int channel = 0; channel < channels; ++channel)
                    sum += first[channel];
                mono[static_cast<std::size_t>(frame)] = sum / static_cast<float>(channels);
            }
            input = mono.get();
        }
        if (auto error = sink.push(input, static_cast<std::size_t>(frames)))
            return *error;
    }
    if (auto error = sink.finish())
        return *error;
    return std::move(sink.samples());
}

} // namespace

Result<std::vector<float>> AudioFileReader::readMono(const QString& path, int targetRate) {
    try {
        return read(path, targetRate);
    } catch (const std::bad_alloc&) {
        return readerError(BufferUnavailable, QStringLiteral("Not enough memory for the audio samples"));
    }
}

} // namespace murmelo
