#include "LoadAudioFile.h"

#include "AudioFileReader.h"

namespace murmelo {

namespace {
constexpr int whisperSampleRate = 16000;

Error loaderError(int readerCode) {
    switch (readerCode) {
    case AudioFileReader::ResamplerUnavailable:
        return {whisperRunnerErrorDomain, 1, QStringLiteral("Failed to create audio converter")};
    case AudioFileReader::BufferUnavailable:
        return {whisperRunnerErrorDomain, 2, QStringLiteral("Failed to create audio buffers")};
    default:
        return {whisperRunnerErrorDomain, 3, QStringLiteral("Failed to get float channel data")};
    }
}
} // namespace

Result<std::vector<float>> loadAudioFile(const QString& url) {
    Result<std::vector<float>> samples = AudioFileReader::readMono(url, whisperSampleRate);
    if (samples.ok() || samples.error().domain != AudioFileReader::errorDomain)
        return samples;
    return loaderError(samples.error().code);
}

} // namespace murmelo
