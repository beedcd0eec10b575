#pragma once

#include "AudioRecorder.h"
#include "Binding.h"
#include "MicrophoneAuthorization.h"
#include "WhisperRunner.h"

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class QMessageBox;
class QPushButton;

namespace murmelo {

class ProminentButton;
class TranscriptView;

// The content of the recorder window: the transcript above a Start/Stop and a Close button, and the
// alert shown when the microphone may not be used. It renders from the recorder's and its own
// transcription runner's published state after every change, and runs the start/stop command behind
// the microphone permission. Main thread only.
class RecorderView : public QWidget {
    Q_OBJECT
public:
    using WhisperRunnerFactory = std::function<std::unique_ptr<WhisperRunner>()>;

    static constexpr QSize panelSize{480, 280};
    static constexpr int padding = 20;
    static constexpr int spacing = 20;
    static constexpr int buttonSpacing = 16;
    static constexpr QSize buttonLabelSize{80, 32};
    static constexpr int buttonFontPixelSize = 14;

    RecorderView(AudioRecorder& recorder, Binding<bool> isShowing, QWidget* parent = nullptr);
    // The permission service and the runner factory are for tests; the runner is made when the panel is
    // first shown, not here, because making it loads the speech model.
    RecorderView(AudioRecorder& recorder, Binding<bool> isShowing, MicrophoneAuthorization& authorization,
                 WhisperRunnerFactory makeWhisperRunner, QWidget* parent = nullptr);
    ~RecorderView() override;

    bool showMicAccessAlert() const { return m_showMicAccessAlert; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    WhisperRunner& whisperRunner();
    void appear();
    void handleStartStop();
    void toggleRecording();
    void holdStartsUntilRunnerTakesOver();
    void setShowMicAccessAlert(bool show);
    void presentMicAccessAlert();
    void render();
    void updateGeometryForStyle();

    AudioRecorder& m_recorder;
    Binding<bool> m_isShowing;
    MicrophoneAuthorization& m_authorization;
    WhisperRunnerFactory m_makeWhisperRunner;
    std::unique_ptr<WhisperRunner> m_whisperRunner;
    bool m_showMicAccessAlert = false;
    bool m_isHandingRecordingToRunner = false;

    TranscriptView* m_transcriptView;
    QPushButton* m_startStopButton;
    ProminentButton* m_closeButton;
    QPointer<QMessageBox> m_micAccessAlert;
};

} // namespace murmelo
