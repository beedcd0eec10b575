#include "AudioRecorder.h"

#include "ConsoleCapture.h"
#include "PulseAudioDaemon.h"
#include "SpeechReferee.h"
#include "TestAudio.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <memory>
#include <sndfile.h>
#include <unistd.h>

using namespace murmelo;

namespace {

struct Snapshot {
    bool isRecording = false;
    QString status;
    qsizetype consoleLines = 0;
};

// Everything observers of a recorder see: each objectWillChange, and the state (with the number of
// console lines written so far) right after each assignment.
class PublicationLog {
public:
    PublicationLog(AudioRecorder& recorder, const ConsoleCapture& console) {
        QObject::connect(&recorder, &ObservableObject::objectWillChange, &m_context,
                         [this] { ++willChange; });
        QObject::connect(
            &recorder, &ObservableObject::objectDidChange, &m_context, [this, &recorder, &console] {
                didChange.push_back({recorder.isRecording(), recorder.status(), console.lines().size()});
            });
    }
    bool everRecording() const {
        return std::any_of(didChange.begin(), didChange.end(),
                           [](const Snapshot& s) { return s.isRecording; });
    }

    int willChange = 0;
    QList<Snapshot> didChange;

private:
    QObject m_context;
};

struct WavFormat {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;
    qint64 frames = -1;
};

std::optional<WavFormat> readWavFormat(const QString& path) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, decltype(&sf_close)> file(
        sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), &sf_close);
    if (!file)
        return std::nullopt;
    return WavFormat{info.samplerate, info.channels, info.format, info.frames};
}

// What the RIFF header itself announces. libsndfile repairs a header that was never completed when it
// reads a file, so its frame count cannot show whether the header was kept up to date; other readers
// trust the header.
struct WavHeader {
    qint64 riffSize = -1;
    qint64 dataOffset = -1;
    qint64 dataSize = -1;
    qint64 fileSize = -1;
};

std::optional<WavHeader> readWavHeader(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray bytes = file.readAll();
    const auto le32 = [&bytes](qint64 at) { return qFromLittleEndian<quint32>(bytes.constData() + at); };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE")
        return std::nullopt;
    WavHeader header;
    header.riffSize = le32(4);
    header.fileSize = bytes.size();
    for (qint64 at = 12; at + 8 <= bytes.size(); at += 8 + le32(at + 4) + (le32(at + 4) & 1)) {
        if (bytes.mid(at, 4) == "data") {
            header.dataOffset = at + 8;
            header.dataSize = le32(at + 4);
            return header;
        }
    }
    return std::nullopt;
}

constexpr int kSampleRate = 16000;

// Fails the calling test unless the file is a WAV of 16 kHz, mono, 16-bit integer PCM.
// Fails the calling test unless the header announces the audio that the file holds, give or take the
// last write of a recording that is still running or was cut off.
#define VERIFY_HEADER_ANNOUNCES_THE_DATA(path, allowedLagBytes)                                              \
    do {                                                                                                     \
        const auto header = readWavHeader(path);                                                             \
        QVERIFY2(header.has_value(), "no RIFF WAVE header with a data chunk");                               \
        const qint64 unannounced = header->fileSize - header->dataOffset - header->dataSize;                 \
        QVERIFY2(unannounced >= 0 && unannounced <= (allowedLagBytes),                                       \
                 qPrintable(QStringLiteral("the header announces %1 data bytes, the file holds %2")          \
                                .arg(header->dataSize)                                                       \
                                .arg(header->fileSize - header->dataOffset)));                               \
        QCOMPARE(header->riffSize, header->dataOffset + header->dataSize - 8);                               \
    } while (false)

#define VERIFY_RECORDING_FORMAT(path)                                                                        \
    do {                                                                                                     \
        const auto format = readWavFormat(path);                                                             \
        QVERIFY2(format.has_value(), qPrintable(QStringLiteral("not a readable WAV: ") + (path)));           \
        QCOMPARE(format->format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);                                          \
        QCOMPARE(format->sampleRate, kSampleRate);                                                           \
        QCOMPARE(format->channels, 1);                                                                       \
    } while (false)

