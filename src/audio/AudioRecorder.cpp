#include "AudioRecorder.h"

#include <QDir>
#include <QStandardPaths>

namespace murmelo {

namespace {
QString defaultRecordingPath() {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return QDir(documents).filePath(QStringLiteral("recording.wav"));
}
} // namespace

AudioRecorder::AudioRecorder(QObject* parent)
    : AudioRecorder(defaultRecordingPath(), parent) {}

AudioRecorder::AudioRecorder(QString audioFileURL, QObject* parent)
    : ObservableObject(parent)
    , m_audioFileURL(std::move(audioFileURL)) {}

AudioRecorder::~AudioRecorder() = default;

void AudioRecorder::startRecording() {
    m_isRecording.set(true);
    m_status.set(QStringLiteral("Recording..."));
}

void AudioRecorder::stopRecording() {
    m_isRecording.set(false);
    m_status.set(QStringLiteral("Recording saved"));
}

} // namespace murmelo
