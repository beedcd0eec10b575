#include "RecorderView.h"

#include "Dispatch.h"
#include "ProminentButton.h"
#include "TranscriptView.h"

#include <QBoxLayout>
#include <QEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <utility>

namespace murmelo {

namespace {

// The red of the platform's prominent destructive buttons, in light and in dark appearance.
const QColor closeTintLight{0xFF, 0x3B, 0x30};
const QColor closeTintDark{0xFF, 0x45, 0x3A};

QFont buttonFont(const QFont& base) {
    QFont font = base;
    font.setPixelSize(RecorderView::buttonFontPixelSize);
    font.setWeight(QFont::Medium);
    return font;
}

// The outer size that gives a button of the current style a label area of the wanted size: the style
// adds its own chrome (frame, default-button indicator) around the label.
QSize buttonSizeForLabelArea(const QPushButton& button, QSize labelArea) {
    QStyleOptionButton option;
    option.initFrom(&button);
    option.features = QStyleOptionButton::None;
    if (button.isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    if (button.autoDefault())
        option.features |= QStyleOptionButton::AutoDefaultButton;
    option.rect = QRect(QPoint(0, 0), labelArea * 2);
    const QRect contents = button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
    return labelArea + (option.rect.size() - contents.size());
}

} // namespace

RecorderView::RecorderView(AudioRecorder& recorder, Binding<bool> isShowing, QWidget* parent)
    : RecorderView(
          recorder, std::move(isShowing), MicrophoneAuthorization::system(),
          [] { return std::make_unique<WhisperRunner>(); }, parent) {}

RecorderView::RecorderView(AudioRecorder& recorder, Binding<bool> isShowing,
                           MicrophoneAuthorization& authorization, WhisperRunnerFactory makeWhisperRunner,
                           QWidget* parent)
    : QWidget(parent)
    , m_recorder(recorder)
    , m_isShowing(std::move(isShowing))
    , m_authorization(authorization)
    , m_makeWhisperRunner(std::move(makeWhisperRunner))
    , m_transcriptView(new TranscriptView(this))
    , m_startStopButton(new QPushButton(this))
    , m_closeButton(new ProminentButton(tr("Close"), closeTintLight, closeTintDark, this)) {
    m_transcriptView->setObjectName(QStringLiteral("transcript"));
    m_startStopButton->setObjectName(QStringLiteral("startStopButton"));
    m_closeButton->setObjectName(QStringLiteral("closeButton"));

    m_startStopButton->setAutoDefault(false);
    m_startStopButton->setDefault(true);
    m_closeButton->setAutoDefault(false);
    for (QPushButton* button : {m_startStopButton, static_cast<QPushButton*>(m_closeButton)})
        button->setFont(buttonFont(button->font()));

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(buttonSpacing);
    buttonRow->addWidget(m_startStopButton);
    buttonRow->addWidget(m_closeButton);

    auto* column = new QVBoxLayout(this);
    column->setSpacing(spacing);
    column->addWidget(m_transcriptView);
    column->addLayout(buttonRow);
    column->setAlignment(buttonRow, Qt::AlignHCenter);

    setFixedSize(panelSize);
    updateGeometryForStyle();

    // Outside a dialog Qt has no default button that Return presses, so the panel wires it up itself.
    // click() does nothing while the button is disabled.
    auto* defaultAction = new QShortcut(this);
    defaultAction->setKeys({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    defaultAction->setContext(Qt::WindowShortcut);
    connect(defaultAction, &QShortcut::activated, m_startStopButton, &QPushButton::click);

    connect(m_startStopButton, &QPushButton::clicked, this, [this] { handleStartStop(); });
    connect(m_closeButton, &QPushButton::clicked, this, [this] { m_isShowing.set(false); });
    connect(&m_recorder, &ObservableObject::objectDidChange, this, [this] { render(); });

    render();
}

RecorderView::~RecorderView() {
    // While this view is still whole: dismissing the alert reports back to it.
    delete m_micAccessAlert;
}

void RecorderView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Spontaneous show events come from the window system (a window restored from its icon), not
    // from the window being opened; clearing the transcript then would throw away a finished text.
    if (!event->spontaneous())
        appear();
}

void RecorderView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::StyleChange)
        updateGeometryForStyle();
}

WhisperRunner& RecorderView::whisperRunner() {
    if (!m_whisperRunner) {
        m_whisperRunner = m_makeWhisperRunner();
        connect(m_whisperRunner.get(), &ObservableObject::objectDidChange, this, [this] { render(); });
    }
    return *m_whisperRunner;
}

void RecorderView::appear() {
    whisperRunner().setTranscription(QString());
}

void RecorderView::handleStartStop() {
    switch (m_authorization.status()) {
    case MicrophoneAuthorizationStatus::Authorized:
        toggleRecording();
        return;
    case MicrophoneAuthorizationStatus::NotDetermined:
        m_authorization.requestAccess([view = QPointer<RecorderView>(this)](bool granted) {
            MainQueue::async([view, granted] {
                if (!view)
                    return;
                if (granted)
                    view->toggleRecording();
                else
                    view->setShowMicAccessAlert(true);
            });
        });
        return;
    case MicrophoneAuthorizationStatus::Restricted:
    case MicrophoneAuthorizationStatus::Denied:
        break;
    }
    setShowMicAccessAlert(true);
}

void RecorderView::toggleRecording() {
    WhisperRunner& runner = whisperRunner();
    if (m_recorder.isRecording()) {
        m_recorder.stopRecording();
        runner.setTranscription(QString());
        runner.transcribe(m_recorder.audioFileURL());
        holdStartsUntilRunnerTakesOver();
        return;
    }
    // A new recording would re-create the file the runner is about to read.
    if (m_isHandingRecordingToRunner)
        return;
    runner.setTranscription(QString());
    m_recorder.startRecording();
}

void RecorderView::holdStartsUntilRunnerTakesOver() {
    // The runner marks itself processing in a step it has just queued on the main queue; a step queued
    // now runs after it, when the disabled Start/Stop button guards the file instead.
    m_isHandingRecordingToRunner = true;
    MainQueue::async([view = QPointer<RecorderView>(this)] {
        if (view)
            view->m_isHandingRecordingToRunner = false;
    });
}

void RecorderView::setShowMicAccessAlert(bool show) {
    m_showMicAccessAlert = show;
    render();
}

void RecorderView::presentMicAccessAlert() {
    if (m_micAccessAlert && m_micAccessAlert->isVisible())
        return;
    if (!m_micAccessAlert) {
        m_micAccessAlert = new QMessageBox(this);
        m_micAccessAlert->setIcon(QMessageBox::Warning);
        m_micAccessAlert->setWindowTitle(tr("Microphone Access Denied"));
        m_micAccessAlert->setText(tr("Microphone Access Denied"));
        m_micAccessAlert->setInformativeText(tr("Please enable microphone access in System Preferences → "
                                                "Security & Privacy → Privacy → Microphone."));
        m_micAccessAlert->setDefaultButton(m_micAccessAlert->addButton(tr("OK"), QMessageBox::AcceptRole));
        m_micAccessAlert->setWindowModality(Qt::WindowModal);
        connect(m_micAccessAlert, &QDialog::finished, this, [this] { setShowMicAccessAlert(false); });
    }
    // open(), not exec(): the alert must not spin a nested event loop inside a published-state change.
    m_micAccessAlert->open();
}

void RecorderView::render() {
    const bool isRecording = m_recorder.isRecording();
    const bool isProcessing = m_whisperRunner && m_whisperRunner->isProcessing();

    m_startStopButton->setText(isRecording ? tr("Stop") : tr("Start"));
    m_startStopButton->setEnabled(!isProcessing);
    m_closeButton->setEnabled(!isRecording && !isProcessing);
    m_transcriptView->setText(m_whisperRunner ? m_whisperRunner->transcription() : QString());

    if (m_showMicAccessAlert)
        presentMicAccessAlert();
}

void RecorderView::updateGeometryForStyle() {
    const QSize buttonSize = buttonSizeForLabelArea(*m_startStopButton, buttonLabelSize);
    m_startStopButton->setFixedSize(buttonSize);
    m_closeButton->setFixedSize(buttonSize);

    // The transcript's minimum height, the spacing and the button row may need more than the height
    // inside the padding; the column then reaches into the top and bottom padding by equal parts.
    const int columnHeight = m_transcriptView->minimumHeight() + spacing + buttonSize.height();
    const int verticalRoom = std::clamp(panelSize.height() - columnHeight, 0, 2 * padding);
    const int top = verticalRoom / 2;
    layout()->setContentsMargins(padding, top, padding, verticalRoom - top);
}

} // namespace murmelo
