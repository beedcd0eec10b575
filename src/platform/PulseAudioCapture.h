#pragma once

#include "Error.h"

#include <QString>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <pulse/context.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>
#include <sndfile.h>
#include <vector>

namespace murmelo {

// One capture of the server's default source into a WAV file (16-bit PCM), from the connection to the
// closed file. The client library's thread runs the connection and writes every fragment as it
// arrives; the owner starts and stops it from one other thread.
class PulseAudioCapture {
public:
    struct Format {
        int sampleRate = 0;
        int channels = 0;
    };
    using StartFailureHandler = std::function<void(const Error&)>;

    // Creates the file, connects and waits at most startBound for the capture stream to be ready.
    // A start that is neither ready nor failed by then counts as under way; if it fails later,
    // lateStartFailure runs on the capture thread with the reason.
    static Result<std::unique_ptr<PulseAudioCapture>> start(const QString& path, Format format,
                                                            std::chrono::milliseconds startBound,
                                                            StartFailureHandler lateStartFailure);
    ~PulseAudioCapture();

    PulseAudioCapture(const PulseAudioCapture&) = delete;
    PulseAudioCapture& operator=(const PulseAudioCapture&) = delete;

    // Writes what has arrived, ends capture, completes and closes the file. Idempotent.
    void stop();

private:
    struct MainloopDeleter {
        void operator()(pa_threaded_mainloop* mainloop) const;
    };
    struct ContextDeleter {
        void operator()(pa_context* context) const;
    };
    struct StreamDeleter {
        void operator()(pa_stream* stream) const { pa_stream_unref(stream); }
    };
    struct SoundFileDeleter {
        void operator()(SNDFILE* file) const { sf_close(file); }
    };

    enum class Phase { Connecting, Capturing, Ended };

    PulseAudioCapture(QString path, Format format, StartFailureHandler lateStartFailure);

    std::optional<Error> openFile();
    std::optional<Error> connect();
    void tearDown();

    static void onContextState(pa_context* context, void* self);
    static void onStreamState(pa_stream* stream, void* self);
    static void onStreamReadable(pa_stream* stream, size_t length, void* self);
    void openStream();
    void writeAvailableAudio();
    void captureStarted();
    void captureFailed(const Error& error);
    Error serverError(int code) const;

    const QString m_path;
    const Format m_format;
    const StartFailureHandler m_lateStartFailure;

    // Touched by the capture thread under the main loop's lock, or by the owner once it has stopped.
    std::unique_ptr<SNDFILE, SoundFileDeleter> m_file;
    std::unique_ptr<pa_threaded_mainloop, MainloopDeleter> m_mainloop;
    std::unique_ptr<pa_context, ContextDeleter> m_context;
    std::unique_ptr<pa_stream, StreamDeleter> m_stream;
    Phase m_phase = Phase::Connecting;
    qint64 m_framesWritten = 0;
    std::vector<short> m_samples;

    // How the start went, handed from the capture thread to the thread waiting in start().
    std::mutex m_startMutex;
    std::condition_variable m_startDecided;
    bool m_ready = false;
    std::optional<Error> m_startError;
    bool m_startReturned = false;
};

} // namespace murmelo
