#include "AudioFixtures.h"
#include "ConsoleCapture.h"
#include "LoadAudioFile.h"
#include "PeakMemory.h"
#include "TestAudio.h"
#include "TestModels.h"
#include "WhisperRunner.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cmath>
#include <memory>
#include <numbers>
#include <sndfile.h>

using namespace murmelo;

namespace {

constexpr double kSeconds = 1.0;
constexpr int kWhisperRate = 16000;
constexpr int kFrames = static_cast<int>(kSeconds * kWhisperRate);

enum class Expect {
    // Exactly the listed samples.
    Samples,
    // kSeconds of the fixtures' tone, resampled.
    Tone,
    // The first part of that tone: a stream cut short is whole up to the cut.
    ToneCutShort,
    // The loader's error with the listed description.
    Failure,
};

QString failureOf(const Result<std::vector<float>>& samples) {
    return samples.ok() ? QString() : samples.error().debugDescription();
}

QList<float> pcm16AsFloat(int frames) {
    QList<float> result;
    for (std::int16_t sample : AudioFixtures::tonePcm16(frames))
        result.append(static_cast<float>(sample) / 32768.0f);
    return result;
}

// The middle half: resampling filters settle at the edges.
std::vector<float> middle(const std::vector<float>& samples) {
    const auto quarter = static_cast<std::ptrdiff_t>(samples.size() / 4);
    return {samples.begin() + quarter, samples.end() - quarter};
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

} // namespace

Q_DECLARE_METATYPE(Expect)

class AudioLoaderBadInputTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(m_folder.isValid());
        QVERIFY(m_resources.isValid());
        QVERIFY(QFile::link(TestModels::tinyModelPath(),
                            QDir(m_resources.path()).filePath(QStringLiteral("ggml-base.en.bin"))));
        qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(m_resources.path()));
        ConsoleCapture quiet;
        m_runner = std::make_unique<WhisperRunner>();
    }

    void eachFileGivesItsSamplesOrNamesItsProblem_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<Expect>("expect");
        QTest::addColumn<QList<float>>("samples");
        QTest::addColumn<QString>("failure");

        const QString notRecognised = QStringLiteral("Format not recognised.");
        const auto failure = [&](const char* fixture, const QString& description) {
            QTest::newRow(fixture) << QString::fromLatin1(fixture) << Expect::Failure << QList<float>()
                                   << description;
        };
        const auto samples = [&](const char* fixture, const QList<float>& expected) {
            QTest::newRow(fixture) << QString::fromLatin1(fixture) << Expect::Samples << expected
                                   << QString();
        };
        const auto tone = [&](const char* fixture) {
            QTest::newRow(fixture) << QString::fromLatin1(fixture) << Expect::Tone << QList<float>()
                                   << QString();
        };

        failure("empty file", notRecognised);
        failure("not audio", notRecognised);
        failure("random bytes", notRecognised);
        samples("header-only WAV", {});
        // What is there is kept; what the header promised beyond the end is not invented.
        samples("WAV with a truncated data chunk", pcm16AsFloat(kFrames / 2));
        // Sizes a streaming writer leaves, or lies: the samples that are there count.
        samples("WAV with sizes 0xFFFFFFFF", pcm16AsFloat(kFrames));
        samples("WAV with RIFF size 0", pcm16AsFloat(kFrames));
        // Bytes after the data chunk belong to some other chunk.
        samples("WAV whose data size says a quarter", pcm16AsFloat(kFrames / 4));
        samples("WAV ending in half a sample", pcm16AsFloat(kFrames));

        QList<float> eightBit;
        QList<float> twentyFourBit;
        QList<float> floating;
        for (std::int16_t sample : AudioFixtures::tonePcm16(kFrames)) {
            eightBit.append(static_cast<float>(sample >> 8) / 128.0f);
            twentyFourBit.append(static_cast<float>(sample * 256 + 0x5a) / 8388608.0f);
            floating.append(AudioFixtures::floatSample(sample));
        }
        samples("8-bit WAV", eightBit);
        samples("24-bit WAV", twentyFourBit);
        samples("32-bit float WAV", floating);

        tone("8 kHz WAV");
        tone("44.1 kHz stereo WAV");
        tone("96 kHz WAV");
        tone("48 kHz WAV with 6 channels");
        tone("FLAC");
        tone("Ogg Vorbis");
        tone("MP3");
        // A header may promise more than the file could ever hold; only what it holds counts.
        tone("FLAC whose header states 2^36 frames");
        failure("truncated FLAC", QStringLiteral("Error : flac decoder lost sync."));
        failure("truncated Ogg Vorbis", QStringLiteral("Supported file format but file is malformed."));
        QTest::newRow("truncated MP3")
            << QStringLiteral("truncated MP3") << Expect::ToneCutShort << QList<float>() << QString();
    }

    void eachFileGivesItsSamplesOrNamesItsProblem() {
        QFETCH(QString, fixture);
        QFETCH(Expect, expect);
        QFETCH(QList<float>, samples);
        QFETCH(QString, failure);

        const QString path = QDir(m_folder.path()).filePath(fixture);
        QVERIFY(AudioFixtures::write(fixture, path, kSeconds));

        const Result<std::vector<float>> loaded = loadAudioFile(path);
        switch (expect) {
        case Expect::Failure:
            QVERIFY(!loaded.ok());
            QCOMPARE(loaded.error().description, failure);
            break;
        case Expect::Samples:
            QVERIFY2(loaded.ok(), qPrintable(failureOf(loaded)));
            QCOMPARE(QList<float>(loaded.value().begin(), loaded.value().end()), samples);
            break;
        case Expect::Tone:
        case Expect::ToneCutShort: {
            QVERIFY2(loaded.ok(), qPrintable(failureOf(loaded)));
            const auto length = static_cast<double>(loaded.value().size());
            if (expect == Expect::Tone)
                QVERIFY2(std::abs(length - kFrames) <= 1.0,
                         qPrintable(QStringLiteral("%1 samples").arg(length)));
            else
                QVERIFY2(length > kFrames / 2 && length < kFrames,
                         qPrintable(QStringLiteral("%1 samples").arg(length)));
            const std::vector<float> steady = middle(loaded.value());
            const double frequency = TestAudio::dominantFrequency(steady, kWhisperRate);
            QVERIFY2(std::abs(frequency - AudioFixtures::kToneHertz) <= 1.0,
                     qPrintable(QString::number(frequency)));
            const double amplitude = TestAudio::rms(steady) * std::numbers::sqrt2;
            QVERIFY2(std::abs(amplitude - AudioFixtures::kToneAmplitude) <=
                         0.05 * AudioFixtures::kToneAmplitude,
                     qPrintable(QString::number(amplitude)));
            break;
        }
        }

        // The runner reports the same outcome to the user, and is ready for the next recording.
        const QString outcome = transcribe(path);
        // Each case's outcome, for the record: the sample count or the loader's message.
        qInfo("%s: %s; transcribed: %s", qPrintable(fixture),
              qPrintable(loaded.ok() ? QStringLiteral("%1 samples").arg(loaded.value().size())
                                     : loaded.error().description),
              qPrintable(outcome));
        if (expect == Expect::Failure)
            QCOMPARE(outcome, QStringLiteral("Error loading audio file: ") + failure);
        else if (expect == Expect::Samples && samples.isEmpty())
            QCOMPARE(outcome, QStringLiteral("No speech detected"));
        else
            QVERIFY2(!outcome.startsWith(QStringLiteral("Error")), qPrintable(outcome));
    }

    // An hour of 48 kHz stereo: 690 MB of input for 230 MB of output. Each ten minutes hold a tone of
    // their own, so that a lost, repeated or misplaced stretch shows.
    void anHourOfAudio() {
        constexpr int sourceRate = 48000;
        constexpr int minutes = 60;
        constexpr int minutesPerTone = 10;
        constexpr std::array<double, minutes / minutesPerTone> tones{300.0, 400.0, 500.0,
                                                                     600.0, 700.0, 800.0};
        const QString path = QDir(m_folder.path()).filePath(QStringLiteral("an hour.wav"));
        {
            SF_INFO info{};
            info.samplerate = sourceRate;
            info.channels = 2;
            info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
            SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
            QVERIFY(file);
            // Whole hertz repeat every second: one second of each tone, written again and again.
            for (double hertz : tones) {
                std::vector<short> second(sourceRate * 2);
                for (int frame = 0; frame < sourceRate; ++frame) {
                    const double phase = 2.0 * std::numbers::pi * hertz * frame / sourceRate;
                    second[frame * 2] = second[frame * 2 + 1] =
                        static_cast<short>(std::lround(16000.0 * std::sin(phase)));
                }
                for (int repeat = 0; repeat < minutesPerTone * 60; ++repeat)
                    QCOMPARE(sf_writef_short(file, second.data(), sourceRate), sf_count_t(sourceRate));
            }
            QCOMPARE(sf_close(file), 0);
        }
        const auto cleanUp = qScopeGuard([&] { QFile::remove(path); });

        QVERIFY(PeakMemory::reset());
        const qint64 residentBefore = PeakMemory::residentBytes();
        Result<std::vector<float>> loaded = loadAudioFile(path);
        const qint64 peakGrowth = PeakMemory::residentBytes() - residentBefore;
        QVERIFY2(loaded.ok(), qPrintable(failureOf(loaded)));

        const std::vector<float>& samples = loaded.value();
        const double expectedLength = double(minutes) * 60 * kWhisperRate;
        QVERIFY2(std::abs(static_cast<double>(samples.size()) - expectedLength) <= 1.0,
                 qPrintable(QStringLiteral("%1 samples").arg(samples.size())));
        for (std::size_t block = 0; block < tones.size(); ++block) {
            const std::size_t blockStart = block * minutesPerTone * 60 * kWhisperRate;
            for (std::size_t offset : {std::size_t(1), std::size_t(minutesPerTone * 60 / 2),
                                       std::size_t(minutesPerTone * 60 - 2)}) {
                const auto first =
                    samples.begin() + static_cast<std::ptrdiff_t>(blockStart + offset * kWhisperRate);
                const std::vector<float> second(first, first + kWhisperRate);
                QVERIFY2(std::abs(TestAudio::dominantFrequency(second, kWhisperRate) - tones[block]) <= 1.0,
                         qPrintable(QStringLiteral("tone %1 at second %2").arg(tones[block]).arg(offset)));
            }
        }

        // Holding the input too, or growing the output by doubling, would take several times this.
        const auto outputBytes = static_cast<qint64>(samples.size() * sizeof(float));
        qInfo("peak resident growth: %.1f MB for %.1f MB of samples", double(peakGrowth) / 1e6,
              double(outputBytes) / 1e6);
        if (!kSanitized)
            QVERIFY(peakGrowth < outputBytes * 3 / 2);
    }

private:
    // What the runner publishes for the file once its job is over.
    QString transcribe(const QString& path) {
        bool started = false;
        bool finished = false;
        const QMetaObject::Connection connection =
            connect(m_runner.get(), &ObservableObject::objectDidChange, this, [&] {
                started = started || m_runner->isProcessing();
                finished = started && !m_runner->isProcessing();
            });
        ConsoleCapture quiet;
        m_runner->transcribe(path);
        const bool done = QTest::qWaitFor([&] { return finished; }, 120000);
        disconnect(connection);
        return done ? m_runner->transcription() : QStringLiteral("(no outcome within two minutes)");
    }

    QTemporaryDir m_folder;
    QTemporaryDir m_resources;
    std::unique_ptr<WhisperRunner> m_runner;
};

QTEST_MAIN(AudioLoaderBadInputTest)
#include "AudioLoaderBadInputTest.moc"
