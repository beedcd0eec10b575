#include "PlatformRecorder.h"

#include "PulseAudioDaemon.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace murmelo;

namespace {

RecordingSettings dictationSettings() {
    RecordingSettings settings;
    settings.formatID = kLinearPCMFormatID;
    settings.sampleRate = 16000;
    settings.numberOfChannels = 1;
    settings.linearPCMBitDepth = 16;
    settings.linearPCMIsFloat = false;
    settings.encoderAudioQuality = 96;
    return settings;
}

} // namespace

Q_DECLARE_METATYPE(murmelo::RecordingSettings)

class PlatformRecorderTest : public QObject {
    Q_OBJECT

private slots:
    void createRefusesWhatItCannotRecord_data();
    void createRefusesWhatItCannotRecord();
    void createAndStopWithoutRecordTouchNoFile();
    void recordWhileRecordingKeepsTheRecording();
};

void PlatformRecorderTest::createRefusesWhatItCannotRecord_data() {
    QTest::addColumn<RecordingSettings>("settings");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<int>("expectedCode");
    QTest::addColumn<QString>("expectedDescription");

    const auto with = [](auto change) {
        RecordingSettings settings = dictationSettings();
        change(settings);
        return settings;
    };
    const int unsupported = RecorderError::UnsupportedSettings;
    const int location = RecorderError::InvalidLocation;
    QTest::newRow("AAC") << with([](auto& s) { s.formatID = 0x61616320; }) << "recording.wav" << unsupported
                         << "format 0x61616320 instead of linear PCM";
    QTest::newRow("float samples") << with([](auto& s) { s.linearPCMIsFloat = true; }) << "recording.wav"
                                   << unsupported << "floating-point samples";
    QTest::newRow("24-bit samples") << with([](auto& s) { s.linearPCMBitDepth = 24; }) << "recording.wav"
                                    << unsupported << "24-bit samples";
    QTest::newRow("no frames per second")
        << with([](auto& s) { s.sampleRate = 0; }) << "recording.wav" << unsupported << "0 frames per second";
    QTest::newRow("no channels") << with([](auto& s) { s.numberOfChannels = 0; }) << "recording.wav"
                                 << unsupported << "0 channels";
    QTest::newRow("too many channels")
        << with([](auto& s) { s.numberOfChannels = 33; }) << "recording.wav" << unsupported << "33 channels";
    QTest::newRow("quality above the scale") << with([](auto& s) { s.encoderAudioQuality = 128; })
                                             << "recording.wav" << unsupported << "quality 128";
    QTest::newRow("not a WAV name") << dictationSettings() << "recording.mp3" << location
                                    << "is not the name of a WAV file";
    QTest::newRow("missing folder") << dictationSettings() << "missing/recording.wav" << location
                                    << "does not exist";
}

void PlatformRecorderTest::createRefusesWhatItCannotRecord() {
    QFETCH(RecordingSettings, settings);
    QFETCH(QString, fileName);
    QFETCH(int, expectedCode);
    QFETCH(QString, expectedDescription);
    const QTemporaryDir folder;

    const auto created = PlatformRecorder::create(folder.filePath(fileName), settings);

    QVERIFY(!created.ok());
    QCOMPARE(created.error().domain, RecorderError::domain());
    QCOMPARE(created.error().code, expectedCode);
    QVERIFY2(created.error().description.contains(expectedDescription),
             qPrintable(created.error().description));
}

void PlatformRecorderTest::createAndStopWithoutRecordTouchNoFile() {
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("recording.wav"));

    auto created = PlatformRecorder::create(path, dictationSettings());
    if (!created.ok())
        QFAIL(qPrintable(created.error().description));
    created.value()->stop();

    QVERIFY(!QFileInfo::exists(path));
}

void PlatformRecorderTest::recordWhileRecordingKeepsTheRecording() {
    PulseAudioDaemon daemon;
    QVERIFY2(daemon.start(), qPrintable(daemon.errorString()));
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("recording.wav"));
    auto created = PlatformRecorder::create(path, dictationSettings());
    if (!created.ok())
        QFAIL(qPrintable(created.error().description));
    PlatformRecorder& recorder = *created.value();
    QVERIFY(recorder.record().ok());
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(path, 8000));

    QVERIFY(recorder.record().ok());
    const qint64 framesAfterSecondRecord = PulseAudioDaemon::recordedFrames(path).value_or(0);
    recorder.stop();

    QVERIFY(framesAfterSecondRecord >= 8000);
    QVERIFY(PulseAudioDaemon::recordedFrames(path).value_or(0) >= framesAfterSecondRecord);
}

QTEST_GUILESS_MAIN(PlatformRecorderTest)
#include "PlatformRecorderTest.moc"
