#include "TestAudio.h"

#include <QTemporaryDir>
#include <QTest>
#include <cmath>

using namespace murmelo;

class TestAudioTest : public QObject {
    Q_OBJECT

private slots:
    void roundTripKeepsTheTone_data() {
        QTest::addColumn<int>("format");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<bool>("lossless");

        QTest::newRow("WAV 16-bit") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << "a.wav" << 44100 << 2 << true;
        QTest::newRow("WAV float") << (SF_FORMAT_WAV | SF_FORMAT_FLOAT) << "a.wav" << 48000 << 1 << true;
        QTest::newRow("FLAC") << (SF_FORMAT_FLAC | SF_FORMAT_PCM_16) << "a.flac" << 16000 << 1 << true;
        QTest::newRow("AIFF 24-bit") << (SF_FORMAT_AIFF | SF_FORMAT_PCM_24) << "a.aiff" << 22050 << 2 << true;
        QTest::newRow("Ogg Vorbis") << (SF_FORMAT_OGG | SF_FORMAT_VORBIS) << "a.ogg" << 44100 << 2 << false;
        QTest::newRow("MP3") << (SF_FORMAT_MPEG | SF_FORMAT_MPEG_LAYER_III) << "a.mp3" << 44100 << 2 << false;
    }

    void roundTripKeepsTheTone() {
        QFETCH(int, format);
        QFETCH(QString, fileName);
        QFETCH(int, sampleRate);
        QFETCH(int, channels);
        QFETCH(bool, lossless);

        SF_INFO probe{0, sampleRate, channels, format, 0, 0};
        if (!sf_format_check(&probe)) {
            QSKIP("this libsndfile cannot write the format");
        }

        QTemporaryDir dir;
        const QString path = dir.filePath(fileName);
        const std::vector<float> tone = TestAudio::sineTone(440.0, 1.0, sampleRate, channels);
        QCOMPARE(tone.size(), size_t(sampleRate * channels));
        const Result<Success> written = TestAudio::write(path, tone, sampleRate, channels, format);
        QVERIFY2(written.ok(), qPrintable(written ? QString() : written.error().description));

        const Result<AudioClip> read = TestAudio::read(path);
        QVERIFY2(read.ok(), qPrintable(read ? QString() : read.error().description));
        const AudioClip& clip = read.value();
        QCOMPARE(clip.sampleRate, sampleRate);
        QCOMPARE(clip.channels, channels);
        if (lossless) {
            QCOMPARE(clip.frames(), qint64(sampleRate));
            QCOMPARE(clip.statedFrames, qint64(sampleRate));
            for (size_t i = 0; i < tone.size(); ++i) {
                QVERIFY2(std::abs(clip.samples[i] - tone[i]) < 1e-4f, qPrintable(QString::number(i)));
            }
        } else {
            // Encoders add a little delay and padding.
            QVERIFY2(std::abs(clip.frames() - sampleRate) < sampleRate / 10,
                     qPrintable(QString::number(clip.frames())));
        }
        for (int channel = 0; channel < channels; ++channel) {
            const std::vector<float> samples = clip.channel(channel);
            QCOMPARE(qint64(samples.size()), clip.frames());
            QVERIFY(std::abs(TestAudio::dominantFrequency(samples, sampleRate) - 440.0) < 0.5);
            QVERIFY(std::abs(TestAudio::rms(samples) - 0.5 / std::sqrt(2.0)) < 0.03);
        }
    }

    void samplesBeyondFullScaleAreClipped() {
        QTemporaryDir dir;
        const QString path = dir.filePath("loud.wav");
        QVERIFY(TestAudio::write(path, {1.5f, -1.5f, 0.25f}, 16000, 1).ok());
        const Result<AudioClip> read = TestAudio::read(path);
        QVERIFY(read.ok());
        QCOMPARE(read.value().samples.size(), size_t(3));
        QVERIFY(read.value().samples[0] > 0.99f);
        QVERIFY(read.value().samples[1] < -0.99f);
        QVERIFY(std::abs(read.value().samples[2] - 0.25f) < 1e-4f);
    }

    void monoAveragesTheChannels() {
        AudioClip clip;
        clip.samples = {1.0f, 0.0f, -0.5f, 0.5f, 0.25f, 0.75f};
        clip.sampleRate = 8000;
        clip.channels = 2;
        QCOMPARE(clip.frames(), qint64(3));
        QCOMPARE(clip.mono(), (std::vector<float>{0.5f, 0.0f, 0.5f}));
        QCOMPARE(clip.channel(1), (std::vector<float>{0.0f, 0.5f, 0.75f}));
        QVERIFY(clip.channel(2).empty());
    }

