// Runs the application on the offscreen platform with the model and sound server of its environment:
// opens the window, records a second of the default input, stops, and chooses "Quit" from the tray menu
// while the recording is being transcribed. Writes "transcribing" just before it quits, or "error ..."
// when it could not get that far; the test judges how the process ended.
#include "MurmeloAppApp.h"
#include "PulseAudioDaemon.h"
#include "TranscriptView.h"

#include <QAction>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMenu>
#include <QPushButton>
#include <cstdio>
#include <functional>

using namespace murmelo;

namespace {

void report(const QByteArray& line) {
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

bool waitFor(const std::function<bool()>& condition, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    MurmeloAppApp app;
    app.menuBarManager().openMurmelo();
    RecorderWindow* window = app.menuBarManager().recorderWindow();
    auto* startStop = window ? window->findChild<QPushButton*>(QStringLiteral("startStopButton")) : nullptr;
    auto* transcript = window ? window->findChild<TranscriptView*>(QStringLiteral("transcript")) : nullptr;
    if (!startStop || !transcript) {
        report("error the recorder window has no Start/Stop button or transcript");
        return 1;
    }
    if (!waitFor([&] { return startStop->isEnabled(); }, 30000)) {
        report("error Start never became available");
        return 1;
    }
    startStop->click();
    const QString recording = app.recorder().audioFileURL();
    if (!waitFor([&] { return PulseAudioDaemon::recordedFrames(recording).value_or(0) >= 16000; }, 30000)) {
        report("error nothing was recorded");
        return 1;
    }
    startStop->click();
    if (!waitFor([&] { return transcript->text() == QStringLiteral("Processing audio..."); }, 30000)) {
        report("error the transcription did not start");
        return 1;
    }
    QAction* quit = nullptr;
    for (QAction* action : app.menuBarManager().menu()->actions()) {
        if (action->text() == QStringLiteral("Quit"))
            quit = action;
    }
    if (!quit) {
        report("error the menu has no Quit");
        return 1;
    }
    report("transcribing");
    quit->trigger();
    report("error Quit returned");
    return 1;
}