// Fails the calling test unless the recording's strongest frequency is the tone's.
#define VERIFY_RECORDED_TONE(path, hertz)                                                                    \
    do {                                                                                                     \
        const auto recorded = TestAudio::read(path);                                                         \
        QVERIFY2(recorded.ok(), "the recording cannot be read");                                             \
        const double frequency = TestAudio::dominantFrequency(recorded.value().mono(), kSampleRate);         \
        QVERIFY2(qAbs(frequency - (hertz)) <= (hertz) / 100.0,                                               \
                 qPrintable(QStringLiteral("recorded %1 Hz, played %2 Hz").arg(frequency).arg(hertz)));      \
    } while (false)

} // namespace

class AudioRecorderTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void newRecorderHasInitialValuesAndCreatesNoFile();
    void startAndStopPublishInOrderAndLeaveTheRecording();
    void recordsThePlayedTone_data();
    void recordsThePlayedTone();
    void recordsTheSpokenPhrase_data();
    void recordsTheSpokenPhrase();
    void secondRecordingReplacesTheFirst();
    void stopRightAfterStartLeavesAValidRecording();
    void stopWithoutStartTouchesNoFileAndNotifiesEachTime();
    void startWithoutSoundServerFails_data();
    void startWithoutSoundServerFails();
    void startFailsWhenTheFileCannotBeCreated_data();
    void startFailsWhenTheFileCannotBeCreated();
    void missingFolderIsCreated();
    void startOnUnansweringServerReturnsAndRecordsOnceItAnswers();
    void startOnUnansweringServerThatDiesReportsTheFailure();
    void serverKilledWhileRecordingKeepsWhatCameBefore();
    void startWorksAfterTheServerRestarted();
    void killedRecordingProcessLeavesAValidRecording();

private:
    QString recordingPath() const { return m_folder->filePath(QStringLiteral("recording.wav")); }
    // A tone file as a sound card would play it: 48 kHz stereo.
    QString toneFile(double hertz, double seconds) const;

    QTemporaryDir m_home;
    PulseAudioDaemon m_daemon;
    std::unique_ptr<QTemporaryDir> m_folder;
};

void AudioRecorderTest::initTestCase() {
    QVERIFY(m_home.isValid());
    // The default recording location lies in the documents folder: keep it out of the real home.
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".config"))));
    QVERIFY2(m_daemon.start(), qPrintable(m_daemon.errorString()));
}

void AudioRecorderTest::init() {
    m_daemon.resume();
    QVERIFY2(m_daemon.start(), qPrintable(m_daemon.errorString()));
    m_folder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_folder->isValid());
}

QString AudioRecorderTest::toneFile(double hertz, double seconds) const {
    const QString path = m_folder->filePath(QStringLiteral("tone-%1.wav").arg(hertz));
    const auto written = TestAudio::write(path, TestAudio::sineTone(hertz, seconds, 48000, 2), 48000, 2);
    return written.ok() ? path : QString();
}

void AudioRecorderTest::newRecorderHasInitialValuesAndCreatesNoFile() {
    const QString documents = m_home.filePath(QStringLiteral("Documents"));
    QDir(documents).removeRecursively();

    const AudioRecorder recorder;

    QCOMPARE(recorder.isRecording(), false);
    QCOMPARE(recorder.status(), QStringLiteral("Ready to record"));
    QCOMPARE(recorder.audioFileURL(), documents + QStringLiteral("/recording.wav"));
    QVERIFY(QFileInfo(documents).isDir());
    QVERIFY(!QFileInfo::exists(recorder.audioFileURL()));
}

