#include "DesktopSession.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

namespace murmelo {

namespace {

constexpr int startTimeoutMs = 30000;

void stop(std::unique_ptr<QProcess>& process) {
    if (!process)
        return;
    if (process->state() != QProcess::NotRunning) {
        process->terminate();
        if (!process->waitForFinished(5000)) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
    process.reset();
}

} // namespace

DesktopSession::DesktopSession() = default;

DesktopSession::~DesktopSession() {
    stop(m_tray);
    stop(m_server);
}

bool DesktopSession::start() {
    // -displayfd makes the server pick a free display itself and write its number once it accepts
    // connections, so there is neither a guess nor a wait.
    m_server = std::make_unique<QProcess>();
    m_server->setProcessChannelMode(QProcess::SeparateChannels);
    m_server->start(QStringLiteral("Xvfb"),
                    {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                     QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                     QStringLiteral("tcp")});
    if (!m_server->waitForStarted(startTimeoutMs)) {
        m_errorString = QStringLiteral("Xvfb does not start: ") + m_server->errorString();
        return false;
    }
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!m_server->canReadLine() && !deadline.hasExpired() && m_server->state() == QProcess::Running)
        m_server->waitForReadyRead(100);
    if (!m_server->canReadLine()) {
        m_errorString = QStringLiteral("Xvfb gave no display: ") +
                        QString::fromLocal8Bit(m_server->readAllStandardError().right(2000));
        return false;
    }
    m_display = QStringLiteral(":") + QString::fromLatin1(m_server->readLine().trimmed());
    return true;
}

bool DesktopSession::startTray() {
    m_tray = std::make_unique<QProcess>();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    m_tray->setProcessEnvironment(environment);
    m_tray->setProcessChannelMode(QProcess::MergedChannels);
    m_tray->start(QStringLiteral("trayer"),
                  {QStringLiteral("--edge"), QStringLiteral("top"), QStringLiteral("--align"),
                   QStringLiteral("right"), QStringLiteral("--widthtype"), QStringLiteral("pixel"),
                   QStringLiteral("--width"), QStringLiteral("200"), QStringLiteral("--height"),
                   QStringLiteral("32"), QStringLiteral("--SetDockType"), QStringLiteral("true"),
                   QStringLiteral("--SetPartialStrut"), QStringLiteral("true"),
                   QStringLiteral("--transparent"), QStringLiteral("false")});
    if (!m_tray->waitForStarted(startTimeoutMs)) {
        m_errorString = QStringLiteral("trayer does not start: ") + m_tray->errorString();
        return false;
    }
    const QDeadlineTimer deadline(startTimeoutMs);
    while (!trayPanel()) {
        if (deadline.hasExpired() || m_tray->state() != QProcess::Running) {
            m_errorString =
                QStringLiteral("trayer shows no panel: ") + QString::fromLocal8Bit(m_tray->readAll());
            return false;
        }
        QThread::msleep(50);
    }
    return true;
}

void DesktopSession::stopTray() {
    stop(m_tray);
}

std::optional<DesktopSession::Window> DesktopSession::trayPanel() const {
    // Once trayer's panel is on screen, applications find its tray.
    for (const Window& window : windows()) {
        if (window.windowClass == QLatin1String("trayer") && window.instance == QLatin1String("panel") &&
            isViewable(window))
            return window;
    }
    return std::nullopt;
}

std::vector<DesktopSession::Window> DesktopSession::windows() const {
    // A line of "xwininfo -root -tree":
    //   0x200010 "Murmelo": ("murmelo" "Murmelo")  22x30+0+0  +1001+1
    static const QRegularExpression line(QStringLiteral(
        R"re(^\s*(0x[0-9a-f]+) (?:"(.*?)"|\(has no name\)):\s*(?:\((?:"([^"]*)" "([^"]*)")?\))?\s*(\d+)x(\d+)[+-]-?\d+[+-]-?\d+\s+\+?(-?\d+)\+?(-?\d+))re"));
    std::vector<Window> result;
    const QString tree = QString::fromUtf8(
        run(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")}));
    for (const QString& text : tree.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = line.match(text);
        if (!match.hasMatch())
            continue;
        result.push_back(Window{match.captured(1), match.captured(2), match.captured(3), match.captured(4),
                                QRect(match.captured(7).toInt(), match.captured(8).toInt(),
                                      match.captured(5).toInt(), match.captured(6).toInt())});
    }
    return result;
}

std::vector<DesktopSession::Window> DesktopSession::visibleWindowsNamed(const QString& name) const {
    // xdotool's search misses popups such as menus, so each window is asked for its map state itself.
    std::vector<Window> result;
    for (const Window& window : windows()) {
        if (window.name == name && isViewable(window))
            result.push_back(window);
    }
    return result;
}

bool DesktopSession::isViewable(const Window& window) const {
    return run(QStringLiteral("xwininfo"), {QStringLiteral("-id"), window.id})
        .contains("Map State: IsViewable");
}

void DesktopSession::click(QPoint position) const {
    run(QStringLiteral("xdotool"),
        {QStringLiteral("mousemove"), QString::number(position.x()), QString::number(position.y()),
         QStringLiteral("click"), QStringLiteral("1")});
}

QString DesktopSession::clipboardText() const {
    return QString::fromUtf8(run(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                                           QStringLiteral("clipboard")}));
}

bool DesktopSession::screenshot(const QString& path) const {
    run(QStringLiteral("import"), {QStringLiteral("-window"), QStringLiteral("root"), path});
    return QFileInfo::exists(path);
}

QByteArray DesktopSession::run(const QString& program, const QStringList& arguments, int timeoutMs) const {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), m_display);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return process.readAllStandardOutput();
}

} // namespace murmelo
