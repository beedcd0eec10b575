#include "MenuBarManager.h"

#include "Console.h"
#include "RecorderView.h"
#include "Resources.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QImageReader>
#include <QMenu>
#include <QScreen>
#include <QSystemTrayIcon>
#include <cstdio>
#include <cstdlib>

namespace murmelo {

namespace {

struct LoadedIcon {
    QIcon icon;
    QSizeF size;
};

// An icon file that cannot be decoded counts as missing, so that the fallback still gets its chance.
std::optional<LoadedIcon> loadIcon(const std::optional<QString>& path) {
    if (!path)
        return std::nullopt;
    QImageReader reader(*path);
    const QSize size = reader.size();
    if (!reader.canRead() || !size.isValid())
        return std::nullopt;
    return LoadedIcon{QIcon(*path), QSizeF(size)};
}

QString describeSize(const QSizeF& size) {
    return QStringLiteral("%1 x %2").arg(size.width(), 0, 'f', 1).arg(size.height(), 0, 'f', 1);
}

} // namespace

std::optional<QString> MenuBarManager::findMenuIconResource() {
    return Resources::pathFor(QStringLiteral("MenuIcon"), QStringLiteral("svg"));
}

QIcon MenuBarManager::themeMicrophoneIcon() {
    return QIcon::fromTheme(QStringLiteral("audio-input-microphone"));
}

QWidget* MenuBarManager::makeRecorderView(AudioRecorder& recorder, Binding<bool> isShowing) {
    return new RecorderView(recorder, std::move(isShowing));
}

MenuBarManager::MenuBarManager(AudioRecorder& recorder, Dependencies dependencies, QObject* parent)
    : ObservableObject(parent)
    , m_recorder(recorder)
    , m_dependencies(std::move(dependencies)) {
    setupMenuBar();
}

MenuBarManager::~MenuBarManager() = default;

void MenuBarManager::setupMenuBar() {
    m_statusItem = new QSystemTrayIcon(this);

    if (const std::optional<LoadedIcon> menuIcon = loadIcon(m_dependencies.findMenuIcon())) {
        Console::writeLine(QStringLiteral("✅ MenuBar: Successfully loaded MenuIcon from Assets.xcassets"));
        Console::writeLine(QStringLiteral("📏 MenuBar: Icon size = ") + describeSize(menuIcon->size));
        QIcon icon = menuIcon->icon;
        icon.setIsMask(true);
        m_statusItem->setIcon(icon);
    } else {
        Console::writeLine(QStringLiteral("⚠️ MenuBar: MenuIcon not found, using fallback system icon"));
        QIcon fallback = m_dependencies.fallbackIcon();
        if (!fallback.isNull()) {
            Console::writeLine(QStringLiteral("✅ MenuBar: Using fallback mic.circle icon"));
            fallback.setIsMask(true);
            m_statusItem->setIcon(fallback);
            // The tray reads the tool tip as the icon's accessible name.
            m_statusItem->setToolTip(QStringLiteral("Murmelo"));
        } else {
            Console::writeLine(QStringLiteral("❌ MenuBar: Both MenuIcon and fallback failed!"));
        }
    }

    setupMenu();
}

void MenuBarManager::setupMenu() {
    m_menu = std::make_unique<QMenu>();

    QAction* open = m_menu->addAction(QStringLiteral("Open Murmelo"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    open->setShortcutVisibleInContextMenu(true);
    connect(open, &QAction::triggered, this, [this] { openMurmelo(); });

    m_menu->addSeparator();

    QAction* quit = m_menu->addAction(QStringLiteral("Quit"));
    quit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    quit->setShortcutVisibleInContextMenu(true);
    connect(quit, &QAction::triggered, this, [this] { quitApplication(); });

    m_statusItem->setContextMenu(m_menu.get());
    // Trays give the context menu to a right click only; a left click opens the same menu.
    connect(m_statusItem, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    m_menu->popup(QCursor::pos());
            });
    // Shown even without a tray: the icon then appears as soon as a tray does.
    m_statusItem->show();
}

void MenuBarManager::openMurmelo() {
    if (!m_recorderWindow)
        createRecorderWindow();
    if (!m_recorderWindow)
        return;
    m_recorderWindow->show();
    m_recorderWindow->raise();
    m_recorderWindow->activateWindow();
    m_isRecorderWindowVisible.set(true);
}

void MenuBarManager::quitApplication() {
    // QThreadPool's global instance would wait at exit for a transcription still running.
    std::fflush(nullptr);
    std::_Exit(EXIT_SUCCESS);
}

bool MenuBarManager::windowShouldClose(QWidget*) {
    hideRecorderWindow();
    return false;
}

void MenuBarManager::createRecorderWindow() {
    Binding<bool> isShowing([this] { return m_isRecorderWindowVisible(); },
                            [this](bool value) {
                                m_isRecorderWindowVisible.set(value);
                                if (!value)
                                    hideRecorderWindow();
                            });
    QWidget* panel = m_dependencies.makePanel(m_recorder, std::move(isShowing));

    m_recorderWindow = std::make_unique<RecorderWindow>(panel);
    m_recorderWindow->setWindowTitle(QStringLiteral("Murmelo"));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QPoint origin = RecorderWindow::initialContentOrigin(screen->availableGeometry());
        m_recorderWindow->setGeometry(QRect(origin, RecorderWindow::contentSize));
    }
    m_recorderWindow->setFrameAutosaveName(QStringLiteral("RecorderWindow"));
    RecorderWindow* window = m_recorderWindow.get();
    m_recorderWindow->setShouldClose([this, window] { return windowShouldClose(window); });
}

void MenuBarManager::hideRecorderWindow() {
    if (m_recorderWindow)
        m_recorderWindow->hide();
    m_isRecorderWindowVisible.set(false);
}

} // namespace murmelo