void AudioRecorderTest::startAndStopPublishInOrderAndLeaveTheRecording() {
    const ConsoleCapture console;
    AudioRecorder recorder(recordingPath());
    PublicationLog log(recorder, console);

    recorder.startRecording();

    QCOMPARE(log.willChange, 2);
    QCOMPARE(log.didChange.size(), 2);
    QCOMPARE(log.didChange[0].isRecording, true);
    QCOMPARE(log.didChange[0].status, QStringLiteral("Ready to record"));
    QCOMPARE(log.didChange[1].status, QStringLiteral("Recording..."));
    QVERIFY(console.lines().isEmpty());
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(recordingPath(), kSampleRate / 2));

    recorder.stopRecording();

    QCOMPARE(log.willChange, 4);
    QCOMPARE(log.didChange.size(), 4);
    QCOMPARE(log.didChange[2].isRecording, false);
    QCOMPARE(log.didChange[2].status, QStringLiteral("Recording..."));
    QCOMPARE(log.didChange[3].status, QStringLiteral("Recording saved"));
    QCOMPARE(log.didChange[3].consoleLines, 0);
    QCOMPARE(console.lines(), QStringList{QStringLiteral("Recording saved to: ") + recordingPath()});
    VERIFY_RECORDING_FORMAT(recordingPath());
    VERIFY_HEADER_ANNOUNCES_THE_DATA(recordingPath(), 0);
    QVERIFY(readWavFormat(recordingPath())->frames >= kSampleRate / 2);
}

void AudioRecorderTest::recordsThePlayedTone_data() {
    QTest::addColumn<double>("hertz");
    QTest::newRow("440 Hz") << 440.0;
    // Close below the recording's Nyquist frequency: the server must filter, not fold, while
    // converting from 48 kHz.
    QTest::newRow("6 kHz") << 6000.0;
}

void AudioRecorderTest::recordsThePlayedTone() {
    QFETCH(double, hertz);
    const QString tone = toneFile(hertz, 1.5);
    AudioRecorder recorder(recordingPath());

    recorder.startRecording();
    QVERIFY2(m_daemon.playIntoRecording(tone, recordingPath()), qPrintable(m_daemon.errorString()));
    recorder.stopRecording();

    VERIFY_RECORDING_FORMAT(recordingPath());
    VERIFY_RECORDED_TONE(recordingPath(), hertz);
    const auto recorded = TestAudio::read(recordingPath());
    QVERIFY(recorded.value().frames() >= 3 * kSampleRate / 2);
    // The tone was played at half of full scale; capture must neither lose nor boost it.
    const double rms = TestAudio::rms(recorded.value().mono());
    QVERIFY2(rms > 0.2 && rms < 0.45, qPrintable(QString::number(rms)));
}

void AudioRecorderTest::recordsTheSpokenPhrase_data() {
    QTest::addColumn<QString>("phrase");
    for (const QString& phrase : SpeechReferee::phrases().mid(0, 2))
        QTest::newRow(qPrintable(phrase)) << phrase;
}

void AudioRecorderTest::recordsTheSpokenPhrase() {
    QFETCH(QString, phrase);
    const QString speech = m_folder->filePath(QStringLiteral("speech.wav"));
    QVERIFY(SpeechReferee::speak(phrase, speech));
    AudioRecorder recorder(recordingPath());

    recorder.startRecording();
    QVERIFY2(m_daemon.playIntoRecording(speech, recordingPath()), qPrintable(m_daemon.errorString()));
    recorder.stopRecording();

    VERIFY_RECORDING_FORMAT(recordingPath());
    QCOMPARE(SpeechReferee::identify(recordingPath()), std::optional<QString>(phrase));
}

void AudioRecorderTest::secondRecordingReplacesTheFirst() {
    AudioRecorder recorder(recordingPath());
    recorder.startRecording();
    QVERIFY2(m_daemon.playIntoRecording(toneFile(440, 3), recordingPath()),
             qPrintable(m_daemon.errorString()));
    recorder.stopRecording();
    const qint64 firstFrames = *PulseAudioDaemon::recordedFrames(recordingPath());

    recorder.startRecording();
    QVERIFY2(m_daemon.playIntoRecording(toneFile(1000, 1), recordingPath()),
             qPrintable(m_daemon.errorString()));
    recorder.stopRecording();

    VERIFY_RECORDED_TONE(recordingPath(), 1000.0);
    const qint64 secondFrames = *PulseAudioDaemon::recordedFrames(recordingPath());
    QVERIFY2(secondFrames < firstFrames,
             qPrintable(QStringLiteral("%1 then %2 frames").arg(firstFrames).arg(secondFrames)));
}

