#include "RecorderView.h"

#include "AudioRecorder.h"
#include "Binding.h"
#include "FakeMicrophoneAuthorization.h"
#include "PulseAudioDaemon.h"
#include "TestModels.h"
#include "WhisperRunner.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <functional>
#include <memory>

using namespace murmelo;

namespace {

using Status = MicrophoneAuthorizationStatus;

const QString processingText = QStringLiteral("Processing audio...");
const QString alertTitle = QStringLiteral("Microphone Access Denied");
const QString alertMessage = QStringLiteral(
    "Please enable microphone access in System Preferences \u2192 Security & Privacy \u2192 Privacy \u2192 "
    "Microphone.");
// A tenth of a second at the recording's 16 kHz.
constexpr qint64 someRecordedFrames = 1600;
constexpr int transcriptionTimeoutMs = 60000;

// One recorder panel as the recorder window hosts it: a real recorder on the test sound server, the
// panel's own real transcription runner, and a microphone permission that the test answers.
struct Panel {
    explicit Panel(const QString& recordingPath)
        : recorder(recordingPath)
        , view(recorder,
               Binding<bool>([this] { return isShowing; },
                             [this](bool value) {
                                 isShowing = value;
                                 isShowingWrites.append(value);
                             }),
               authorization, [this] {
                   ++runnersMade;
                   auto made = std::make_unique<WhisperRunner>();
                   runner = made.get();
                   return made;
               }) {}

    QPushButton* startStopButton() const {
        return view.findChild<QPushButton*>(QStringLiteral("startStopButton"));
    }
    QPushButton* closeButton() const { return view.findChild<QPushButton*>(QStringLiteral("closeButton")); }
    QWidget* transcriptBlock() const { return view.findChild<QWidget*>(QStringLiteral("transcript")); }
    QPlainTextEdit* transcriptTextArea() const {
        return view.findChild<QPlainTextEdit*>(QStringLiteral("transcriptTextArea"));
    }
    QMessageBox* alert() const { return view.findChild<QMessageBox*>(); }
    bool alertIsOnScreen() const { return alert() && alert()->isVisible(); }

    FakeMicrophoneAuthorization authorization;
    AudioRecorder recorder;
    bool isShowing = true;
    QList<bool> isShowingWrites;
    int runnersMade = 0;
    WhisperRunner* runner = nullptr;
    RecorderView view;
};

// What the panel shows at one moment.
struct Appearance {
    QString label;
    bool startStopEnabled = false;
    bool closeEnabled = false;
    QString transcript;
};

Appearance appearanceOf(const Panel& panel) {
    return {panel.startStopButton()->text(), panel.startStopButton()->isEnabled(),
            panel.closeButton()->isEnabled(), panel.transcriptTextArea()->toPlainText()};
}

QRect labelArea(const QPushButton& button) {
    QStyleOptionButton option;
    option.initFrom(&button);
    if (button.isDefault())
        option.features |= QStyleOptionButton::DefaultButton;
    return button.style()->subElementRect(QStyle::SE_PushButtonContents, &option, &button);
}

} // namespace

class RecorderViewTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void rendersEachStateOfThePublishedFlags_data();
    void rendersEachStateOfThePublishedFlags();
    void gatesEveryCommandOnTheMicrophonePermission_data();
    void gatesEveryCommandOnTheMicrophonePermission();
    void twoGrantedAnswersStartAndThenStop();
    void startClearsTheTranscriptBeforeCallingTheRecorder_data();
    void startClearsTheTranscriptBeforeCallingTheRecorder();
    void stopHandsTheRecordingToTheRunnerAfterClearingTheTranscript();
    void aStartBeforeTheRunnerTakesTheRecordingIsRefused();
    void appearingClearsTheTranscriptAndMakesTheRunnerOnce();
    void okDismissesTheAlertSoALaterRefusalShowsItAgain();
    void closeHidesTheWindowThroughTheBinding();
    void theTranscriptIsNeverEditable_data();
    void theTranscriptIsNeverEditable();
    void layoutHasTheGivenGeometry();
    void followsADarkPalette();

