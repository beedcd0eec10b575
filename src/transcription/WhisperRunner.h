#pragma once

#include "ObservableObject.h"

#include <QString>

namespace murmelo {

// Loads the speech model once and turns recordings into text on a background queue, publishing the
// outcome in transcription/isProcessing on the main thread and copying recognised text to the
// clipboard.
class WhisperRunner : public ObservableObject {
    Q_OBJECT
public:
    explicit WhisperRunner(QObject* parent = nullptr);
    ~WhisperRunner() override;

    const QString& transcription() const { return m_transcription(); }
    void setTranscription(QString text) { m_transcription.set(std::move(text)); }
    bool isProcessing() const { return m_isProcessing(); }

    void transcribe(const QString& audioFileURL);

private:
    Published<QString> m_transcription{*this, QString()};
    Published<bool> m_isProcessing{*this, false};
};

} // namespace murmelo
