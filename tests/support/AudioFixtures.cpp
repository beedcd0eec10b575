#include "AudioFixtures.h"

#include "TestAudio.h"

#include <QByteArray>
#include <QFile>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <optional>
#include <random>

namespace murmelo {

namespace {

constexpr int kWavRate = 16000;
constexpr quint16 kPcmFormat = 1;
constexpr quint16 kFloatFormat = 3;
constexpr quint32 kHeaderBytes = 44;

Error failure(const QString& description) {
    return Error{QStringLiteral("AudioFixtures"), 1, description};
}

template <typename T>
void append(QByteArray& bytes, T value) {
    char little[sizeof(T)];
    qToLittleEndian(value, little);
    bytes.append(little, sizeof(T));
}

// A mono 16 kHz WAV around payload. The sizes in the header are those of the payload unless a test
// wants them to lie.
struct Wav {
    quint16 format = kPcmFormat;
    quint16 bitsPerSample = 16;
    QByteArray payload;
    std::optional<quint32> riffSize;
    std::optional<quint32> dataSize;

    QByteArray bytes() const {
        const quint16 blockAlign = bitsPerSample / 8;
        const quint32 actualDataSize = static_cast<quint32>(payload.size());
        QByteArray result("RIFF");
        append<quint32>(result, riffSize.value_or(kHeaderBytes - 8 + actualDataSize));
        result.append("WAVEfmt ");
        append<quint32>(result, 16);
        append<quint16>(result, format);
        append<quint16>(result, 1);
        append<quint32>(result, kWavRate);
        append<quint32>(result, kWavRate * blockAlign);
        append<quint16>(result, blockAlign);
        append<quint16>(result, bitsPerSample);
        result.append("data");
        append<quint32>(result, dataSize.value_or(actualDataSize));
        return result + payload;
    }
};

int framesOf(double seconds, int sampleRate) {
    return static_cast<int>(std::lround(seconds * sampleRate));
}

QByteArray pcm16Payload(int frames) {
    QByteArray payload;
    for (std::int16_t sample : AudioFixtures::tonePcm16(frames))
        append<qint16>(payload, sample);
    return payload;
}

Result<Success> writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return failure(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return Success{};
}

Result<Success> writeTone(const QString& path, double seconds, int sampleRate, int channels, int format) {
    return TestAudio::write(path,
                            TestAudio::sineTone(AudioFixtures::kToneHertz, seconds, sampleRate, channels,
                                                AudioFixtures::kToneAmplitude),
                            sampleRate, channels, format);
}

// A compressed file cut off part way, as an interrupted copy leaves it.
Result<Success> writeCutTone(const QString& path, double seconds, int sampleRate, int channels, int format) {
    Result<Success> written = writeTone(path, seconds, sampleRate, channels, format);
    if (!written)
        return written;
    QFile file(path);
    if (!file.resize(file.size() * 3 / 5))
        return failure(QStringLiteral("Cannot shorten %1").arg(path));
    return Success{};
}

using Writer = std::function<Result<Success>(const QString& path, double seconds)>;

const std::vector<std::pair<QString, Writer>>& writers() {
    static const std::vector<std::pair<QString, Writer>> all{
        {QStringLiteral("empty file"), [](const QString& path, double) { return writeBytes(path, {}); }},
        {QStringLiteral("not audio"),
         [](const QString& path, double) {
             return writeBytes(path, "Buy milk, eggs and bread.\nCall the plumber.\n");
         }},
        {QStringLiteral("random bytes"),
         [](const QString& path, double) {
             std::mt19937 generator(7);
             QByteArray bytes;
             for (int index = 0; index < 4096; ++index)
                 bytes.append(static_cast<char>(generator() & 0xff));
             return writeBytes(path, bytes);
         }},
        {QStringLiteral("header-only WAV"),
         [](const QString& path, double) { return writeBytes(path, Wav{}.bytes()); }},
        {QStringLiteral("WAV with a truncated data chunk"),
         [](const QString& path, double seconds) {
             const int frames = framesOf(seconds, kWavRate);
             Wav wav;
             wav.payload = pcm16Payload(frames / 2);
             wav.dataSize = static_cast<quint32>(frames) * 2;
             wav.riffSize = kHeaderBytes - 8 + *wav.dataSize;
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("WAV with sizes 0xFFFFFFFF"),
         [](const QString& path, double seconds) {
             Wav wav;
             wav.payload = pcm16Payload(framesOf(seconds, kWavRate));
             wav.riffSize = 0xFFFFFFFFu;
             wav.dataSize = 0xFFFFFFFFu;
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("WAV with RIFF size 0"),
         [](const QString& path, double seconds) {
             Wav wav;
             wav.payload = pcm16Payload(framesOf(seconds, kWavRate));
             wav.riffSize = 0;
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("WAV whose data size says a quarter"),
         [](const QString& path, double seconds) {
             const int frames = framesOf(seconds, kWavRate);
             Wav wav;
             wav.payload = pcm16Payload(frames);
             wav.dataSize = static_cast<quint32>(frames / 4) * 2;
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("WAV ending in half a sample"),
         [](const QString& path, double seconds) {
             Wav wav;
             wav.payload = pcm16Payload(framesOf(seconds, kWavRate));
             wav.payload.append('\x7f');
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("8-bit WAV"),
         [](const QString& path, double seconds) {
             Wav wav;
             wav.bitsPerSample = 8;
             for (std::int16_t sample : AudioFixtures::tonePcm16(framesOf(seconds, kWavRate)))
                 wav.payload.append(static_cast<char>((sample >> 8) + 128));
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("24-bit WAV"),
         [](const QString& path, double seconds) {
             Wav wav;
             wav.bitsPerSample = 24;
             // The low byte carries detail that 16 bits would lose.
             for (std::int16_t sample : AudioFixtures::tonePcm16(framesOf(seconds, kWavRate))) {
                 wav.payload.append('\x5a');
                 append<qint16>(wav.payload, sample);
             }
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("32-bit float WAV"),
         [](const QString& path, double seconds) {
             Wav wav;
             wav.format = kFloatFormat;
             wav.bitsPerSample = 32;
             for (std::int16_t sample : AudioFixtures::tonePcm16(framesOf(seconds, kWavRate)))
                 append<float>(wav.payload, AudioFixtures::floatSample(sample));
             return writeBytes(path, wav.bytes());
         }},
        {QStringLiteral("8 kHz WAV"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 8000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
         }},
        {QStringLiteral("44.1 kHz stereo WAV"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
         }},
        {QStringLiteral("96 kHz WAV"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 96000, 1, SF_FORMAT_WAV | SF_FORMAT_PCM_24);
         }},
        {QStringLiteral("48 kHz WAV with 6 channels"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 48000, 6, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
         }},
        {QStringLiteral("FLAC"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
         }},
        {QStringLiteral("Ogg Vorbis"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 48000, 1, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
         }},
        {QStringLiteral("MP3"),
         [](const QString& path, double seconds) {
             return writeTone(path, seconds, 44100, 2, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
         }},
        {QStringLiteral("FLAC whose header states 2^36 frames"),
         [](const QString& path, double seconds) -> Result<Success> {
             Result<Success> written = writeTone(path, seconds, 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
             if (!written)
                 return written;
             // STREAMINFO's 36-bit sample count: the low nibble of byte 21 and bytes 22 to 25.
             QFile file(path);
             if (!file.open(QIODevice::ReadWrite))
                 return failure(QStringLiteral("Cannot open %1").arg(path));
             QByteArray bytes = file.readAll();
             if (bytes.size() < 26 || !bytes.startsWith("fLaC"))
                 return failure(QStringLiteral("%1 has no STREAMINFO where expected").arg(path));
             bytes[21] = static_cast<char>(bytes[21] | 0x0f);
             bytes.replace(22, 4, QByteArray(4, '\xff'));
             file.seek(0);
             file.write(bytes);
             return Success{};
         }},
        {QStringLiteral("truncated FLAC"),
         [](const QString& path, double seconds) {
             return writeCutTone(path, seconds, 44100, 2, SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
         }},
        {QStringLiteral("truncated Ogg Vorbis"),
         [](const QString& path, double seconds) {
             return writeCutTone(path, seconds, 48000, 1, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
         }},
        {QStringLiteral("truncated MP3"),
         [](const QString& path, double seconds) {
             return writeCutTone(path, seconds, 44100, 2, SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III);
         }},
    };
    return all;
}

} // namespace

QStringList AudioFixtures::names() {
    QStringList result;
    for (const auto& [name, writer] : writers())
        result.append(name);
    return result;
}

Result<Success> AudioFixtures::write(const QString& name, const QString& path, double seconds) {
    for (const auto& [candidate, writer] : writers()) {
        if (candidate == name)
            return writer(path, seconds);
    }
    return failure(QStringLiteral("No fixture is called %1").arg(name));
}

std::vector<std::int16_t> AudioFixtures::tonePcm16(int frames) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(std::max(frames, 0)));
    for (std::size_t frame = 0; frame < samples.size(); ++frame) {
        const double phase = 2.0 * std::numbers::pi * kToneHertz * static_cast<double>(frame) / kWavRate;
        samples[frame] = static_cast<std::int16_t>(std::lround(kToneAmplitude * 32767.0 * std::sin(phase)));
    }
    return samples;
}

} // namespace murmelo
