#pragma once

#include "AudioRecorder.h"
#include "MenuBarManager.h"

#include <memory>

namespace murmelo {

// The root of the application: the one recorder and the one tray manager of the run, both kept until
// the process ends. It opens no window of its own; everything the user sees comes from the tray.
class MurmeloAppApp {
public:
    MurmeloAppApp();
    explicit MurmeloAppApp(MenuBarManager::Dependencies dependencies);

    MurmeloAppApp(const MurmeloAppApp&) = delete;
    MurmeloAppApp& operator=(const MurmeloAppApp&) = delete;

    AudioRecorder& recorder() const { return *m_recorder; }
    MenuBarManager& menuBarManager() const { return *m_menuBarManager; }

    // Without a tray the application could not be reached at all, so the window opens at once. The icon
    // still joins a tray that appears later.
    void showRecorderWindowIfNoTray(bool isTrayAvailable);

    // The process entry: runs the application until Quit, which ends the process directly.
    static int main(int argc, char* argv[]);

private:
    std::unique_ptr<AudioRecorder> m_recorder;
    std::unique_ptr<MenuBarManager> m_menuBarManager;
};

} // namespace murmelo
