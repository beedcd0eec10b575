#include "SpeechReferee.h"

#include "TestAudio.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace murmelo;

class SpeechRefereeTest : public QObject {
    Q_OBJECT

private slots:
    void namesEachSpokenPhrase_data() {
        QTest::addColumn<QString>("phrase");
        QTest::addColumn<double>("leadingSilence");

        for (const QString& phrase : SpeechReferee::phrases()) {
            QTest::addRow("%s", qPrintable(phrase)) << phrase << 0.0;
            // Recordings start with silence; pocketsphinx's defaults name nothing after a second of it.
            QTest::addRow("%s, after 3 s of silence, in stereo", qPrintable(phrase)) << phrase << 3.0;
        }
    }

    void namesEachSpokenPhrase() {
        QFETCH(QString, phrase);
        QFETCH(double, leadingSilence);

        QTemporaryDir dir;
        const QString spoken = dir.filePath("spoken.wav");
        QVERIFY(SpeechReferee::speak(phrase, spoken));

        if (leadingSilence == 0.0) {
            const QString converted = dir.filePath("converted.wav");
            QVERIFY(SpeechReferee::convertForIdentification(spoken, converted));
            QCOMPARE(SpeechReferee::identify(converted), std::optional(phrase));
            return;
        }

        const Result<AudioClip> speech = TestAudio::read(spoken);
        QVERIFY(speech.ok());
        AudioClip recording;
        recording.sampleRate = speech.value().sampleRate;
        recording.channels = 2;
        recording.samples.assign(static_cast<size_t>(leadingSilence * recording.sampleRate) * 2, 0.0f);
        for (float sample : speech.value().samples) {
            recording.samples.insert(recording.samples.end(), {sample, sample});
        }
        const QString recordingPath = dir.filePath("recording.flac");
        QVERIFY(TestAudio::write(recordingPath, recording, SF_FORMAT_FLAC | SF_FORMAT_PCM_16).ok());
        QCOMPARE(SpeechReferee::recognise(recordingPath), std::optional(phrase));
    }

    // A referee that always names something would let every test pass.
    void namesNothingElse_data() {
        QTest::addColumn<QString>("kind");

        QTest::newRow("silence") << "silence";
        QTest::newRow("a tone") << "tone";
        QTest::newRow("another sentence") << "speech";
    }

    void namesNothingElse() {
        QFETCH(QString, kind);

        QTemporaryDir dir;
        const QString path = dir.filePath("input.wav");
        if (kind == "silence") {
            QVERIFY(TestAudio::write(path, std::vector<float>(16000 * 3, 0.0f), 16000, 1).ok());
        } else if (kind == "tone") {
            QVERIFY(TestAudio::write(path, TestAudio::sineTone(440, 3, 16000), 16000, 1).ok());
        } else {
            const QString spoken = dir.filePath("spoken.wav");
            QVERIFY(SpeechReferee::speak(QStringLiteral("turn on the lights in the kitchen"), spoken));
            QVERIFY(SpeechReferee::convertForIdentification(spoken, path));
        }
        QCOMPARE(SpeechReferee::identify(path), std::nullopt);
    }

    void refusesFilesNotInItsFormat() {
        QTemporaryDir dir;
        const QString spoken = dir.filePath("spoken.wav");
        QVERIFY(SpeechReferee::speak(SpeechReferee::phrases().first(), spoken));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("16 kHz mono 16-bit"));
        QCOMPARE(SpeechReferee::identify(spoken), std::nullopt);

        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("cannot open"));
        QCOMPARE(SpeechReferee::identify(dir.filePath("missing.wav")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(SpeechRefereeTest)
#include "SpeechRefereeTest.moc"
