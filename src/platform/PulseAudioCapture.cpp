#include "PulseAudioCapture.h"

#include "Console.h"
#include "PlatformRecorder.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <pulse/error.h>
#include <pulse/timeval.h>

namespace murmelo {

namespace {

// The server delivers captured audio in fragments of this length. Its default for an idle source can
// be two seconds, which would cut off the first words of a dictation and delay the end of a stop.
constexpr pa_usec_t kFragmentDuration = 20 * PA_USEC_PER_MSEC;

QString libraryError(int code) {
    return QString::fromUtf8(pa_strerror(code));
}

} // namespace

void PulseAudioCapture::MainloopDeleter::operator()(pa_threaded_mainloop* mainloop) const {
    pa_threaded_mainloop_stop(mainloop);
    pa_threaded_mainloop_free(mainloop);
}

void PulseAudioCapture::ContextDeleter::operator()(pa_context* context) const {
    pa_context_disconnect(context);
    pa_context_unref(context);
}

PulseAudioCapture::PulseAudioCapture(QString path, Format format, StartFailureHandler lateStartFailure)
    : m_path(std::move(path))
    , m_format(format)
    , m_lateStartFailure(std::move(lateStartFailure)) {}

PulseAudioCapture::~PulseAudioCapture() {
    stop();
}

Result<std::unique_ptr<PulseAudioCapture>> PulseAudioCapture::start(const QString& path, Format format,
                                                                    std::chrono::milliseconds startBound,
                                                                    StartFailureHandler lateStartFailure) {
    std::unique_ptr<PulseAudioCapture> capture(
        new PulseAudioCapture(path, format, std::move(lateStartFailure)));
    if (auto error = capture->openFile())
        return *error;
    if (auto error = capture->connect()) {
        capture->stop();
        return *error;
    }

    std::unique_lock lock(capture->m_startMutex);
    capture->m_startDecided.wait_for(lock, startBound,
                                     [&] { return capture->m_ready || capture->m_startError.has_value(); });
    if (capture->m_startError) {
        const Error error = *capture->m_startError;
        lock.unlock();
        capture->stop();
        return error;
    }
    capture->m_startReturned = true;
    lock.unlock();
    return Result<std::unique_ptr<PulseAudioCapture>>(std::move(capture));
}

std::optional<Error> PulseAudioCapture::openFile() {
    SF_INFO info{};
    info.samplerate = m_format.sampleRate;
    info.channels = m_format.channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    errno = 0;
    m_file.reset(sf_open(QFile::encodeName(m_path).constData(), SFM_WRITE, &info));
    if (!m_file) {
        const QString reason = errno != 0 ? QString::fromLocal8Bit(std::strerror(errno))
                                          : QString::fromUtf8(sf_strerror(nullptr));
        return RecorderError::make(
            RecorderError::FileNotCreated,
            QStringLiteral("The recording file “%1” cannot be created (%2).").arg(m_path, reason));
    }
    // Rewriting the header after every write keeps the file a complete WAV while it grows.
    sf_command(m_file.get(), SFC_SET_UPDATE_HEADER_AUTO, nullptr, SF_TRUE);
    return std::nullopt;
}

std::optional<Error> PulseAudioCapture::connect() {
    m_mainloop.reset(pa_threaded_mainloop_new());
    if (!m_mainloop)
        return serverError(PA_ERR_INTERNAL);
    m_context.reset(pa_context_new(pa_threaded_mainloop_get_api(m_mainloop.get()), "Murmelo"));
    if (!m_context)
        return serverError(PA_ERR_INTERNAL);
    pa_context_set_state_callback(m_context.get(), &PulseAudioCapture::onContextState, this);
    // Never start a sound server on our own: a dictation tool must not leave daemons behind.
    if (pa_context_connect(m_context.get(), nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0)
        return serverError(pa_context_errno(m_context.get()));
    if (pa_threaded_mainloop_start(m_mainloop.get()) < 0)
        return serverError(PA_ERR_INTERNAL);
    return std::nullopt;
}

void PulseAudioCapture::stop() {
    if (m_mainloop) {
        pa_threaded_mainloop_lock(m_mainloop.get());
        if (m_phase == Phase::Capturing)
            writeAvailableAudio();
        m_phase = Phase::Ended;
        if (m_stream) {
            pa_stream_set_state_callback(m_stream.get(), nullptr, nullptr);
            pa_stream_set_read_callback(m_stream.get(), nullptr, nullptr);
            pa_stream_disconnect(m_stream.get());
        }
        if (m_context)
            pa_context_set_state_callback(m_context.get(), nullptr, nullptr);
        pa_threaded_mainloop_unlock(m_mainloop.get());
        pa_threaded_mainloop_stop(m_mainloop.get());
    }
    m_phase = Phase::Ended;
    m_stream.reset();
    m_context.reset();
    m_mainloop.reset();
    m_file.reset();
}

void PulseAudioCapture::onContextState(pa_context* context, void* self) {
    auto* capture = static_cast<PulseAudioCapture*>(self);
    switch (pa_context_get_state(context)) {
    case PA_CONTEXT_READY:
        capture->openStream();
        break;
    case PA_CONTEXT_FAILED:
    case PA_CONTEXT_TERMINATED:
        capture->captureFailed(capture->serverError(pa_context_errno(context)));
        break;
    default:
        break;
    }
}

void PulseAudioCapture::onStreamState(pa_stream* stream, void* self) {
    auto* capture = static_cast<PulseAudioCapture*>(self);
    switch (pa_stream_get_state(stream)) {
    case PA_STREAM_READY:
        capture->captureStarted();
        break;
    case PA_STREAM_FAILED: {
        pa_context* context = pa_stream_get_context(stream);
        if (!PA_CONTEXT_IS_GOOD(pa_context_get_state(context))) {
            capture->captureFailed(capture->serverError(pa_context_errno(context)));
            break;
        }
        const QString reason = libraryError(pa_context_errno(context));
        capture->captureFailed(
            capture->m_phase == Phase::Capturing
                ? RecorderError::make(RecorderError::InputUnavailable,
                                      QStringLiteral("The audio input was closed (%1).").arg(reason))
                : RecorderError::make(RecorderError::InputUnavailable,
                                      QStringLiteral("No audio input can be opened (%1).").arg(reason)));
        break;
    }
    default:
        break;
    }
}

void PulseAudioCapture::onStreamReadable(pa_stream*, size_t, void* self) {
    static_cast<PulseAudioCapture*>(self)->writeAvailableAudio();
}

void PulseAudioCapture::openStream() {
    const pa_sample_spec spec{PA_SAMPLE_S16LE, static_cast<uint32_t>(m_format.sampleRate),
                              static_cast<uint8_t>(m_format.channels)};
    m_stream.reset(pa_stream_new(m_context.get(), "Recording", &spec, nullptr));
    if (!m_stream) {
        captureFailed(RecorderError::make(RecorderError::InputUnavailable,
                                          QStringLiteral("No audio input can be opened (%1).")
                                              .arg(libraryError(pa_context_errno(m_context.get())))));
        return;
    }
    pa_stream_set_state_callback(m_stream.get(), &PulseAudioCapture::onStreamState, this);
    pa_stream_set_read_callback(m_stream.get(), &PulseAudioCapture::onStreamReadable, this);

    pa_buffer_attr attributes{};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(-1);
    attributes.prebuf = static_cast<uint32_t>(-1);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(pa_usec_to_bytes(kFragmentDuration, &spec));
    // The null device means the server's default source; adjusting the latency makes the server
    // run that source at our fragment size instead of its own, much longer, default.
    if (pa_stream_connect_record(m_stream.get(), nullptr, &attributes, PA_STREAM_ADJUST_LATENCY) < 0) {
        captureFailed(RecorderError::make(RecorderError::InputUnavailable,
                                          QStringLiteral("No audio input can be opened (%1).")
                                              .arg(libraryError(pa_context_errno(m_context.get())))));
    }
}

void PulseAudioCapture::writeAvailableAudio() {
    const size_t frameBytes = static_cast<size_t>(m_format.channels) * sizeof(short);
    while (m_phase == Phase::Capturing) {
        const void* data = nullptr;
        size_t length = 0;
        if (pa_stream_peek(m_stream.get(), &data, &length) < 0) {
            captureFailed(serverError(pa_context_errno(m_context.get())));
            return;
        }
        if (length == 0)
            return;
        const size_t frames = length / frameBytes;
        m_samples.assign(frames * static_cast<size_t>(m_format.channels), 0);
        // A hole (no data) is audio the server lost; silence of the same length keeps the timing.
        if (data)
            std::memcpy(m_samples.data(), data, frames * frameBytes);
        pa_stream_drop(m_stream.get());
        const sf_count_t written =
            sf_writef_short(m_file.get(), m_samples.data(), static_cast<sf_count_t>(frames));
        if (written != static_cast<sf_count_t>(frames)) {
            const QString reason = QString::fromUtf8(sf_strerror(m_file.get()));
            captureFailed(RecorderError::make(
                RecorderError::FileNotWritten,
                QStringLiteral("The recording file “%1” cannot be written (%2).").arg(m_path, reason)));
            return;
        }
        m_framesWritten += written;
    }
}

void PulseAudioCapture::captureStarted() {
    m_phase = Phase::Capturing;
    {
        const std::lock_guard lock(m_startMutex);
        m_ready = true;
    }
    m_startDecided.notify_all();
}

void PulseAudioCapture::captureFailed(const Error& error) {
    if (m_phase == Phase::Ended)
        return;
    const bool wasCapturing = m_phase == Phase::Capturing;
    m_phase = Phase::Ended;
    // Closing completes the header: whatever was captured stays a valid recording.
    m_file.reset();

    if (wasCapturing) {
        const double seconds = static_cast<double>(m_framesWritten) / m_format.sampleRate;
        Console::writeLine(QStringLiteral("Recording interrupted: %1 Kept %2 s of audio in %3")
                               .arg(error.description)
                               .arg(seconds, 0, 'f', 1)
                               .arg(m_path));
        return;
    }

    bool late = false;
    {
        const std::lock_guard lock(m_startMutex);
        late = m_startReturned;
        if (!late)
            m_startError = error;
    }
    if (!late)
        m_startDecided.notify_all();
    else if (m_lateStartFailure)
        m_lateStartFailure(error);
}

Error PulseAudioCapture::serverError(int code) const {
    const QString reason = libraryError(code);
    if (m_phase == Phase::Capturing)
        return RecorderError::make(
            RecorderError::ConnectionLost,
            QStringLiteral("The connection to the sound server was lost (%1).").arg(reason));
    return RecorderError::make(RecorderError::ServerUnreachable,
                               QStringLiteral("The sound server cannot be reached (%1).").arg(reason));
}

} // namespace murmelo
