#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

// A private PulseAudio server for tests: a null sink "vsink" and a source "vmic" made from the sink's
// monitor, which is the default (and the only real) input. Whatever is played into the sink comes
// out of the default input, so a test can play known audio and check what was recorded.
//
// start() points this process's PulseAudio clients (and the children it starts) at the private
// server through PULSE_SERVER, PULSE_COOKIE and PULSE_CLIENTCONFIG; the destructor kills the server
// and restores those variables. The runtime folder and the server's HOME are private temporary
// folders, so nothing is written into the real home folder.
class PulseAudioDaemon {
public:
    PulseAudioDaemon();
    ~PulseAudioDaemon();

    PulseAudioDaemon(const PulseAudioDaemon&) = delete;
    PulseAudioDaemon& operator=(const PulseAudioDaemon&) = delete;

    // Starts the server and returns once it answers (pactl info); false with errorString() if it
    // does not come up. A restarted server listens on the same address.
    bool start();
    // Ends the server at once with SIGKILL, as a crash would, and waits until it is gone.
    void kill();
    bool restart();
    // SIGSTOP / SIGCONT: a paused server keeps accepting connections but answers nothing.
    void pause();
    void resume();
    bool isRunning() const;

    // "unix:<runtime>/pulse/native"
    QString serverAddress() const;
    // Why start() or a playback failed, with the tail of the server's log.
    QString errorString() const;

    // Plays an audio file into the sink and returns when playback has ended.
    bool play(const QString& audioPath, int timeoutMs = 60000);
    // Starts playing an audio file into the sink and returns at once.
    bool startPlaying(const QString& audioPath);
    // Waits for every playback started with startPlaying().
    bool waitForPlayback(int timeoutMs = 60000);

    // Plays an audio file into a running recording: waits until the recording at recordingPath
    // holds captured audio first, since the server delivers nothing to a capture stream that is
    // still starting and the beginning of the audio would be lost.
    bool playIntoRecording(const QString& audioPath, const QString& recordingPath, int timeoutMs = 60000);

    // The number of frames that the WAV file's header announces, or nothing when it cannot be read.
    static std::optional<qint64> recordedFrames(const QString& wavPath);
    // Waits (running the event loop) until the WAV file announces at least minimumFrames frames.
    static bool waitForRecordedFrames(const QString& wavPath, qint64 minimumFrames, int timeoutMs = 15000);

private:
    bool waitUntilAnswering(int timeoutMs);
    bool waitUntilDelivering(int timeoutMs);
    void fail(const QString& why);
    void setClientEnvironment();
    void restoreClientEnvironment();

    QTemporaryDir m_folder;
    QString m_runtimeDir;
    QString m_homeDir;
    QString m_logPath;
    std::unique_ptr<QProcess> m_server;
    std::vector<std::unique_ptr<QProcess>> m_players;
    QString m_errorString;
    std::vector<std::pair<QByteArray, std::optional<QByteArray>>> m_savedEnvironment;
};

} // namespace murmelo
