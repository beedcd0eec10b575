#include "AudioRecorder.h"

#include "Console.h"
#include "PlatformRecorder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace murmelo {

namespace {

QString defaultRecordingPath() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).filePath(QStringLiteral("recording.wav"));
}

RecordingSettings recordingSettings() {
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

AudioRecorder::AudioRecorder(QObject* parent)
    : AudioRecorder(defaultRecordingPath(), parent) {}

AudioRecorder::AudioRecorder(QString audioFileURL, QObject* parent)
    : ObservableObject(parent)
    , m_audioFileURL(std::move(audioFileURL)) {
    createRecordingFolder();
}

AudioRecorder::~AudioRecorder() = default;

// A fresh account has no documents folder yet; the platform recorder needs one to create the file
// in. Failing here is not reported: the start that follows says why the file cannot be created.
void AudioRecorder::createRecordingFolder() const {
    QDir().mkpath(QFileInfo(m_audioFileURL).absolutePath());
}

void AudioRecorder::startRecording() {
    createRecordingFolder();
    auto created = PlatformRecorder::create(m_audioFileURL, recordingSettings());
    if (!created) {
        reportFailedStart(created.error());
        return;
    }

    // Dropping the previous recorder ends its capture and closes its file before the new one
    // creates the same file anew.
    m_audioRecorder = std::move(created).value();
    connect(m_audioRecorder.get(), &PlatformRecorder::startFailed, this, [this](const Error& error) {
        m_isRecording.set(false);
        reportFailedStart(error);
    });

    const auto started = m_audioRecorder->record();
    if (!started) {
        // Nothing captures now, so the state must not claim a recording.
        m_audioRecorder.reset();
        m_isRecording.set(false);
        reportFailedStart(started.error());
        return;
    }
    m_isRecording.set(true);
    m_status.set(QStringLiteral("Recording..."));
}

void AudioRecorder::stopRecording() {
    if (m_audioRecorder)
        m_audioRecorder->stop();
    m_isRecording.set(false);
    m_status.set(QStringLiteral("Recording saved"));
    Console::writeLine(QStringLiteral("Recording saved to: ") + m_audioFileURL);
}

void AudioRecorder::reportFailedStart(const Error& error) {
    m_status.set(QStringLiteral("Failed to start recording: ") + error.description);
    Console::writeLine(QStringLiteral("Failed to start recording: ") + error.debugDescription());
}

} // namespace murmelo
