#include "MenuBarManager.h"

#include "ConsoleCapture.h"
#include "IsolatedHome.h"
#include "PlaceholderPanel.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <vector>

using namespace murmelo;

namespace {

// A manager whose panels are placeholders; the test keeps every panel made.
struct Fixture {
    explicit Fixture(MenuBarManager::Dependencies dependencies = {}) {
        dependencies.makePanel = [this](AudioRecorder& shared, Binding<bool> isShowing) {
            panels.push_back(new PlaceholderPanel(shared, std::move(isShowing)));
            return panels.back();
        };
        ConsoleCapture quiet;
        manager = std::make_unique<MenuBarManager>(recorder, std::move(dependencies));
    }

    int recorderWindowCount() const {
        int count = 0;
        for (QWidget* widget : QApplication::topLevelWidgets())
            count += qobject_cast<RecorderWindow*>(widget) != nullptr;
        return count;
    }

    QTemporaryDir folder;
    AudioRecorder recorder{folder.filePath(QStringLiteral("recording.wav"))};
    std::vector<PlaceholderPanel*> panels;
    std::unique_ptr<MenuBarManager> manager;
};

QIcon someIcon() {
    QPixmap pixmap(22, 22);
    pixmap.fill(Qt::black);
    return QIcon(pixmap);
}

enum class MenuIconFile { Shipped, Missing, Undecodable };

} // namespace

Q_DECLARE_METATYPE(MenuIconFile)