private:
    Panel& showPanel(const QString& recordingPath = {});
    // Starts a recording through the panel and waits until audio reaches its file.
    [[nodiscard]] bool startRecording(Panel& panel);
    // Runs the trigger, then lets probe look at the panel once the runner has published that it is
    // processing, before its outcome can arrive.
    void probeWhileProcessing(Panel& panel, const std::function<void()>& trigger,
                              const std::function<void()>& probe);
    void waitUntilRunnerIsIdle(Panel& panel);
    void saveScreenshot(QWidget& widget, const QString& name);

    QTemporaryDir m_home;
    QTemporaryDir m_resources;
    PulseAudioDaemon m_pulse;
    std::unique_ptr<Panel> m_panel;
};

void RecorderViewTest::initTestCase() {
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".local/share"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(m_home.filePath(QStringLiteral(".cache"))));

    // The runner loads the application's model by name; a tiny model stands in for it.
    QVERIFY(m_resources.isValid());
    QVERIFY(
        QFile::link(TestModels::tinyModelPath(), m_resources.filePath(QStringLiteral("ggml-base.en.bin"))));
    qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(m_resources.path()));

    QVERIFY2(m_pulse.start(), qPrintable(m_pulse.errorString()));
}

void RecorderViewTest::init() {
    QFile::remove(m_home.filePath(QStringLiteral("recording.wav")));
}

void RecorderViewTest::cleanup() {
    if (!m_panel)
        return;
    if (m_panel->recorder.isRecording())
        m_panel->recorder.stopRecording();
    if (m_panel->runner)
        waitUntilRunnerIsIdle(*m_panel);
    if (QMessageBox* alert = m_panel->alert())
        alert->done(QMessageBox::Accepted);
    m_panel.reset();
}

Panel& RecorderViewTest::showPanel(const QString& recordingPath) {
    m_panel = std::make_unique<Panel>(
        recordingPath.isEmpty() ? m_home.filePath(QStringLiteral("recording.wav")) : recordingPath);
    m_panel->view.show();
    m_panel->view.activateWindow();
    if (!QTest::qWaitForWindowActive(&m_panel->view))
        qFatal("the panel's window did not become active");
    return *m_panel;
}

bool RecorderViewTest::startRecording(Panel& panel) {
    panel.authorization.setStatus(Status::Authorized);
    panel.startStopButton()->click();
    return panel.recorder.isRecording() &&
           PulseAudioDaemon::waitForRecordedFrames(panel.recorder.audioFileURL(), someRecordedFrames);
}

void RecorderViewTest::probeWhileProcessing(Panel& panel, const std::function<void()>& trigger,
                                            const std::function<void()>& probe) {
    bool probed = false;
    QObject observer;
    connect(panel.runner, &ObservableObject::objectDidChange, &observer, [&] {
        if (!probed && panel.runner->isProcessing() && panel.runner->transcription() == processingText) {
            probed = true;
            probe();
        }
    });
    trigger();
    QTRY_VERIFY_WITH_TIMEOUT(probed, transcriptionTimeoutMs);
}

void RecorderViewTest::waitUntilRunnerIsIdle(Panel& panel) {
    // A transcription asked for just now has not yet published its start.
    QCoreApplication::sendPostedEvents();
    QTRY_VERIFY_WITH_TIMEOUT(!panel.runner->isProcessing(), transcriptionTimeoutMs);
}

void RecorderViewTest::saveScreenshot(QWidget& widget, const QString& name) {
    const QDir artifacts(qEnvironmentVariable("MURMELO_BUILD_DIR", QDir::currentPath()) +
                         QStringLiteral("/artifacts"));
    QVERIFY(artifacts.mkpath(QStringLiteral(".")));
    QVERIFY(widget.grab().save(artifacts.filePath(name)));
}

