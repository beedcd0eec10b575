#pragma once

#include "ObservableObject.h"

#include <QString>
#include <memory>

namespace murmelo {

class PlatformRecorder;
struct Error;

// Records the default audio input into one fixed WAV file (16 kHz, mono, 16-bit PCM) and publishes
// whether a recording runs and a one-line status. Main thread only.
class AudioRecorder : public ObservableObject {
    Q_OBJECT
public:
    // Records into recording.wav in the user's documents folder.
    explicit AudioRecorder(QObject* parent = nullptr);
    // Records into the given file (tests).
    explicit AudioRecorder(QString audioFileURL, QObject* parent = nullptr);
    ~AudioRecorder() override;

    bool isRecording() const { return m_isRecording(); }
    const QString& status() const { return m_status(); }
    const QString& audioFileURL() const { return m_audioFileURL; }

    void startRecording();
    void stopRecording();

private:
    void createRecordingFolder() const;
    void reportFailedStart(const Error& error);

    std::unique_ptr<PlatformRecorder> m_audioRecorder;
    Published<bool> m_isRecording{*this, false};
    Published<QString> m_status{*this, QStringLiteral("Ready to record")};
    QString m_audioFileURL;
};

} // namespace murmelo