class MenuBarManagerTest : public QObject {
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }

    void iconBranches_data() {
        QTest::addColumn<MenuIconFile>("menuIcon");
        QTest::addColumn<bool>("themeHasIcon");
        QTest::addColumn<QStringList>("expectedLines");
        QTest::addColumn<bool>("expectIcon");
        QTest::addColumn<QString>("expectedToolTip");

        const QString notFound =
            QStringLiteral("⚠️ MenuBar: MenuIcon not found, using fallback system icon");
        const QString usingFallback = QStringLiteral("✅ MenuBar: Using fallback mic.circle icon");
        QTest::newRow("shipped MenuIcon")
            << MenuIconFile::Shipped << true
            << QStringList{QStringLiteral("✅ MenuBar: Successfully loaded MenuIcon from Assets.xcassets"),
                           QStringLiteral("📏 MenuBar: Icon size = 22.0 x 22.0")}
            << true << QString();
        QTest::newRow("theme fallback")
            << MenuIconFile::Missing << true << QStringList{notFound, usingFallback} << true
            << QStringLiteral("Murmelo");
        QTest::newRow("undecodable MenuIcon falls back")
            << MenuIconFile::Undecodable << true << QStringList{notFound, usingFallback} << true
            << QStringLiteral("Murmelo");
        QTest::newRow("neither")
            << MenuIconFile::Missing << false
            << QStringList{notFound, QStringLiteral("❌ MenuBar: Both MenuIcon and fallback failed!")} << false
            << QString();
    }

    void iconBranches() {
        QFETCH(MenuIconFile, menuIcon);
        QFETCH(bool, themeHasIcon);
        QFETCH(QStringList, expectedLines);
        QFETCH(bool, expectIcon);
        QFETCH(QString, expectedToolTip);

        QTemporaryDir folder;
        const QString garbage = folder.filePath(QStringLiteral("MenuIcon.svg"));
        QFile file(garbage);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("<svg this is not");
        file.close();

        MenuBarManager::Dependencies dependencies;
        switch (menuIcon) {
        case MenuIconFile::Shipped:
            // The default lookup: the icon the build copied among the application's resources.
            break;
        case MenuIconFile::Missing:
            dependencies.findMenuIcon = [] { return std::nullopt; };
            break;
        case MenuIconFile::Undecodable:
            dependencies.findMenuIcon = [garbage] { return std::optional<QString>(garbage); };
            break;
        }
        dependencies.fallbackIcon = [themeHasIcon] { return themeHasIcon ? someIcon() : QIcon(); };
        dependencies.makePanel = [](AudioRecorder& recorder, Binding<bool> isShowing) {
            return new PlaceholderPanel(recorder, std::move(isShowing));
        };

        QTemporaryDir recordings;
        AudioRecorder recorder(recordings.filePath(QStringLiteral("recording.wav")));
        std::unique_ptr<MenuBarManager> manager;
        QStringList lines;
        {
            ConsoleCapture console;
            manager = std::make_unique<MenuBarManager>(recorder, std::move(dependencies));
            lines = console.lines();
        }

        QCOMPARE(lines, expectedLines);
        const QIcon icon = manager->statusItem()->icon();
        QCOMPARE(!icon.isNull(), expectIcon);
        if (expectIcon)
            QVERIFY2(icon.isMask(), "the tray icon follows the panel's colour");
        QCOMPARE(manager->statusItem()->toolTip(), expectedToolTip);
        QCOMPARE(manager->statusItem()->contextMenu(), manager->menu());
    }

    void menuHasOpenSeparatorQuit() {
        Fixture fixture;
        const QList<QAction*> actions = fixture.manager->menu()->actions();
        QCOMPARE(actions.size(), 3);

        QCOMPARE(actions[0]->text(), QStringLiteral("Open Murmelo"));
        QCOMPARE(actions[0]->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QVERIFY(actions[0]->isShortcutVisibleInContextMenu());

        QVERIFY(actions[1]->isSeparator());

        QCOMPARE(actions[2]->text(), QStringLiteral("Quit"));
        QCOMPARE(actions[2]->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QVERIFY(actions[2]->isShortcutVisibleInContextMenu());

        for (const QAction* action : actions) {
            QVERIFY(action->icon().isNull());
            QVERIFY(!action->isCheckable());
        }
    }

    void leftClickOpensTheMenuAndNothingElse() {
        Fixture fixture;
        emit fixture.manager->statusItem()->activated(QSystemTrayIcon::Trigger);
        QTRY_VERIFY(fixture.manager->menu()->isVisible());
        QVERIFY(!fixture.manager->recorderWindow());
        QVERIFY(!fixture.manager->isRecorderWindowVisible());
        fixture.manager->menu()->hide();
    }

    void noWindowUntilFirstOpen() {
        Fixture fixture;
        QVERIFY(!fixture.manager->recorderWindow());
        QCOMPARE(fixture.recorderWindowCount(), 0);
        QVERIFY(fixture.panels.empty());
        QVERIFY(!fixture.manager->isRecorderWindowVisible());
    }

    void openMurmeloBuildsExactlyOneWindow() {
        Fixture fixture;
        QAction* open = fixture.manager->menu()->actions().first();

        open->trigger();
        RecorderWindow* window = fixture.manager->recorderWindow();
        QVERIFY(window);
        QTRY_COMPARE(QApplication::activeWindow(), window);

        // Another window in front: the next open brings the recorder window back to the front.
        QWidget other;
        other.show();
        other.activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), &other);

        for (int i = 0; i < 3; ++i)
            open->trigger();
        fixture.manager->openMurmelo();

        QCOMPARE(fixture.manager->recorderWindow(), window);
        QCOMPARE(fixture.recorderWindowCount(), 1);
        QCOMPARE(fixture.panels.size(), size_t(1));
        QCOMPARE(&fixture.panels.front()->recorder, &fixture.recorder);
        QCOMPARE(fixture.panels.front()->window(), window);
        QVERIFY(window->isVisible());
        QVERIFY(fixture.manager->isRecorderWindowVisible());
        QTRY_COMPARE(QApplication::activeWindow(), window);
    }

    void windowLooksAsSpecified() {
        Fixture fixture;
        fixture.manager->openMurmelo();
        RecorderWindow* window = fixture.manager->recorderWindow();

        QCOMPARE(window->windowTitle(), QStringLiteral("Murmelo"));
        QCOMPARE(window->size(), QSize(480, 280));
        QCOMPARE(window->minimumSize(), QSize(480, 280));
        QCOMPARE(window->maximumSize(), QSize(480, 280));
        const Qt::WindowFlags flags = window->windowFlags();
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));

        const QRect available = QGuiApplication::primaryScreen()->availableGeometry();
        QCOMPARE(window->geometry().topLeft(), RecorderWindow::initialContentOrigin(available));
        QCOMPARE(window->frameAutosaveName(), QStringLiteral("RecorderWindow"));
    }

    void userPositionSurvivesHideAndShow() {
        Fixture fixture;
        fixture.manager->openMurmelo();
        RecorderWindow* window = fixture.manager->recorderWindow();
        const QPoint moved = window->geometry().topLeft() - QPoint(150, -30);
        window->move(window->pos() - QPoint(150, -30));
        QTRY_COMPARE(window->geometry().topLeft(), moved);

        QVERIFY(!window->close());
        fixture.manager->openMurmelo();
        QCOMPARE(window->geometry().topLeft(), moved);
    }

    void savedFrameWinsOverComputedOrigin() {
        const QPoint moved(40, 60);
        {
            Fixture firstRun;
            firstRun.manager->openMurmelo();
            RecorderWindow* window = firstRun.manager->recorderWindow();
            window->move(window->pos() + moved - window->geometry().topLeft());
            QTRY_COMPARE(window->geometry().topLeft(), moved);
            QTRY_VERIFY(QSettings().contains(QStringLiteral("RecorderWindow/geometry")));
            // The first placement is saved too; wait until the moved frame is the one kept.
            QTRY_VERIFY([&] {
                QWidget probe;
                probe.restoreGeometry(
                    QSettings().value(QStringLiteral("RecorderWindow/geometry")).toByteArray());
                return probe.geometry().topLeft() == moved;
            }());
        }
        Fixture nextRun;
        nextRun.manager->openMurmelo();
        QCOMPARE(nextRun.manager->recorderWindow()->geometry().topLeft(), moved);
    }

    void titleBarCloseHidesAndRefuses() {
        Fixture fixture;
        fixture.manager->openMurmelo();
        RecorderWindow* window = fixture.manager->recorderWindow();
        PlaceholderPanel* panel = fixture.panels.front();

        QVERIFY2(!window->close(), "the close must be refused");
        QVERIFY(!window->isVisible());
        QVERIFY(!fixture.manager->isRecorderWindowVisible());

        fixture.manager->openMurmelo();
        QCOMPARE(fixture.manager->recorderWindow(), window);
        QCOMPARE(window->findChild<PlaceholderPanel*>(), panel);
        QCOMPARE(fixture.panels.size(), size_t(1));
        QVERIFY(window->isVisible());
        QVERIFY(fixture.manager->isRecorderWindowVisible());

        // Whatever window asks, it is the recorder window that goes.
        QVERIFY(!fixture.manager->windowShouldClose(nullptr));
        QVERIFY(!window->isVisible());
        QVERIFY(!fixture.manager->isRecorderWindowVisible());
    }

    void isShowingBinding() {
        Fixture fixture;
        fixture.manager->openMurmelo();
        RecorderWindow* window = fixture.manager->recorderWindow();
        const Binding<bool>& isShowing = fixture.panels.front()->isShowing;
        QVERIFY(isShowing.get());

        isShowing.set(false);
        QVERIFY(!window->isVisible());
        QVERIFY(!fixture.manager->isRecorderWindowVisible());
        QVERIFY(!isShowing.get());

        int changes = 0;
        connect(fixture.manager.get(), &ObservableObject::objectDidChange, this, [&] { ++changes; });
        isShowing.set(true);
        QCOMPARE(changes, 1);
        QVERIFY(fixture.manager->isRecorderWindowVisible());
        QVERIFY2(!window->isVisible(), "setting the flag alone must not show the window");
        QCOMPARE(fixture.manager->recorderWindow(), window);
    }
};

int main(int argc, char* argv[]) {
    IsolatedHome home;
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Murmelo"));
    QCoreApplication::setApplicationName(QStringLiteral("Murmelo"));
    MenuBarManagerTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MenuBarManagerTest.moc"