void RecorderViewTest::rendersEachStateOfThePublishedFlags_data() {
    QTest::addColumn<bool>("isRecording");
    QTest::addColumn<bool>("isProcessing");
    QTest::addColumn<QString>("label");
    QTest::addColumn<bool>("startStopEnabled");
    QTest::addColumn<bool>("closeEnabled");
    QTest::addColumn<QString>("screenshot");

    QTest::newRow("idle") << false << false << "Start" << true << true << "panel-idle.png";
    QTest::newRow("recording") << true << false << "Stop" << true << false << "panel-recording.png";
    QTest::newRow("processing") << false << true << "Start" << false << false << "panel-processing.png";
    QTest::newRow("recording while processing")
        << true << true << "Stop" << false << false << "panel-recording-processing.png";
}

void RecorderViewTest::rendersEachStateOfThePublishedFlags() {
    QFETCH(bool, isRecording);
    QFETCH(bool, isProcessing);
    QFETCH(QString, label);
    QFETCH(bool, startStopEnabled);
    QFETCH(bool, closeEnabled);
    QFETCH(QString, screenshot);

    Panel& panel = showPanel();
    if (isRecording)
        QVERIFY(startRecording(panel));

    // With the permission denied, a command that reaches the start/stop action shows the alert and
    // changes nothing else, which tells whether Return ran it.
    Appearance seen;
    bool returnRanTheCommand = false;
    const auto look = [&] {
        seen = appearanceOf(panel);
        saveScreenshot(panel.view, screenshot);
        panel.authorization.setStatus(Status::Denied);
        QTest::keyClick(&panel.view, Qt::Key_Return);
        returnRanTheCommand = panel.view.showMicAccessAlert();
    };

    if (!isProcessing) {
        if (!isRecording)
            panel.runner->setTranscription(QStringLiteral("Hello world, this is a short dictation test."));
        look();
        QVERIFY(seen.transcript == panel.runner->transcription());
    } else if (!isRecording) {
        QVERIFY(startRecording(panel));
        probeWhileProcessing(
            panel, [&] { panel.startStopButton()->click(); }, look);
    } else {
        probeWhileProcessing(
            panel, [&] { panel.runner->transcribe(m_home.filePath(QStringLiteral("absent.wav"))); }, look);
    }

    QCOMPARE(seen.label, label);
    QCOMPARE(seen.startStopEnabled, startStopEnabled);
    QCOMPARE(seen.closeEnabled, closeEnabled);
    QCOMPARE(returnRanTheCommand, startStopEnabled);
    if (isProcessing)
        QCOMPARE(seen.transcript, processingText);
    QCOMPARE(panel.recorder.isRecording(), isRecording);
}

void RecorderViewTest::gatesEveryCommandOnTheMicrophonePermission_data() {
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("wasRecording");
    QTest::addColumn<int>("answer"); // -1: no request expected, 0: refused, 1: granted
    QTest::addColumn<bool>("isRecording");
    QTest::addColumn<bool>("alert");

    const int authorized = int(Status::Authorized);
    const int notDetermined = int(Status::NotDetermined);
    QTest::newRow("authorized, idle") << authorized << false << -1 << true << false;
    QTest::newRow("authorized, recording") << authorized << true << -1 << false << false;
    QTest::newRow("not determined, granted") << notDetermined << false << 1 << true << false;
    QTest::newRow("not determined, refused") << notDetermined << false << 0 << false << true;
    QTest::newRow("not determined, recording, granted") << notDetermined << true << 1 << false << false;
    QTest::newRow("not determined, recording, refused") << notDetermined << true << 0 << true << true;
    for (const bool wasRecording : {false, true}) {
        const char* const state = wasRecording ? "recording" : "idle";
        QTest::addRow("restricted, %s", state)
            << int(Status::Restricted) << wasRecording << -1 << wasRecording << true;
        QTest::addRow("denied, %s", state)
            << int(Status::Denied) << wasRecording << -1 << wasRecording << true;
        QTest::addRow("unknown status, %s", state) << 7 << wasRecording << -1 << wasRecording << true;
    }
}

