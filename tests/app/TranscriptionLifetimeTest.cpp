#include "Clipboard.h"
#include "ConsoleCapture.h"
#include "IsolatedHome.h"
#include "MurmeloAppApp.h"
#include "PulseAudioDaemon.h"
#include "TestModels.h"
#include "TranscriptView.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace murmelo;

namespace {

const QString clipboardBefore = QStringLiteral("what the user copied before");

} // namespace

// A transcription outlives what the user does meanwhile: the window hidden, or the application quit.
class TranscriptionLifetimeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(m_sound.start(), qPrintable(m_sound.errorString()));
        QVERIFY(m_resources.isValid());
        QVERIFY(QFile::link(TestModels::tinyModelPath(),
                            QDir(m_resources.path()).filePath(QStringLiteral("ggml-base.en.bin"))));
        qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(m_resources.path()));
    }

    void finishesWhileTheWindowIsHidden() {
        MurmeloAppApp app;
        MenuBarManager& manager = app.menuBarManager();
        manager.openMurmelo();
        RecorderWindow* window = manager.recorderWindow();
        QVERIFY(window);
        auto* startStop = window->findChild<QPushButton*>(QStringLiteral("startStopButton"));
        auto* transcript = window->findChild<TranscriptView*>(QStringLiteral("transcript"));
        QVERIFY(startStop && transcript);
        QTRY_VERIFY_WITH_TIMEOUT(startStop->isEnabled(), 30000);
        Clipboard::setText(clipboardBefore);

        ConsoleCapture console;
        QTest::mouseClick(startStop, Qt::LeftButton);
        QVERIFY(PulseAudioDaemon::waitForRecordedFrames(app.recorder().audioFileURL(), 16000, 30000));
        QTest::mouseClick(startStop, Qt::LeftButton);
        // The title bar's close button, before the job has published anything.
        window->close();
        QVERIFY(!window->isVisible());
        QVERIFY(!manager.isRecorderWindowVisible());

        QTRY_VERIFY_WITH_TIMEOUT(Clipboard::text() != clipboardBefore, 120000);
        const QString copied = Clipboard::text();
        QVERIFY(!window->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(transcript->text(), copied, 10000);
        QVERIFY(console.lines().contains(
            QStringLiteral("✅ Transcription copied to clipboard: \"%1\"").arg(copied)));

        // Opened again, the panel starts afresh and is ready for the next dictation.
        manager.openMurmelo();
        QVERIFY(window->isVisible());
        QCOMPARE(transcript->text(), QString());
        QVERIFY(startStop->isEnabled());
        QCOMPARE(startStop->text(), QStringLiteral("Start"));
    }

    void quitEndsTheProcessDuringATranscription() {
        QProcess probe;
        probe.setProgram(QDir(QCoreApplication::applicationDirPath())
                             .filePath(QStringLiteral("quit_while_transcribing_probe")));
        probe.setProcessChannelMode(QProcess::SeparateChannels);
        probe.start();
        QVERIFY(probe.waitForStarted(30000));

        QByteArray said;
        const auto hasLine = [&](const QByteArray& line) { return said.split('\n').contains(line); };
        const QDeadlineTimer deadline(120000);
        while (!hasLine("transcribing") && !said.contains("\nerror ") &&
               probe.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            probe.waitForReadyRead(1000);
            said += probe.readAllStandardOutput();
        }
        QVERIFY2(hasLine("transcribing"), said.constData());
        QVERIFY2(probe.waitForFinished(30000), "Quit must end the process, not wait for the transcription");
        said += probe.readAllStandardOutput();
        QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
        QCOMPARE(probe.exitCode(), 0);
        for (const QByteArray& line : said.split('\n'))
            QVERIFY2(!line.startsWith("error ") && !line.startsWith("✅ Transcription copied"),
                     line.constData());
    }

private:
    PulseAudioDaemon m_sound;
    QTemporaryDir m_resources;
};

int main(int argc, char* argv[]) {
    IsolatedHome home;
    QApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Murmelo"));
    QCoreApplication::setApplicationName(QStringLiteral("Murmelo"));
    TranscriptionLifetimeTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "TranscriptionLifetimeTest.moc"
