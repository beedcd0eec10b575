#include "AudioFileReader.h"

#include "PeakMemory.h"
#include "TestAudio.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numbers>
#include <sndfile.h>

using namespace murmelo;

namespace {

constexpr int targetRate = 16000;

QString failureOf(const Result<std::vector<float>>& samples) {
    return samples.ok() ? QString() : samples.error().debugDescription();
}

bool write(const QString& path, const std::vector<float>& interleaved, int sampleRate, int channels,
           int format = TestAudio::kDefaultFormat) {
    return TestAudio::write(path, interleaved, sampleRate, channels, format).ok();
}

// The middle half of the samples: resampling filters settle at the edges.
std::vector<float> middle(const std::vector<float>& samples) {
    const std::size_t quarter = samples.size() / 4;
    return {samples.begin() + static_cast<std::ptrdiff_t>(quarter),
            samples.end() - static_cast<std::ptrdiff_t>(quarter)};
}

double sineAmplitude(const std::vector<float>& samples) {
    return TestAudio::rms(samples) * std::numbers::sqrt2;
}

} // namespace

class AudioFileReaderTest : public QObject {
    Q_OBJECT

private slots:
    void convertsToMonoAtTheTargetRate_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        // Lossy codecs keep the tone but not every sample, and MP3 pads its frames.
        QTest::addColumn<bool>("lossy");

        const int wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        QTest::newRow("WAV 16 kHz mono") << wav << 16000 << 1 << false;
        QTest::newRow("WAV 44.1 kHz stereo") << wav << 44100 << 2 << false;
        QTest::newRow("WAV 48 kHz stereo") << wav << 48000 << 2 << false;
        QTest::newRow("WAV 8 kHz mono") << wav << 8000 << 1 << false;
        QTest::newRow("WAV float 96 kHz six channels")
            << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << 96000 << 6 << false;
        QTest::newRow("AIFF 22.05 kHz mono") << (SF_FORMAT_AIFF | SF_FORMAT_PCM_16) << 22050 << 1 << false;
        QTest::newRow("FLAC 44.1 kHz stereo") << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << 44100 << 2 << false;
        QTest::newRow("Ogg Vorbis 48 kHz mono") << (SF_FORMAT_OGG | SF_FORMAT_VORBIS) << 48000 << 1 << true;
        QTest::newRow("MP3 44.1 kHz stereo")
            << (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III) << 44100 << 2 << true;
    }

    void convertsToMonoAtTheTargetRate() {
        QFETCH(int, format);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        QFETCH(bool, lossy);

        constexpr double frequency = 1000.0;
        constexpr float amplitude = 0.5f;
        constexpr int seconds = 2;
        const QString path = file(QStringLiteral("tone"));
        QVERIFY(write(path, TestAudio::sineTone(frequency, seconds, sampleRate, channels, amplitude),
                      sampleRate, channels, format));

        const Result<std::vector<float>> samples = AudioFileReader::readMono(path, targetRate);
        QVERIFY2(samples.ok(), qPrintable(failureOf(samples)));
        const auto expectedLength = static_cast<double>(seconds * targetRate);
        const double lengthTolerance = lossy ? 1152.0 * targetRate / sampleRate : 0.0;
        QVERIFY2(std::abs(static_cast<double>(samples.value().size()) - expectedLength) <= lengthTolerance,
                 qPrintable(QStringLiteral("%1 samples").arg(samples.value().size())));

        const std::vector<float> steady = middle(samples.value());
        QVERIFY(std::abs(TestAudio::dominantFrequency(steady, targetRate) - frequency) <= 1.0);
        QVERIFY2(std::abs(sineAmplitude(steady) - amplitude) <= (lossy ? 0.05 : 0.01) * amplitude,
                 qPrintable(QString::number(sineAmplitude(steady))));
    }

    void keepsSixteenKilohertzSamplesExactly() {
        const std::vector<short> recorded{0, 1, -1, 32767, -32768, 12345, -23456, 256, -256, 7};
        const QString path = file(QStringLiteral("exact"));
        SF_INFO info{};
        info.samplerate = targetRate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* output = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        QVERIFY(output);
        sf_writef_short(output, recorded.data(), static_cast<sf_count_t>(recorded.size()));
        QCOMPARE(sf_close(output), 0);

        const Result<std::vector<float>> samples = AudioFileReader::readMono(path, targetRate);
        QVERIFY(samples.ok());
        std::vector<float> expected;
        for (short sample : recorded)
            expected.push_back(static_cast<float>(sample) / 32768.0f);
        QCOMPARE(samples.value(), expected);
    }

    void averagesTheChannels() {
        const QString path = file(QStringLiteral("left-only"));
        std::vector<float> leftOnly = TestAudio::sineTone(440.0, 1.0, 44100, 2, 0.8f);
        for (std::size_t right = 1; right < leftOnly.size(); right += 2)
            leftOnly[right] = 0.0f;
        QVERIFY(write(path, leftOnly, 44100, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT));

        const Result<std::vector<float>> samples = AudioFileReader::readMono(path, targetRate);
        QVERIFY(samples.ok());
        QVERIFY(std::abs(sineAmplitude(middle(samples.value())) - 0.4) < 0.004);
    }

    void filtersWhatTheTargetRateCannotCarry() {
        // 11 kHz lies above 8 kHz, the highest frequency 16 kHz samples hold; kept, it would fold
        // back to 5 kHz.
        const QString path = file(QStringLiteral("ultrasonic"));
        std::vector<float> twoTones = TestAudio::sineTone(1000.0, 1.0, 48000, 1, 0.4f);
        const std::vector<float> ultrasonic = TestAudio::sineTone(11000.0, 1.0, 48000, 1, 0.4f);
        for (std::size_t index = 0; index < twoTones.size(); ++index)
            twoTones[index] += ultrasonic[index];
        QVERIFY(write(path, twoTones, 48000, 1, SF_FORMAT_WAV | SF_FORMAT_FLOAT));

        const Result<std::vector<float>> samples = AudioFileReader::readMono(path, targetRate);
        QVERIFY(samples.ok());
        const std::vector<float> steady = middle(samples.value());
        QVERIFY(std::abs(sineAmplitude(steady) - 0.4) < 0.004);
        QVERIFY(std::abs(TestAudio::dominantFrequency(steady, targetRate) - 1000.0) <= 1.0);
    }

    // libsndfile's most channels, in a file of a few frames: the read block is bounded by its samples,
    // not its frames, so the file costs about what it holds. Enough frames for several blocks.
    void manyChannelsAreReadInABoundedBlock() {
        constexpr int channels = 1024;
        constexpr int frames = 40;
        std::vector<float> interleaved;
        std::vector<float> expected;
        for (int frame = 0; frame < frames; ++frame) {
            const float value = static_cast<float>(frame - frames / 2) / 64.0f;
            expected.push_back(value);
            interleaved.insert(interleaved.end(), channels, value);
        }
        const QString path = file(QStringLiteral("many channels"));
        QVERIFY(write(path, interleaved, targetRate, channels));
        interleaved = {};

        QVERIFY(PeakMemory::reset());
        const qint64 residentBefore = PeakMemory::residentBytes();
        const Result<std::vector<float>> samples = AudioFileReader::readMono(path, targetRate);
        const qint64 peakGrowth = PeakMemory::residentBytes() - residentBefore;
        QVERIFY2(samples.ok(), qPrintable(failureOf(samples)));
        QCOMPARE(samples.value(), expected);
        // A block of 16,384 frames would take 64 MB here.
        QVERIFY2(peakGrowth < 8 * 1024 * 1024, qPrintable(QStringLiteral("%1 bytes").arg(peakGrowth)));
    }

    void fileWithoutFramesGivesNoSamples_data() {
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::newRow("16 kHz mono") << 16000 << 1;
        QTest::newRow("44.1 kHz stereo") << 44100 << 2;
    }

    void fileWithoutFramesGivesNoSamples() {
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        const QString path = file(QStringLiteral("empty"));
        QVERIFY(write(path, {}, sampleRate, channels));

        const Result<std::vector<float>> samples = AudioFileReader::readMono(path, targetRate);
        QVERIFY2(samples.ok(), qPrintable(failureOf(samples)));
        QVERIFY(samples.value().empty());
    }

    void reportsFailures_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("requestedRate");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");

        QTest::newRow("missing file")
            << QStringLiteral("missing") << targetRate << AudioFileReader::libsndfileDomain
            << int(SF_ERR_SYSTEM) << QStringLiteral("System error : No such file or directory.");
        QTest::newRow("not audio") << QStringLiteral("text") << targetRate
                                   << AudioFileReader::libsndfileDomain << int(SF_ERR_UNRECOGNISED_FORMAT)
                                   << QStringLiteral("Format not recognised.");
        QTest::newRow("empty file") << QStringLiteral("zero bytes") << targetRate
                                    << AudioFileReader::libsndfileDomain << int(SF_ERR_UNRECOGNISED_FORMAT)
                                    << QStringLiteral("Format not recognised.");
        QTest::newRow("damaged FLAC")
            << QStringLiteral("truncated FLAC") << targetRate << AudioFileReader::libsndfileDomain << -1
            << QStringLiteral("Error : flac decoder lost sync.");
        QTest::newRow("no resampler to the rate")
            << QStringLiteral("one second") << 0 << AudioFileReader::errorDomain
            << int(AudioFileReader::ResamplerUnavailable)
            << QStringLiteral("Cannot resample from 16000 Hz to 0 Hz: I/O ratio out-of-range");
        // At 1 Hz, 200,000 frames would become 3.2 billion samples at 16 kHz.
        QTest::newRow("more samples than an int counts")
            << QStringLiteral("one hertz") << targetRate << AudioFileReader::errorDomain
            << int(AudioFileReader::BufferUnavailable)
            << QStringLiteral("The audio is too long: 3200000000 samples, at most 2147483647");
    }

    void reportsFailures() {
        QFETCH(QString, fixture);
        QFETCH(int, requestedRate);
        QFETCH(QString, domain);
        QFETCH(int, code);
        QFETCH(QString, description);

        const Result<std::vector<float>> samples =
            AudioFileReader::readMono(makeFixture(fixture), requestedRate);
        QVERIFY(!samples.ok());
        QCOMPARE(samples.error().domain, domain);
        // libsndfile numbers its decoder errors beyond the public list; the message names them.
        if (code >= 0)
            QCOMPARE(samples.error().code, code);
        else
            QVERIFY(samples.error().code != SF_ERR_NO_ERROR);
        QCOMPARE(samples.error().description, description);
    }

private:
    QString file(const QString& name) const { return QDir(m_folder.path()).filePath(name); }

    QString makeFixture(const QString& fixture) const {
        const QString path = file(fixture);
        if (fixture == QStringLiteral("text")) {
            QFile text(path);
            text.open(QIODevice::WriteOnly);
            text.write("This is a shopping list, not a recording.\n");
        } else if (fixture == QStringLiteral("zero bytes")) {
            QFile(path).open(QIODevice::WriteOnly);
        } else if (fixture == QStringLiteral("truncated FLAC")) {
            write(path, TestAudio::sineTone(1000.0, 2.0, 44100, 2), 44100, 2,
                  SF_FORMAT_FLAC | SF_FORMAT_PCM_16);
            QFile::resize(path, 3000);
        } else if (fixture == QStringLiteral("one second")) {
            write(path, TestAudio::sineTone(440.0, 1.0, 16000), 16000, 1);
        } else if (fixture == QStringLiteral("one hertz")) {
            write(path, std::vector<float>(200000), 1, 1);
        }
        return path;
    }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(AudioFileReaderTest)
#include "AudioFileReaderTest.moc"