void AudioRecorderTest::stopRightAfterStartLeavesAValidRecording() {
    AudioRecorder recorder(recordingPath());

    recorder.startRecording();
    recorder.stopRecording();

    QCOMPARE(recorder.status(), QStringLiteral("Recording saved"));
    VERIFY_RECORDING_FORMAT(recordingPath());
    VERIFY_HEADER_ANNOUNCES_THE_DATA(recordingPath(), 0);
    QVERIFY(readWavFormat(recordingPath())->frames < kSampleRate / 2);
}

void AudioRecorderTest::stopWithoutStartTouchesNoFileAndNotifiesEachTime() {
    QFile earlier(recordingPath());
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.write("an earlier recording");
    earlier.close();
    const QDateTime modified = QFileInfo(recordingPath()).lastModified();

    const ConsoleCapture console;
    AudioRecorder recorder(recordingPath());
    PublicationLog log(recorder, console);

    recorder.stopRecording();
    recorder.stopRecording();

    QCOMPARE(log.willChange, 4);
    QCOMPARE(log.didChange.size(), 4);
    for (const Snapshot& snapshot : log.didChange)
        QCOMPARE(snapshot.isRecording, false);
    QCOMPARE(log.didChange[1].status, QStringLiteral("Recording saved"));
    QCOMPARE(log.didChange[3].status, QStringLiteral("Recording saved"));
    const QString saved = QStringLiteral("Recording saved to: ") + recordingPath();
    QCOMPARE(console.lines(), (QStringList{saved, saved}));
    QVERIFY(earlier.open(QIODevice::ReadOnly));
    QCOMPARE(earlier.readAll(), QByteArray("an earlier recording"));
    QCOMPARE(QFileInfo(recordingPath()).lastModified(), modified);
}

void AudioRecorderTest::startWithoutSoundServerFails_data() {
    QTest::addColumn<bool>("serverWasThere");
    QTest::newRow("server killed") << true;
    QTest::newRow("no server at the address") << false;
}

void AudioRecorderTest::startWithoutSoundServerFails() {
    QFETCH(bool, serverWasThere);
    const QByteArray server = qgetenv("PULSE_SERVER");
    if (serverWasThere)
        m_daemon.kill();
    else
        qputenv("PULSE_SERVER", "unix:" + QFile::encodeName(m_folder->filePath(QStringLiteral("nothing"))));

    const ConsoleCapture console;
    AudioRecorder recorder(recordingPath());
    PublicationLog log(recorder, console);
    recorder.startRecording();
    qputenv("PULSE_SERVER", server);

    QCOMPARE(recorder.isRecording(), false);
    QVERIFY(!log.everRecording());
    QVERIFY2(recorder.status().startsWith(
                 QStringLiteral("Failed to start recording: The sound server cannot be reached")),
             qPrintable(recorder.status()));
    QCOMPARE(log.didChange.last().consoleLines, 0);
    QCOMPARE(console.lines().size(), 1);
    QVERIFY2(console.lines()[0].startsWith(
                 QStringLiteral("Failed to start recording: Error Domain=PlatformRecorder Code=")),
             qPrintable(console.lines()[0]));
    QVERIFY(console.lines()[0].contains(
        recorder.status().mid(QStringLiteral("Failed to start recording: ").size())));
}

void AudioRecorderTest::startFailsWhenTheFileCannotBeCreated_data() {
    QTest::addColumn<QString>("situation");
    QTest::addColumn<QString>("expectedStatus");
    QTest::newRow("folder is a file") << "file"
                                      << "is not a folder";
    QTest::newRow("recording is a folder") << "folder"
                                           << "is a folder, not a file";
    QTest::newRow("read-only folder") << "read-only"
                                      << "cannot be created (Permission denied)";
}