void RecorderViewTest::gatesEveryCommandOnTheMicrophonePermission() {
    QFETCH(int, status);
    QFETCH(bool, wasRecording);
    QFETCH(int, answer);
    QFETCH(bool, isRecording);
    QFETCH(bool, alert);

    Panel& panel = showPanel();
    if (wasRecording)
        QVERIFY(startRecording(panel));
    const QString transcriptBefore = QStringLiteral("Left from before");
    panel.runner->setTranscription(transcriptBefore);

    QList<QThread*> recorderChangedOn;
    QObject observer;
    connect(&panel.recorder, &ObservableObject::objectDidChange, &observer,
            [&] { recorderChangedOn.append(QThread::currentThread()); });

    panel.authorization.setStatus(Status(status));
    panel.startStopButton()->click();

    if (answer >= 0) {
        // Nothing changes until the answer, and the answer is acted on only on the main thread.
        QCOMPARE(panel.authorization.requestCount(), 1);
        QCOMPARE(panel.recorder.isRecording(), wasRecording);
        QVERIFY(!panel.view.showMicAccessAlert());
        panel.authorization.answerOldestRequest(answer == 1);
        QCOMPARE(panel.recorder.isRecording(), wasRecording);
        QVERIFY(!panel.view.showMicAccessAlert());
        QTRY_COMPARE(panel.recorder.isRecording(), isRecording);
        QTRY_COMPARE(panel.view.showMicAccessAlert(), alert);
    } else {
        // Within the same call: no hop through the event loop.
        QCOMPARE(panel.authorization.requestCount(), 0);
        QCOMPARE(panel.recorder.isRecording(), isRecording);
        QCOMPARE(panel.view.showMicAccessAlert(), alert);
    }

    for (QThread* thread : recorderChangedOn)
        QCOMPARE(thread, QCoreApplication::instance()->thread());
    QCOMPARE(panel.alertIsOnScreen(), alert);
    if (alert) {
        QVERIFY(recorderChangedOn.isEmpty());
        QCOMPARE(panel.runner->transcription(), transcriptBefore);
    }
}

void RecorderViewTest::twoGrantedAnswersStartAndThenStop() {
    Panel& panel = showPanel();
    panel.authorization.setStatus(Status::NotDetermined);
    QList<bool> recordingStates;
    bool transcriptionStarted = false;
    QObject observer;
    connect(&panel.recorder, &ObservableObject::objectDidChange, &observer, [&] {
        if (recordingStates.isEmpty() || recordingStates.last() != panel.recorder.isRecording())
            recordingStates.append(panel.recorder.isRecording());
    });
    connect(panel.runner, &ObservableObject::objectDidChange, &observer,
            [&] { transcriptionStarted |= panel.runner->transcription() == processingText; });

    panel.startStopButton()->click();
    panel.startStopButton()->click();
    QCOMPARE(panel.authorization.pendingRequestCount(), 2);

    panel.authorization.answerOldestRequest(true);
    panel.authorization.answerOldestRequest(true);

    QTRY_VERIFY_WITH_TIMEOUT(transcriptionStarted, transcriptionTimeoutMs);
    QCOMPARE(recordingStates, QList<bool>({true, false}));
    QVERIFY(!panel.view.showMicAccessAlert());
}

void RecorderViewTest::startClearsTheTranscriptBeforeCallingTheRecorder_data() {
    QTest::addColumn<bool>("startCanSucceed");
    QTest::newRow("start succeeds") << true;
    QTest::newRow("start fails") << false;
}

