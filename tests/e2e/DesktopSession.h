#pragma once

#include <QPoint>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

// A private X display with an optional system tray, and the command-line tools a test uses to look at
// it and drive it as a user would: xwininfo and xdotool to find and click windows, xclip for the
// clipboard, ImageMagick's import for screenshots.
class DesktopSession {
public:
    struct Window {
        QString id;
        QString name;
        QString instance;
        QString windowClass;
        QRect geometry; // in root coordinates
    };

    DesktopSession();
    ~DesktopSession();

    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Starts Xvfb on a free display; false with errorString() when it does not come up.
    bool start();
    QString display() const { return m_display; }
    QRect screenGeometry() const { return {0, 0, 1024, 768}; }
    QString errorString() const { return m_errorString; }

    // A tray host (trayer) along the top edge of the screen.
    bool startTray();
    void stopTray();
    // The tray's own window, once it is there.
    std::optional<Window> trayPanel() const;

    // Every window of the display, mapped or not, from xwininfo.
    std::vector<Window> windows() const;
    // The windows with this exact name that are on screen.
    std::vector<Window> visibleWindowsNamed(const QString& name) const;
    bool isViewable(const Window& window) const;

    void click(QPoint position) const;
    QString clipboardText() const;
    bool screenshot(const QString& path) const;

    // Runs one of the X tools against the display and returns its standard output.
    QByteArray run(const QString& program, const QStringList& arguments, int timeoutMs = 20000) const;

private:
    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_tray;
    QString m_display;
    QString m_errorString;
};

} // namespace murmelo
