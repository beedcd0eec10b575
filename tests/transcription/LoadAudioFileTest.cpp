#include "LoadAudioFile.h"

#include "SpeechReferee.h"
#include "TestAudio.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <optional>
#include <sndfile.h>

using namespace murmelo;

class LoadAudioFileTest : public QObject {
    Q_OBJECT

private slots:
    void keepsTheSamplesOfARecording() {
        // What the recorder writes: 16 kHz, mono, 16-bit.
        std::vector<short> recorded(16000);
        for (std::size_t index = 0; index < recorded.size(); ++index)
            recorded[index] = static_cast<short>(static_cast<int>((index * 7919) % 65536) - 32768);
        const QString path = file(QStringLiteral("recording.wav"));
        QVERIFY(writeWav(path, 16000, recorded));

        const Result<std::vector<float>> samples = loadAudioFile(path);
        QVERIFY(samples.ok());
        QCOMPARE(samples.value().size(), recorded.size());
        for (std::size_t index = 0; index < recorded.size(); ++index)
            QCOMPARE(samples.value()[index], static_cast<float>(recorded[index]) / 32768.0f);
    }

    void reportsFailures_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QString>("domain");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("description");

        QTest::newRow("missing file")
            << QStringLiteral("missing") << QStringLiteral("libsndfile") << int(SF_ERR_SYSTEM)
            << QStringLiteral("System error : No such file or directory.");
        QTest::newRow("not audio") << QStringLiteral("text") << QStringLiteral("libsndfile")
                                   << int(SF_ERR_UNRECOGNISED_FORMAT)
                                   << QStringLiteral("Format not recognised.");
        // At 1 Hz, 200,000 frames would become 3.2 billion samples: more than whisper.cpp can count.
        QTest::newRow("too long for a sample count")
            << QStringLiteral("one hertz") << whisperRunnerErrorDomain << 2
            << QStringLiteral("Failed to create audio buffers");
    }

    void reportsFailures() {
        QFETCH(QString, fixture);
        QFETCH(QString, domain);
        QFETCH(int, code);
        QFETCH(QString, description);

        const QString path = file(fixture);
        if (fixture == QStringLiteral("text")) {
            QFile text(path);
            QVERIFY(text.open(QIODevice::WriteOnly));
            text.write("Minutes of the meeting\n");
        } else if (fixture == QStringLiteral("one hertz")) {
            QVERIFY(TestAudio::write(path, std::vector<float>(200000), 1, 1).ok());
        }

        const Result<std::vector<float>> samples = loadAudioFile(path);
        QVERIFY(!samples.ok());
        QCOMPARE(samples.error(), (Error{domain, code, description}));
    }

    void convertedSpeechKeepsItsWords_data() {
        QTest::addColumn<QString>("phrase");
        for (const QString& phrase : SpeechReferee::phrases())
            QTest::newRow(qPrintable(phrase)) << phrase;
    }

    void convertedSpeechKeepsItsWords() {
        QFETCH(QString, phrase);
        const QString spoken = file(QStringLiteral("spoken.wav"));
        QVERIFY(SpeechReferee::speak(phrase, spoken));
        // Stored as a music program would: CD rate, two channels.
        const QString stored = file(QStringLiteral("stored.wav"));
        QProcess sox;
        sox.start(QStringLiteral("sox"),
                  {spoken, QStringLiteral("-r"), QStringLiteral("44100"), QStringLiteral("-c"),
                   QStringLiteral("2"), QStringLiteral("-b"), QStringLiteral("16"), stored});
        QVERIFY(sox.waitForFinished(60000));
        QCOMPARE(sox.exitCode(), 0);
        const Result<AudioClip> storedClip = TestAudio::read(stored);
        QVERIFY(storedClip.ok());
        QCOMPARE(storedClip.value().sampleRate, 44100);
        QCOMPARE(storedClip.value().channels, 2);

        const Result<std::vector<float>> samples = loadAudioFile(stored);
        QVERIFY(samples.ok());
        const double expectedLength = static_cast<double>(storedClip.value().frames()) * 16000.0 / 44100.0;
        QVERIFY(std::abs(static_cast<double>(samples.value().size()) - expectedLength) <= 1.0);
        const QString converted = file(QStringLiteral("converted.wav"));
        QVERIFY(TestAudio::write(converted, samples.value(), 16000, 1).ok());

        QCOMPARE(SpeechReferee::identify(converted), std::optional<QString>(phrase));
    }

private:
    QString file(const QString& name) const { return QDir(m_folder.path()).filePath(name); }

    static bool writeWav(const QString& path, int sampleRate, const std::vector<short>& samples) {
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = 1;
        info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        SNDFILE* output = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
        if (!output)
            return false;
        const sf_count_t written =
            sf_writef_short(output, samples.data(), static_cast<sf_count_t>(samples.size()));
        return sf_close(output) == 0 && written == static_cast<sf_count_t>(samples.size());
    }

    QTemporaryDir m_folder;
};

QTEST_GUILESS_MAIN(LoadAudioFileTest)
#include "LoadAudioFileTest.moc"