void AudioRecorderTest::startFailsWhenTheFileCannotBeCreated() {
    QFETCH(QString, situation);
    QFETCH(QString, expectedStatus);
    QString path;
    if (situation == QLatin1String("file")) {
        const QString notAFolder = m_folder->filePath(QStringLiteral("Documents"));
        QFile file(notAFolder);
        QVERIFY(file.open(QIODevice::WriteOnly));
        path = notAFolder + QStringLiteral("/recording.wav");
    } else if (situation == QLatin1String("folder")) {
        path = recordingPath();
        QVERIFY(QDir().mkpath(path));
    } else {
        const QString readOnly = m_folder->filePath(QStringLiteral("read-only"));
        QVERIFY(QDir().mkpath(readOnly));
        QVERIFY(QFile::setPermissions(readOnly, QFile::ReadOwner | QFile::ExeOwner));
        // Permissions do not stop root; a folder of sysfs refuses new files to root too.
        const QString folder = ::geteuid() == 0 ? QStringLiteral("/sys") : readOnly;
        path = folder + QStringLiteral("/recording.wav");
    }

    const ConsoleCapture console;
    AudioRecorder recorder(path);
    PublicationLog log(recorder, console);
    recorder.startRecording();

    QCOMPARE(recorder.isRecording(), false);
    QVERIFY(!log.everRecording());
    QVERIFY2(recorder.status().startsWith(QStringLiteral("Failed to start recording: ")),
             qPrintable(recorder.status()));
    QVERIFY2(recorder.status().contains(expectedStatus), qPrintable(recorder.status()));
    QCOMPARE(console.lines().size(), 1);
    QVERIFY(console.lines()[0].startsWith(
        QStringLiteral("Failed to start recording: Error Domain=PlatformRecorder")));
    QVERIFY(!QFileInfo(path).isFile());
}

void AudioRecorderTest::missingFolderIsCreated() {
    const QString folder = m_folder->filePath(QStringLiteral("not/yet"));
    const QString path = folder + QStringLiteral("/recording.wav");
    AudioRecorder recorder(path);
    QVERIFY(QDir(folder).removeRecursively());

    recorder.startRecording();
    QVERIFY2(recorder.isRecording(), qPrintable(recorder.status()));
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(path, 1));
    recorder.stopRecording();

    VERIFY_RECORDING_FORMAT(path);
}

void AudioRecorderTest::startOnUnansweringServerReturnsAndRecordsOnceItAnswers() {
    m_daemon.pause();
    AudioRecorder recorder(recordingPath());

    recorder.startRecording();

    // The server cannot have answered: the start did not wait for it.
    QCOMPARE(recorder.isRecording(), true);
    QCOMPARE(recorder.status(), QStringLiteral("Recording..."));
    m_daemon.resume();
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(recordingPath(), kSampleRate / 4));
    QCOMPARE(recorder.status(), QStringLiteral("Recording..."));
    recorder.stopRecording();
    VERIFY_RECORDING_FORMAT(recordingPath());
}

void AudioRecorderTest::startOnUnansweringServerThatDiesReportsTheFailure() {
    m_daemon.pause();
    const ConsoleCapture console;
    AudioRecorder recorder(recordingPath());
    PublicationLog log(recorder, console);
    recorder.startRecording();
    QCOMPARE(recorder.isRecording(), true);

    m_daemon.kill();

    QTRY_COMPARE_WITH_TIMEOUT(recorder.isRecording(), false, 15000);
    QVERIFY2(recorder.status().startsWith(
                 QStringLiteral("Failed to start recording: The sound server cannot be reached")),
             qPrintable(recorder.status()));
    QCOMPARE(log.didChange.last().consoleLines, 0);
    QCOMPARE(console.lines().size(), 1);
    QVERIFY(console.lines()[0].startsWith(
        QStringLiteral("Failed to start recording: Error Domain=PlatformRecorder")));
    VERIFY_RECORDING_FORMAT(recordingPath());
    QCOMPARE(readWavFormat(recordingPath())->frames, 0);

    recorder.stopRecording();
    QCOMPARE(recorder.status(), QStringLiteral("Recording saved"));
}

