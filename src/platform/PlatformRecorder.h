#pragma once

#include "Error.h"

#include <QObject>
#include <QString>
#include <memory>

namespace murmelo {

class PulseAudioCapture;

// The four-character code 'lpcm': uncompressed linear PCM.
inline constexpr quint32 kLinearPCMFormatID = 0x6C70636D;

// What a recording is asked to be. The quality (0 to 127) is accepted and kept, but the sound server
// converts rates with its own configured resampler, so it changes nothing here.
struct RecordingSettings {
    quint32 formatID = kLinearPCMFormatID;
    int sampleRate = 0;
    int numberOfChannels = 0;
    int linearPCMBitDepth = 0;
    bool linearPCMIsFloat = false;
    int encoderAudioQuality = 0;
};

// The error domain and codes of recording.
struct RecorderError {
    static QString domain() { return QStringLiteral("PlatformRecorder"); }
    enum Code {
        UnsupportedSettings = 1,
        InvalidLocation,
        FileNotCreated,
        FileNotWritten,
        ServerUnreachable,
        InputUnavailable,
        ConnectionLost,
    };
    static Error make(Code code, const QString& description) { return Error{domain(), code, description}; }
};

// Records the default audio input of the sound server (PulseAudio, or PipeWire's PulseAudio server)
// into a WAV file. The file's header is kept up to date while recording, so that the file is a
// readable WAV at every moment: a process that ends without stop() loses at most the last fraction
// of a second. Capture runs on the client library's own thread; all members are called on the main
// thread.
class PlatformRecorder : public QObject {
    Q_OBJECT
public:
    // A recorder bound to a WAV file, or an error when the settings cannot be recorded or the file's
    // folder cannot hold it. Nothing is written yet.
    static Result<std::unique_ptr<PlatformRecorder>> create(const QString& path,
                                                            const RecordingSettings& settings);
    ~PlatformRecorder() override;

    // Creates the file anew and starts capturing into it. Returns an error when capture cannot start
    // (the file cannot be created, the sound server cannot be reached, there is no input). The main
    // thread waits for the server only a short while: a start still under way after that counts as
    // started, and should it fail after all, startFailed() reports it. Recording again while
    // recording does nothing.
    Result<Success> record();
    // Ends capture and completes and closes the file; when it returns the file can be read. Does
    // nothing when not recording.
    void stop();

    const QString& path() const { return m_path; }

signals:
    // A start that record() reported as under way has failed after all; the file holds no audio.
    void startFailed(const murmelo::Error& error);

private:
    PlatformRecorder(QString path, const RecordingSettings& settings);

    QString m_path;
    RecordingSettings m_settings;
    std::unique_ptr<PulseAudioCapture> m_capture;
    quint64 m_captureGeneration = 0;
};

} // namespace murmelo