void RecorderViewTest::startClearsTheTranscriptBeforeCallingTheRecorder() {
    QFETCH(bool, startCanSucceed);

    // A recording folder that is a plain file cannot be created, not even by root.
    const QString blocker = m_home.filePath(QStringLiteral("not-a-folder"));
    QFile blockerFile(blocker);
    QVERIFY(blockerFile.open(QIODevice::WriteOnly));
    blockerFile.close();
    Panel& panel = showPanel(startCanSucceed ? QString() : blocker + QStringLiteral("/recording.wav"));
    panel.runner->setTranscription(QStringLiteral("An earlier dictation"));

    QStringList events;
    QObject observer;
    connect(panel.runner, &ObservableObject::objectDidChange, &observer,
            [&] { events.append(QStringLiteral("transcription: ") + panel.runner->transcription()); });
    connect(&panel.recorder, &ObservableObject::objectWillChange, &observer,
            [&] { events.append(QStringLiteral("recorder")); });

    panel.authorization.setStatus(Status::Authorized);
    panel.startStopButton()->click();

    QVERIFY(!events.isEmpty());
    QCOMPARE(events.first(), QStringLiteral("transcription: "));
    QVERIFY(events.contains(QStringLiteral("recorder")));
    QCOMPARE(panel.recorder.isRecording(), startCanSucceed);
    QCOMPARE(panel.transcriptTextArea()->toPlainText(), QString());
    QCOMPARE(panel.startStopButton()->text(),
             startCanSucceed ? QStringLiteral("Stop") : QStringLiteral("Start"));
    QFile::remove(blocker);
}

void RecorderViewTest::stopHandsTheRecordingToTheRunnerAfterClearingTheTranscript() {
    Panel& panel = showPanel(m_home.filePath(QStringLiteral("elsewhere/dictation.wav")));
    QVERIFY(startRecording(panel));
    panel.runner->setTranscription(QStringLiteral("Shown while recording"));

    QStringList events;
    QObject observer;
    connect(&panel.recorder, &ObservableObject::objectDidChange, &observer, [&] {
        events.append(QStringLiteral("recording: ") +
                      (panel.recorder.isRecording() ? QStringLiteral("yes") : QStringLiteral("no")));
    });
    connect(panel.runner, &ObservableObject::objectDidChange, &observer,
            [&] { events.append(QStringLiteral("transcription: ") + panel.runner->transcription()); });

    panel.startStopButton()->click();

    // The recorder has closed its file before the transcript is cleared, and the runner only queues
    // its work: nothing of it is published within the command.
    QVERIFY(events.size() >= 2);
    QCOMPARE(events.first(), QStringLiteral("recording: no"));
    QCOMPARE(events.last(), QStringLiteral("transcription: "));
    QVERIFY(PulseAudioDaemon::recordedFrames(panel.recorder.audioFileURL()).value_or(0) >=
            someRecordedFrames);

    QTRY_VERIFY_WITH_TIMEOUT(events.contains(QStringLiteral("transcription: ") + processingText),
                             transcriptionTimeoutMs);
    waitUntilRunnerIsIdle(panel);
    // The runner read the recorder's own file: a wrong location would end in a loading error.
    QVERIFY2(!panel.runner->transcription().startsWith(QStringLiteral("Error")),
             qPrintable(panel.runner->transcription()));
    QCOMPARE(panel.transcriptTextArea()->toPlainText(), panel.runner->transcription());
}

void RecorderViewTest::aStartBeforeTheRunnerTakesTheRecordingIsRefused() {
    Panel& panel = showPanel();
    QVERIFY(startRecording(panel));
    int starts = 0;
    bool wasRecording = true;
    QObject observer;
    connect(&panel.recorder, &ObservableObject::objectDidChange, &observer, [&] {
        if (panel.recorder.isRecording() && !wasRecording)
            ++starts;
        wasRecording = panel.recorder.isRecording();
    });

    // Stop, and press again before the event loop has let the runner mark itself processing.
    panel.startStopButton()->click();
    QVERIFY(panel.startStopButton()->isEnabled());
    panel.startStopButton()->click();
    QVERIFY(!panel.recorder.isRecording());

    waitUntilRunnerIsIdle(panel);
    QCOMPARE(starts, 0);

    // Once the runner has the recording, Start records again.
    panel.startStopButton()->click();
    QVERIFY(panel.recorder.isRecording());
}