void AudioRecorderTest::serverKilledWhileRecordingKeepsWhatCameBefore() {
    const ConsoleCapture console;
    AudioRecorder recorder(recordingPath());
    recorder.startRecording();
    QVERIFY2(m_daemon.playIntoRecording(toneFile(660, 1.5), recordingPath()),
             qPrintable(m_daemon.errorString()));
    const qint64 framesBeforeKill = *PulseAudioDaemon::recordedFrames(recordingPath());

    m_daemon.kill();

    QTRY_COMPARE_WITH_TIMEOUT(console.lines().size(), 1, 15000);
    QVERIFY2(console.lines()[0].startsWith(
                 QStringLiteral("Recording interrupted: The connection to the sound server was lost")),
             qPrintable(console.lines()[0]));
    QVERIFY(console.lines()[0].endsWith(recordingPath()));
    QCOMPARE(recorder.isRecording(), true);
    VERIFY_RECORDING_FORMAT(recordingPath());
    VERIFY_HEADER_ANNOUNCES_THE_DATA(recordingPath(), 0);
    const qint64 framesKept = readWavFormat(recordingPath())->frames;
    QVERIFY(framesKept >= framesBeforeKill);

    recorder.stopRecording();

    QCOMPARE(recorder.isRecording(), false);
    QCOMPARE(recorder.status(), QStringLiteral("Recording saved"));
    QCOMPARE(console.lines().size(), 2);
    QCOMPARE(console.lines()[1], QStringLiteral("Recording saved to: ") + recordingPath());
    QCOMPARE(readWavFormat(recordingPath())->frames, framesKept);
    VERIFY_RECORDED_TONE(recordingPath(), 660.0);
}

void AudioRecorderTest::startWorksAfterTheServerRestarted() {
    AudioRecorder recorder(recordingPath());
    recorder.startRecording();
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(recordingPath(), 1));
    recorder.stopRecording();

    QVERIFY2(m_daemon.restart(), qPrintable(m_daemon.errorString()));

    recorder.startRecording();
    QVERIFY2(recorder.isRecording(), qPrintable(recorder.status()));
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(recordingPath(), kSampleRate / 2));
    recorder.stopRecording();
    VERIFY_RECORDING_FORMAT(recordingPath());
}

void AudioRecorderTest::killedRecordingProcessLeavesAValidRecording() {
    QProcess child;
    child.start(QStringLiteral(MURMELO_RECORDING_PROCESS), {recordingPath()});
    QVERIFY(child.waitForStarted());
    QByteArray output;
    while (!output.contains("recording") && child.waitForReadyRead(15000))
        output += child.readAllStandardOutput();
    QVERIFY2(output.contains("recording"), child.readAllStandardError().constData());
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(recordingPath(), 1));
    QVERIFY2(m_daemon.startPlaying(toneFile(880, 2.5)), qPrintable(m_daemon.errorString()));
    QVERIFY(PulseAudioDaemon::waitForRecordedFrames(recordingPath(), 3 * kSampleRate / 2));
    const qint64 framesBeforeKill = *PulseAudioDaemon::recordedFrames(recordingPath());

    child.kill();
    QVERIFY(child.waitForFinished());
    QVERIFY2(m_daemon.waitForPlayback(), qPrintable(m_daemon.errorString()));

    VERIFY_RECORDING_FORMAT(recordingPath());
    // At most the fragment being written at the kill may lack its header update.
    VERIFY_HEADER_ANNOUNCES_THE_DATA(recordingPath(), 2 * kSampleRate / 10);
    const qint64 frames = readWavFormat(recordingPath())->frames;
    QVERIFY2(frames >= framesBeforeKill && frames <= framesBeforeKill + kSampleRate,
             qPrintable(QStringLiteral("%1 frames, %2 before the kill").arg(frames).arg(framesBeforeKill)));
    VERIFY_RECORDED_TONE(recordingPath(), 880.0);
}

QTEST_GUILESS_MAIN(AudioRecorderTest)
#include "AudioRecorderTest.moc"