    void findsTheDominantFrequency_data() {
        QTest::addColumn<std::vector<float>>("signal");
        QTest::addColumn<int>("sampleRate");
        QTest::addColumn<double>("expected");
        QTest::addColumn<double>("tolerance");

        QTest::newRow("440 Hz at 16 kHz") << TestAudio::sineTone(440, 2, 16000) << 16000 << 440.0 << 0.5;
        QTest::newRow("1 kHz at 48 kHz") << TestAudio::sineTone(1000, 1, 48000) << 48000 << 1000.0 << 0.5;
        QTest::newRow("3 kHz at 44.1 kHz") << TestAudio::sineTone(3000, 1, 44100) << 44100 << 3000.0 << 0.5;
        QTest::newRow("7 kHz at 16 kHz") << TestAudio::sineTone(7000, 1, 16000) << 16000 << 7000.0 << 0.5;
        QTest::newRow("100 Hz at 48 kHz") << TestAudio::sineTone(100, 1, 48000) << 48000 << 100.0 << 0.5;
        QTest::newRow("short tone: 50 ms") << TestAudio::sineTone(440, 0.05, 16000) << 16000 << 440.0 << 5.0;

        std::vector<float> mixture = TestAudio::sineTone(440, 1, 48000, 1, 0.5f);
        const std::vector<float> quieter = TestAudio::sineTone(1000, 1, 48000, 1, 0.2f);
        for (size_t i = 0; i < mixture.size(); ++i) {
            mixture[i] += quieter[i];
        }
        QTest::newRow("louder of two tones") << mixture << 48000 << 440.0 << 0.5;

        std::vector<float> afterSilence(48000 * 3, 0.0f);
        const std::vector<float> late = TestAudio::sineTone(880, 0.5, 48000);
        std::copy(late.begin(), late.end(), afterSilence.end() - static_cast<std::ptrdiff_t>(late.size()));
        QTest::newRow("half a second of tone after silence") << afterSilence << 48000 << 880.0 << 1.0;

        std::vector<float> noisy = TestAudio::sineTone(440, 2, 16000, 1, 0.3f);
        std::uint32_t state = 1;
        for (float& sample : noisy) {
            state = state * 1664525u + 1013904223u;
            sample += (static_cast<float>(state >> 8) / 16777216.0f - 0.5f) * 0.6f;
        }
        QTest::newRow("tone in as much noise") << noisy << 16000 << 440.0 << 1.0;
    }

    void findsTheDominantFrequency() {
        QFETCH(std::vector<float>, signal);
        QFETCH(int, sampleRate);
        QFETCH(double, expected);
        QFETCH(double, tolerance);

        const double found = TestAudio::dominantFrequency(signal, sampleRate);
        QVERIFY2(std::abs(found - expected) < tolerance, qPrintable(QString::number(found)));
    }

    void silenceHasNoFrequency() {
        QCOMPARE(TestAudio::dominantFrequency(std::vector<float>(16000, 0.0f), 16000), 0.0);
        QCOMPARE(TestAudio::dominantFrequency({}, 16000), 0.0);
        QCOMPARE(TestAudio::rms({}), 0.0);
    }

    void failuresAreReported_data() {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("relativePath");
        QTest::addColumn<int>("code");

        QTest::newRow("read a missing file") << "read"
                                             << "missing.wav" << 3;
        QTest::newRow("read a file that is no audio") << "read"
                                                      << "text.wav" << 3;
        QTest::newRow("write a format libsndfile cannot") << "write Ogg PCM"
                                                          << "a.ogg" << 1;
        QTest::newRow("write frames that are not whole") << "write odd samples"
                                                         << "a.wav" << 1;
        QTest::newRow("write into a missing folder") << "write"
                                                     << "missing/a.wav" << 2;
    }

    void failuresAreReported() {
        QFETCH(QString, operation);
        QFETCH(QString, relativePath);
        QFETCH(int, code);

        QTemporaryDir dir;
        QFile text(dir.filePath("text.wav"));
        QVERIFY(text.open(QIODevice::WriteOnly));
        text.write("not audio at all, just some text that is long enough to look like a header");
        text.close();

        const QString path = dir.filePath(relativePath);
        Error error;
        if (operation == "read") {
            const Result<AudioClip> read = TestAudio::read(path);
            QVERIFY(!read.ok());
            error = read.error();
        } else {
            const int format =
                operation == "write Ogg PCM" ? (SF_FORMAT_OGG | SF_FORMAT_PCM_16) : TestAudio::kDefaultFormat;
            const int channels = operation == "write odd samples" ? 2 : 1;
            const Result<Success> written =
                TestAudio::write(path, {0.1f, 0.2f, 0.3f}, 16000, channels, format);
            QVERIFY(!written.ok());
            error = written.error();
        }
        QCOMPARE(error.domain, QStringLiteral("TestAudio"));
        QCOMPARE(error.code, code);
        QVERIFY(!error.description.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestAudioTest)
#include "TestAudioTest.moc"
