#pragma once

#include "AudioRecorder.h"
#include "Binding.h"
#include "ObservableObject.h"
#include "RecorderWindow.h"

#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QSystemTrayIcon;
class QWidget;

namespace murmelo {

// The application's presence in the system tray: the icon, its two-command menu and the one recorder
// window, which it creates on first use and only ever hides. It publishes whether that window is shown.
// Main thread only.
class MenuBarManager : public ObservableObject {
    Q_OBJECT
public:
    static std::optional<QString> findMenuIconResource();
    static QIcon themeMicrophoneIcon();
    static QWidget* makeRecorderView(AudioRecorder& recorder, Binding<bool> isShowing);

    // What the manager takes from its surroundings; the defaults are the application's own.
    struct Dependencies {
        // The file of the icon resource "MenuIcon", if there is one.
        std::function<std::optional<QString>()> findMenuIcon = findMenuIconResource;
        // The desktop theme's microphone icon; a null icon when the theme has none.
        std::function<QIcon()> fallbackIcon = themeMicrophoneIcon;
        // Builds the recorder panel shown in the window.
        std::function<QWidget*(AudioRecorder&, Binding<bool> isShowing)> makePanel = makeRecorderView;
    };

    MenuBarManager(AudioRecorder& recorder, Dependencies dependencies, QObject* parent = nullptr);
    ~MenuBarManager() override;

    AudioRecorder& recorder() const { return m_recorder; }
    bool isRecorderWindowVisible() const { return m_isRecorderWindowVisible(); }
    QSystemTrayIcon* statusItem() const { return m_statusItem; }
    QMenu* menu() const { return m_menu.get(); }
    RecorderWindow* recorderWindow() const { return m_recorderWindow.get(); }

    // "Open Murmelo": shows the recorder window in front with keyboard focus, building it the first time.
    void openMurmelo();
    // "Quit": ends the process at once, without stopping a recording or waiting for a transcription.
    [[noreturn]] void quitApplication();
    // The title bar's close button: hides the recorder window instead, so it is never destroyed.
    bool windowShouldClose(QWidget* window);

private:
    void setupMenuBar();
    void setupMenu();
    void createRecorderWindow();
    void hideRecorderWindow();

    AudioRecorder& m_recorder;
    Dependencies m_dependencies;
    Published<bool> m_isRecorderWindowVisible{*this, false};
    QSystemTrayIcon* m_statusItem = nullptr;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<RecorderWindow> m_recorderWindow;
};

} // namespace murmelo