void RecorderViewTest::appearingClearsTheTranscriptAndMakesTheRunnerOnce() {
    m_panel = std::make_unique<Panel>(m_home.filePath(QStringLiteral("recording.wav")));
    Panel& panel = *m_panel;
    QCOMPARE(panel.runnersMade, 0);

    panel.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel.view));
    QCOMPARE(panel.runnersMade, 1);
    QCOMPARE(panel.runner->transcription(), QString());

    for (int appearance = 0; appearance < 2; ++appearance) {
        panel.runner->setTranscription(QStringLiteral("An earlier dictation"));
        panel.view.hide();
        QCOMPARE(panel.runner->transcription(), QStringLiteral("An earlier dictation"));
        panel.view.show();
        QCOMPARE(panel.runner->transcription(), QString());
        QCOMPARE(panel.transcriptTextArea()->toPlainText(), QString());
    }
    QCOMPARE(panel.runnersMade, 1);
    QVERIFY(!panel.recorder.isRecording());
    QVERIFY(!panel.view.showMicAccessAlert());
}

void RecorderViewTest::okDismissesTheAlertSoALaterRefusalShowsItAgain() {
    Panel& panel = showPanel();
    panel.authorization.setStatus(Status::Denied);

    for (int refusal = 0; refusal < 2; ++refusal) {
        panel.startStopButton()->click();
        QVERIFY(panel.view.showMicAccessAlert());
        QMessageBox* alert = panel.alert();
        QVERIFY(alert);
        QTRY_VERIFY(alert->isVisible());
        QCOMPARE(alert->windowModality(), Qt::WindowModal);
        QCOMPARE(alert->text(), alertTitle);
        QCOMPARE(alert->informativeText(), alertMessage);
        QCOMPARE(alert->informativeText().toUtf8().size(), 104);
        QCOMPARE(alert->buttons().size(), 1);
        QCOMPARE(alert->buttons().first()->text(), QStringLiteral("OK"));
        if (refusal == 0)
            saveScreenshot(*alert, QStringLiteral("panel-alert.png"));

        alert->buttons().first()->click();
        QTRY_VERIFY(!alert->isVisible());
        QVERIFY(!panel.view.showMicAccessAlert());
    }
}

void RecorderViewTest::closeHidesTheWindowThroughTheBinding() {
    Panel& panel = showPanel();
    QVERIFY(startRecording(panel));
    panel.closeButton()->click();
    QVERIFY(panel.isShowingWrites.isEmpty());

    panel.startStopButton()->click();
    waitUntilRunnerIsIdle(panel);
    panel.closeButton()->click();
    QCOMPARE(panel.isShowingWrites, QList<bool>({false}));
    QVERIFY(!panel.isShowing);
}

void RecorderViewTest::theTranscriptIsNeverEditable_data() {
    QTest::addColumn<QString>("published");
    QTest::newRow("empty") << QString();
    QTest::newRow("text that looks like markup, with outer white space")
        << QStringLiteral("  <b>Hello</b> &amp; 1 < 2\n\tsecond line  \n");
}

