#pragma once

#include "ObservableObject.h"
#include "SerialJobQueue.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace murmelo {

class WhisperApi;

// Loads the speech model once and turns recordings into text on a background queue, publishing the
// outcome in transcription/isProcessing on the main thread and copying recognised text to the
// clipboard.
class WhisperRunner : public ObservableObject {
    Q_OBJECT
public:
    // Where the model file is, or nothing when it is missing.
    using ModelPathLookup = std::function<std::optional<QString>()>;

    // Loads the application's model "ggml-base.en.bin" into whisper.cpp; blocks until it is loaded.
    explicit WhisperRunner(QObject* parent = nullptr);
    // Loads the model that modelPath names through api (tests).
    WhisperRunner(std::shared_ptr<WhisperApi> api, const ModelPathLookup& modelPath,
                  QObject* parent = nullptr);
    ~WhisperRunner() override;

    const QString& transcription() const { return m_transcription(); }
    void setTranscription(QString text) { m_transcription.set(std::move(text)); }
    bool isProcessing() const { return m_isProcessing(); }

    // Returns at once. The outcome reaches transcription through the main queue; a request made
    // while an earlier one is still running waits for it.
    void transcribe(const QString& audioFileURL);

private:
    struct Model;
    struct Outcome;

    void setupWhisperContext(std::shared_ptr<WhisperApi> api, const ModelPathLookup& modelPath);
    static Outcome processAudioFile(const Model& model, const QString& audioFileURL);
    void publish(const Outcome& outcome);
    void copyToClipboard(const QString& text);

    Published<QString> m_transcription{*this, QString()};
    Published<bool> m_isProcessing{*this, false};
    // Shared with running jobs, so that a job outliving the runner still has its context.
    std::shared_ptr<const Model> m_model;
    SerialJobQueue m_jobs;
};

} // namespace murmelo
