#include "WhisperRunner.h"

#include "Clipboard.h"
#include "Console.h"
#include "Dispatch.h"
#include "LoadAudioFile.h"
#include "Resources.h"
#include "SystemInfo.h"
#include "WhisperApi.h"
#include "WhisperCppApi.h"

#include <QByteArray>
#include <QFile>
#include <QPointer>
#include <utility>
#include <vector>

namespace murmelo {

struct WhisperRunner::Model {
    Model(std::shared_ptr<WhisperApi> whisperApi, whisper_context* whisperContext)
        : api(std::move(whisperApi))
        , context(whisperContext)
        , isMultilingual(api->isMultilingual(context)) {}
    ~Model() { api->free(context); }
    Model(const Model&) = delete;
    Model& operator=(const Model&) = delete;

    std::shared_ptr<WhisperApi> api;
    whisper_context* context;
    bool isMultilingual;
};

struct WhisperRunner::Outcome {
    enum Kind { LoadFailed, RecognitionFailed, Recognised };
    Kind kind;
    // The load error's description, or the recognised text as joined.
    QString text;
    int code = 0;
};

WhisperRunner::WhisperRunner(QObject* parent)
    : WhisperRunner(
          std::make_shared<WhisperCppApi>(),
          [] { return Resources::pathFor(QStringLiteral("ggml-base.en"), QStringLiteral("bin")); }, parent) {}

WhisperRunner::WhisperRunner(std::shared_ptr<WhisperApi> api, const ModelPathLookup& modelPath,
                             QObject* parent)
    : ObservableObject(parent) {
    setupWhisperContext(std::move(api), modelPath);
}

WhisperRunner::~WhisperRunner() {
    m_jobs.discardPending();
}

void WhisperRunner::setupWhisperContext(std::shared_ptr<WhisperApi> api, const ModelPathLookup& modelPath) {
    const std::optional<QString> path = modelPath();
    if (!path) {
        Console::writeLine(QStringLiteral("Error: Could not find model file ggml-base.en.bin"));
        return;
    }
    whisper_context* context =
        api->initFromFileWithParams(QFile::encodeName(*path).constData(), api->contextDefaultParams());
    if (!context) {
        Console::writeLine(QStringLiteral("Error: Failed to initialize Whisper context"));
        return;
    }
    m_model = std::make_shared<const Model>(std::move(api), context);
}

void WhisperRunner::transcribe(const QString& audioFileURL) {
    const QPointer<WhisperRunner> self(this);
    if (!m_model) {
        MainQueue::async([self] {
            if (self)
                self->m_transcription.set(QStringLiteral("Error: Whisper context not initialized"));
        });
        return;
    }
    MainQueue::async([self] {
        if (!self)
            return;
        self->m_isProcessing.set(true);
        self->m_transcription.set(QStringLiteral("Processing audio..."));
    });
    m_jobs.async([self, model = m_model, audioFileURL] {
        Outcome outcome = processAudioFile(*model, audioFileURL);
        MainQueue::async([self, outcome = std::move(outcome)] {
            if (self)
                self->publish(outcome);
        });
    });
}

WhisperRunner::Outcome WhisperRunner::processAudioFile(const Model& model, const QString& audioFileURL) {
    Result<std::vector<float>> loaded = loadAudioFile(audioFileURL);
    if (!loaded)
        return {Outcome::LoadFailed, loaded.error().description};
    std::vector<float> samples = std::move(loaded).value();
    // whisper.cpp's language detection fails on no samples, and there is nothing to hear anyway.
    if (samples.empty())
        return {Outcome::Recognised, QString()};

    whisper_full_params params = model.api->fullDefaultParams(WHISPER_SAMPLING_GREEDY);
    params.n_threads = SystemInfo::activeProcessorCount();
    params.translate = false;
    params.print_special = false;
    params.print_progress = false;
    params.print_realtime = false;
    params.print_timestamps = false;
    // Language detection costs a whole extra encoder pass, and an English-only model ignores its answer.
    params.language = model.isMultilingual ? nullptr : "en";

    const int result =
        model.api->full(model.context, params, samples.data(), static_cast<int>(samples.size()));
    samples = std::vector<float>();
    if (result != 0)
        return {Outcome::RecognitionFailed, QString(), result};

    // Joined as bytes and decoded once: a token may split a multi-byte character, also across the
    // boundary of two segments.
    QByteArray joined;
    const int segments = model.api->fullNSegments(model.context);
    for (int segment = 0; segment < segments; ++segment) {
        if (const char* text = model.api->fullGetSegmentText(model.context, segment))
            joined.append(text);
    }
    return {Outcome::Recognised, QString::fromUtf8(joined)};
}

void WhisperRunner::publish(const Outcome& outcome) {
    switch (outcome.kind) {
    case Outcome::LoadFailed:
        m_transcription.set(QStringLiteral("Error loading audio file: ") + outcome.text);
        m_isProcessing.set(false);
        return;
    case Outcome::RecognitionFailed:
        m_transcription.set(QStringLiteral("Error: Failed to process audio (code: %1)").arg(outcome.code));
        m_isProcessing.set(false);
        return;
    case Outcome::Recognised: {
        // Whitespace alone is no dictation, and must not cost the user the clipboard's contents.
        const QString text = outcome.text.trimmed();
        m_transcription.set(text.isEmpty() ? QStringLiteral("No speech detected") : text);
        m_isProcessing.set(false);
        if (!text.isEmpty())
            copyToClipboard(text);
        return;
    }
    }
}

void WhisperRunner::copyToClipboard(const QString& text) {
    Clipboard::setText(text);
    Console::writeLine(QStringLiteral("✅ Transcription copied to clipboard: \"%1\"").arg(text));
}

} // namespace murmelo
