#include "MurmeloAppApp.h"

#include "Console.h"
#include "SingleInstance.h"

#include <QApplication>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstdlib>

namespace murmelo {

MurmeloAppApp::MurmeloAppApp()
    : MurmeloAppApp(MenuBarManager::Dependencies{}) {}

MurmeloAppApp::MurmeloAppApp(MenuBarManager::Dependencies dependencies)
    : m_recorder(std::make_unique<AudioRecorder>())
    , m_menuBarManager(std::make_unique<MenuBarManager>(*m_recorder, std::move(dependencies))) {}

void MurmeloAppApp::showRecorderWindowIfNoTray(bool isTrayAvailable) {
    if (isTrayAvailable)
        return;
    Console::writeLine(
        QStringLiteral("⚠️ MenuBar: No system tray available, showing the recorder window instead"));
    m_menuBarManager->openMurmelo();
}

int MurmeloAppApp::main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Murmelo"));
    QCoreApplication::setApplicationName(QStringLiteral("Murmelo"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.murmelo.Murmelo"));
    QApplication::setQuitOnLastWindowClosed(false);

    SingleInstance instance;
    const Result<SingleInstance::Role> role = instance.claim();
    if (role && role.value() == SingleInstance::Role::AskedRunningCopy) {
        Console::writeLine(QStringLiteral("Murmelo is already running: its window was asked to open"));
        return EXIT_SUCCESS;
    }
    if (!role) {
        Console::writeLine(QStringLiteral("⚠️ ") + role.error().description);
        if (role.error().code == SingleInstance::runningCopyNotAnswering)
            return EXIT_FAILURE;
    }

    // Lives until the process ends: nothing of the graph is torn down.
    auto* app = new MurmeloAppApp();
    QObject::connect(&instance, &SingleInstance::activationRequested, &app->menuBarManager(),
                     [app] { app->menuBarManager().openMurmelo(); });
    app->showRecorderWindowIfNoTray(QSystemTrayIcon::isSystemTrayAvailable());

    const int status = QApplication::exec();
    // Leaving main would run the destructors, and QThreadPool's would wait for a running transcription.
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace murmelo
