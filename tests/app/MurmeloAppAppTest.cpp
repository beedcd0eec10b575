#include "MurmeloAppApp.h"

#include "ConsoleCapture.h"
#include "IsolatedHome.h"
#include "PulseAudioDaemon.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

using namespace murmelo;

class MurmeloAppAppTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_sound.start(), qPrintable(m_sound.errorString())); }

    void launchWithTrayOpensNoWindow() {
        MurmeloAppApp app;
        ConsoleCapture console;
        app.showRecorderWindowIfNoTray(true);
        QCOMPARE(console.lines(), QStringList());
        QVERIFY(!app.menuBarManager().recorderWindow());
        for (const QWidget* widget : QApplication::topLevelWidgets())
            QVERIFY2(!widget->isVisible(), qPrintable(widget->metaObject()->className()));
    }

    void launchWithoutTrayOpensTheWindow() {
        MurmeloAppApp app;
        QStringList lines;
        {
            ConsoleCapture console;
            app.showRecorderWindowIfNoTray(false);
            lines = console.lines();
        }
        QVERIFY2(!lines.isEmpty(), "the reason must be told");
        QCOMPARE(
            lines.first(),
            QStringLiteral("⚠️ MenuBar: No system tray available, showing the recorder window instead"));
        QVERIFY(app.menuBarManager().recorderWindow());
        QVERIFY(app.menuBarManager().recorderWindow()->isVisible());
        QVERIFY(app.menuBarManager().isRecorderWindowVisible());
    }

    void panelAndManagerShareTheOneRecorder() {
        MurmeloAppApp app;
        QCOMPARE(&app.menuBarManager().recorder(), &app.recorder());

        app.menuBarManager().openMurmelo();
        auto* startStop =
            app.menuBarManager().recorderWindow()->findChild<QPushButton*>(QStringLiteral("startStopButton"));
        QVERIFY(startStop);
        QTRY_VERIFY(startStop->isEnabled());

        QTest::mouseClick(startStop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(app.recorder().isRecording(), 10000);
        QCOMPARE(startStop->text(), QStringLiteral("Stop"));

        QTest::mouseClick(startStop, Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!app.recorder().isRecording(), 10000);
        // The runner works on the recording now; let it finish before the panel goes away.
        QTRY_VERIFY_WITH_TIMEOUT(startStop->isEnabled(), 120000);
    }

private:
    PulseAudioDaemon m_sound;
};

int main(int argc, char* argv[]) {
    IsolatedHome home;
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Murmelo"));
    QCoreApplication::setApplicationName(QStringLiteral("Murmelo"));
    MurmeloAppAppTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "MurmeloAppAppTest.moc"
