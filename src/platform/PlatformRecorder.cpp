#include "PlatformRecorder.h"

#include "PulseAudioCapture.h"

#include <QFileInfo>
#include <pulse/sample.h>

namespace murmelo {

namespace {

// Connecting to a local sound server and opening the capture stream takes a few milliseconds. A server
// that hangs must not freeze the interface, so record() waits no longer than this: a start still
// under way then counts as started, and a failure that comes later is reported by startFailed().
constexpr std::chrono::milliseconds kStartAnswerBound{50};

constexpr int kHighestAudioQuality = 127;

Error unsupported(const QString& what) {
    return RecorderError::make(RecorderError::UnsupportedSettings,
                               QStringLiteral("The recording settings are not supported: %1.").arg(what));
}

Error invalidLocation(const QString& description) {
    return RecorderError::make(RecorderError::InvalidLocation, description);
}

std::optional<Error> checkSettings(const RecordingSettings& settings) {
    if (settings.formatID != kLinearPCMFormatID)
        return unsupported(QStringLiteral("format 0x%1 instead of linear PCM")
                               .arg(settings.formatID, 8, 16, QLatin1Char('0')));
    if (settings.linearPCMIsFloat)
        return unsupported(QStringLiteral("floating-point samples"));
    if (settings.linearPCMBitDepth != 16)
        return unsupported(QStringLiteral("%1-bit samples").arg(settings.linearPCMBitDepth));
    if (settings.sampleRate <= 0 || static_cast<unsigned>(settings.sampleRate) > PA_RATE_MAX)
        return unsupported(QStringLiteral("%1 frames per second").arg(settings.sampleRate));
    if (settings.numberOfChannels <= 0 || settings.numberOfChannels > static_cast<int>(PA_CHANNELS_MAX))
        return unsupported(QStringLiteral("%1 channels").arg(settings.numberOfChannels));
    if (settings.encoderAudioQuality < 0 || settings.encoderAudioQuality > kHighestAudioQuality)
        return unsupported(QStringLiteral("quality %1").arg(settings.encoderAudioQuality));
    return std::nullopt;
}

std::optional<Error> checkLocation(const QString& path) {
    const QFileInfo file(path);
    if (file.suffix().compare(QLatin1String("wav"), Qt::CaseInsensitive) != 0)
        return invalidLocation(QStringLiteral("“%1” is not the name of a WAV file.").arg(path));
    const QFileInfo folder(file.absolutePath());
    if (!folder.exists())
        return invalidLocation(QStringLiteral("The folder “%1” does not exist.").arg(folder.filePath()));
    if (!folder.isDir())
        return invalidLocation(QStringLiteral("“%1” is not a folder.").arg(folder.filePath()));
    if (file.isDir())
        return invalidLocation(QStringLiteral("“%1” is a folder, not a file.").arg(path));
    return std::nullopt;
}

} // namespace

Result<std::unique_ptr<PlatformRecorder>> PlatformRecorder::create(const QString& path,
                                                                   const RecordingSettings& settings) {
    if (auto error = checkSettings(settings))
        return *error;
    if (auto error = checkLocation(path))
        return *error;
    return std::unique_ptr<PlatformRecorder>(new PlatformRecorder(path, settings));
}

PlatformRecorder::PlatformRecorder(QString path, const RecordingSettings& settings)
    : m_path(std::move(path))
    , m_settings(settings) {}

PlatformRecorder::~PlatformRecorder() = default;

Result<Success> PlatformRecorder::record() {
    if (m_capture)
        return Success{};
    const quint64 generation = ++m_captureGeneration;
    auto lateStartFailure = [this, generation](const Error& error) {
        // Runs on the capture thread; the main thread learns of it through this object's event
        // queue, which is emptied when the object is destroyed.
        QMetaObject::invokeMethod(
            this,
            [this, generation, error] {
                if (generation != m_captureGeneration || !m_capture)
                    return;
                m_capture.reset();
                emit startFailed(error);
            },
            Qt::QueuedConnection);
    };
    auto started = PulseAudioCapture::start(m_path, {m_settings.sampleRate, m_settings.numberOfChannels},
                                            kStartAnswerBound, std::move(lateStartFailure));
    if (!started)
        return started.error();
    m_capture = std::move(started).value();
    return Success{};
}

void PlatformRecorder::stop() {
    m_capture.reset();
}

} // namespace murmelo