void RecorderViewTest::theTranscriptIsNeverEditable() {
    QFETCH(QString, published);

    Panel& panel = showPanel();
    panel.runner->setTranscription(published);
    QPlainTextEdit* textArea = panel.transcriptTextArea();
    QCOMPARE(textArea->toPlainText(), published);

    QTest::mouseClick(textArea->viewport(), Qt::LeftButton);
    textArea->setFocus();
    QTest::keyClicks(textArea, QStringLiteral("typed"));
    QTest::keyClick(textArea, Qt::Key_Backspace);
    QTest::keyClick(textArea, Qt::Key_Delete);
    QTest::keyClick(textArea, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(textArea, Qt::Key_Z, Qt::ControlModifier);

    QVERIFY(textArea->isReadOnly());
    QCOMPARE(textArea->toPlainText(), published);
    QCOMPARE(panel.runner->transcription(), published);
}

void RecorderViewTest::layoutHasTheGivenGeometry() {
    Panel& panel = showPanel();
    const QWidget* block = panel.transcriptBlock();
    const QPlainTextEdit* textArea = panel.transcriptTextArea();
    const QPushButton* startStop = panel.startStopButton();
    const QPushButton* close = panel.closeButton();

    QCOMPARE(panel.view.size(), QSize(480, 280));

    const QRect blockRect = block->geometry();
    QCOMPARE(blockRect.left(), 20);
    QCOMPARE(blockRect.width(), 440);
    QVERIFY2(blockRect.height() >= 204, qPrintable(QString::number(blockRect.height())));
    QCOMPARE(textArea->geometry(), blockRect.translated(-blockRect.topLeft()).adjusted(12, 12, -12, -12));
    QVERIFY(textArea->height() >= 180);

    QCOMPARE(labelArea(*startStop).size(), QSize(80, 32));
    QCOMPARE(labelArea(*close).size(), QSize(80, 32));
    QCOMPARE(startStop->y(), close->y());
    QCOMPARE(close->x() - (startStop->x() + startStop->width()), 16);
    QCOMPARE(startStop->y() - (blockRect.y() + blockRect.height()), 20);
    // The row is centred in the column, the column in the panel.
    const int rowLeft = startStop->x() - 20;
    const int rowRight = 460 - (close->x() + close->width());
    QVERIFY2(qAbs(rowLeft - rowRight) <= 1, qPrintable(QStringLiteral("%1 %2").arg(rowLeft).arg(rowRight)));
    const int columnTop = blockRect.y();
    const int columnBottom = 280 - (startStop->y() + startStop->height());
    QVERIFY2(qAbs(columnTop - columnBottom) <= 1,
             qPrintable(QStringLiteral("%1 %2").arg(columnTop).arg(columnBottom)));
    QVERIFY(columnTop <= 20);

    for (const QPushButton* button : {startStop, close}) {
        QCOMPARE(button->font().pixelSize(), 14);
        QCOMPARE(button->font().weight(), QFont::Medium);
        QCOMPARE(button->font().family(), QApplication::font().family());
    }
    QCOMPARE(textArea->font().pixelSize(), 14);
    QVERIFY(startStop->isDefault());

    // The card: base colour inside its padding, rounded corners, a faint border, a red Close.
    const QImage panelImage = panel.view.grab().toImage();
    const QColor base = panel.view.palette().color(QPalette::Base);
    const QColor window = panel.view.palette().color(QPalette::Window);
    const QPoint insidePadding = blockRect.topLeft() + QPoint(6, blockRect.height() / 2);
    QCOMPARE(panelImage.pixelColor(insidePadding), base);
    QCOMPARE(panelImage.pixelColor(blockRect.topLeft()), window);
    const QColor border = panelImage.pixelColor(blockRect.left(), blockRect.center().y());
    QVERIFY(border != base && border != window);
    const QColor closeFill =
        panelImage.pixelColor(close->geometry().left() + 4, close->geometry().center().y());
    QVERIFY2(closeFill.red() > 200 && closeFill.green() < 110 && closeFill.blue() < 110,
             qPrintable(closeFill.name()));
}

void RecorderViewTest::followsADarkPalette() {
    Panel& panel = showPanel();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(0x2b, 0x2b, 0x2b));
    dark.setColor(QPalette::WindowText, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x1e));
    dark.setColor(QPalette::Text, QColor(0xe6, 0xe6, 0xe6));
    dark.setColor(QPalette::PlaceholderText, QColor(0xe6, 0xe6, 0xe6, 0x80));
    dark.setColor(QPalette::Button, QColor(0x3c, 0x3c, 0x3c));
    dark.setColor(QPalette::ButtonText, QColor(0xe6, 0xe6, 0xe6));
    panel.view.setPalette(dark);
    panel.runner->setTranscription(QStringLiteral("Hello world, this is a short dictation test."));

    const QImage image = panel.view.grab().toImage();
    const QRect blockRect = panel.transcriptBlock()->geometry();
    QCOMPARE(image.pixelColor(blockRect.topLeft() + QPoint(6, blockRect.height() / 2)),
             dark.color(QPalette::Base));
    saveScreenshot(panel.view, QStringLiteral("panel-idle-dark.png"));
}

QTEST_MAIN(RecorderViewTest)
#include "RecorderViewTest.moc"
