// The whole application as a user meets it: a real X display with a system tray, a sound server, the
// built executable with a speech model, driven with the mouse through the tray menu and the window.
#include "DesktopSession.h"
#include "PulseAudioDaemon.h"
#include "SpeechReferee.h"
#include "TestModels.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <memory>
#include <optional>
#include <sndfile.h>

using namespace murmelo;

namespace {

const QString recorderWindowName = QStringLiteral("Murmelo");
constexpr QSize recorderWindowSize{480, 280};
// Where the panel's Start/Stop button lies inside the window: the button row is centred below the
// transcript, and this button sits left of the middle.
constexpr QPoint startStopButtonInWindow{191, 252};
constexpr int transcriptionTimeoutMs = 300000;

QString artifactPath(const QString& name) {
    const QString folder =
        QDir(qEnvironmentVariable("MURMELO_BUILD_DIR")).filePath(QStringLiteral("e2e-artifacts"));
    QDir().mkpath(folder);
    return QDir(folder).filePath(name);
}

// The built application, started with a home, documents folder, runtime folder and resources of its
// own, talking to the test's display and sound server.
class ApplicationRun {
public:
    ApplicationRun(const DesktopSession& desktop, const QString& model) {
        const QDir home(m_home.path());
        home.mkpath(QStringLiteral(".config"));
        home.mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // The documents folder as the desktop names it, not the default one.
        QFile userDirs(home.filePath(QStringLiteral(".config/user-dirs.dirs")));
        userDirs.open(QIODevice::WriteOnly);
        userDirs.write("XDG_DOCUMENTS_DIR=\"$HOME/Texts\"\n");
        userDirs.close();

        const QDir resources(home.filePath(QStringLiteral("resources")));
        resources.mkpath(QStringLiteral("."));
        QFile::copy(model, resources.filePath(QStringLiteral("ggml-base.en.bin")));
        QFile::copy(QDir(qEnvironmentVariable("MURMELO_BUILD_DIR"))
                        .filePath(QStringLiteral("share/murmelo/MenuIcon.svg")),
                    resources.filePath(QStringLiteral("MenuIcon.svg")));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("DISPLAY"), desktop.display());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("XDG_CONFIG_HOME"), home.filePath(QStringLiteral(".config")));
        environment.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral(".local/share")));
        environment.insert(QStringLiteral("XDG_CACHE_HOME"), home.filePath(QStringLiteral(".cache")));
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        environment.insert(QStringLiteral("MURMELO_RESOURCES_DIR"), resources.path());
        // The XEmbed tray of the test display, not a StatusNotifier host of the machine's session bus.
        environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"),
                           QStringLiteral("unix:path=/nonexistent"));
        m_process.setProcessEnvironment(environment);
        m_process.setStandardErrorFile(home.filePath(QStringLiteral("stderr.log")));
        m_process.start(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("murmelo")), {});
    }

    ~ApplicationRun() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    QString recordingPath() const {
        return QDir(m_home.path()).filePath(QStringLiteral("Texts/recording.wav"));
    }
    QProcess& process() { return m_process; }

    // The console lines so far.
    const QStringList& lines() {
        m_pending += m_process.readAllStandardOutput();
        qsizetype end;
        while ((end = m_pending.indexOf('\n')) >= 0) {
            m_lines.append(QString::fromUtf8(m_pending.left(end)));
            m_pending.remove(0, end + 1);
        }
        return m_lines;
    }

    std::optional<QString> lineStartingWith(const QString& prefix) {
        for (const QString& line : lines()) {
            if (line.startsWith(prefix))
                return line;
        }
        return std::nullopt;
    }

private:
    QTemporaryDir m_home;
    QProcess m_process;
    QByteArray m_pending;
    QStringList m_lines;
};

struct WavFormat {
    int sampleRate = 0;
    int channels = 0;
    int format = 0;
    qint64 frames = 0;
};

std::optional<WavFormat> readWavFormat(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return std::nullopt;
    sf_close(file);
    return WavFormat{info.samplerate, info.channels, info.format, info.frames};
}

// True when the RIFF and data chunk sizes in the header agree with the file's length, as they must for
// a file that other programs read whole.
bool headerMatchesLength(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const auto u32 = [&](qsizetype at) {
        return qFromLittleEndian<quint32>(reinterpret_cast<const uchar*>(bytes.constData() + at));
    };
    if (bytes.size() < 12 || !bytes.startsWith("RIFF") || bytes.mid(8, 4) != "WAVE" ||
        u32(4) != quint32(bytes.size() - 8))
        return false;
    qsizetype at = 12;
    while (at + 8 <= bytes.size()) {
        const quint32 size = u32(at + 4);
        if (bytes.mid(at, 4) == "data")
            return at + 8 + qsizetype(size) == bytes.size();
        at += 8 + qsizetype(size) + (size & 1);
    }
    return false;
}

} // namespace

class EndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { m_desktop.stopTray(); }

    void initTestCase() {
        QVERIFY2(m_desktop.start(), qPrintable(m_desktop.errorString()));
        QVERIFY2(m_sound.start(), qPrintable(m_sound.errorString()));
        QVERIFY(QFileInfo::exists(TestModels::tinyModelPath()));
    }

    void dictationFromTheTrayToTheClipboard() {
        QVERIFY2(m_desktop.startTray(), qPrintable(m_desktop.errorString()));
        ApplicationRun app(m_desktop, TestModels::tinyModelPath());

        QTRY_COMPARE_WITH_TIMEOUT(
            app.lines().mid(0, 2),
            (QStringList{QStringLiteral("✅ MenuBar: Successfully loaded MenuIcon from Assets.xcassets"),
                         QStringLiteral("📏 MenuBar: Icon size = 22.0 x 22.0")}),
            30000);
        std::optional<QPoint> icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIconCentre()).has_value(), 30000);
        QVERIFY2(recorderWindow() == std::nullopt, "no window at launch");
        QVERIFY(!app.lineStartingWith(QStringLiteral("⚠️ MenuBar: No system tray")));

        // Tray icon, then "Open Murmelo".
        const QRect menu = openTrayMenu(*icon);
        QVERIFY(!menu.isNull());
        QVERIFY(m_desktop.screenshot(artifactPath(QStringLiteral("tray-menu.png"))));
        m_desktop.click(QPoint(menu.center().x(), menu.top() + menu.height() / 4));
        std::optional<QRect> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = recorderWindow()).has_value(), 30000);
        QCOMPARE(window->topLeft(), QPoint(m_desktop.screenGeometry().right() + 1 - 480 - 20, 20));
        QVERIFY(m_desktop.screenshot(artifactPath(QStringLiteral("window-before.png"))));

        // Start, speak, Stop.
        const QPoint startStop = window->topLeft() + startStopButtonInWindow;
        const SpeechReferee::Phrase phrase = SpeechReferee::phrases().first();
        const QString speech = artifactPath(QStringLiteral("speech.wav"));
        QVERIFY(SpeechReferee::speak(phrase, speech));
        const std::optional<WavFormat> spoken = readWavFormat(speech);
        QVERIFY(spoken);
        const double spokenSeconds = double(spoken->frames) / spoken->sampleRate;

        m_desktop.click(startStop);
        QVERIFY2(m_sound.playIntoRecording(speech, app.recordingPath()), qPrintable(m_sound.errorString()));
        QVERIFY(m_desktop.screenshot(artifactPath(QStringLiteral("window-recording.png"))));
        m_desktop.click(startStop);

        QTRY_VERIFY_WITH_TIMEOUT(app.lineStartingWith(QStringLiteral("Recording saved to: ")), 30000);
        QCOMPARE(*app.lineStartingWith(QStringLiteral("Recording saved to: ")),
                 QStringLiteral("Recording saved to: ") + app.recordingPath());
        const QString copied = QStringLiteral("✅ Transcription copied to clipboard: ");
        QTRY_VERIFY_WITH_TIMEOUT(app.lineStartingWith(copied), transcriptionTimeoutMs);
        QVERIFY(m_desktop.screenshot(artifactPath(QStringLiteral("window-after.png"))));

        // The recording: the fixed format, about as long as the speech, and the speech in it.
        const std::optional<WavFormat> recorded = readWavFormat(app.recordingPath());
        QVERIFY(recorded);
        QCOMPARE(recorded->sampleRate, 16000);
        QCOMPARE(recorded->channels, 1);
        QCOMPARE(recorded->format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        const double recordedSeconds = double(recorded->frames) / recorded->sampleRate;
        QVERIFY2(
            recordedSeconds >= spokenSeconds - 0.1 && recordedSeconds <= spokenSeconds + 5.0,
            qPrintable(
                QStringLiteral("recorded %1 s of %2 s of speech").arg(recordedSeconds).arg(spokenSeconds)));
        QCOMPARE(SpeechReferee::recognise(app.recordingPath()), std::optional(phrase));

        // What the panel shows went to the clipboard too.
        const QString line = *app.lineStartingWith(copied);
        static const QRegularExpression quoted(QStringLiteral("^\"(.*)\"$"),
                                               QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch text = quoted.match(line.mid(copied.size()));
        QVERIFY2(text.hasMatch(), qPrintable(line));
        QVERIFY(!text.captured(1).isEmpty());
        QCOMPARE(m_desktop.clipboardText(), text.captured(1));

        quitFromTheTray(app, *icon);
        QVERIFY(!app.lineStartingWith(QStringLiteral("Error")));
    }

    void withoutTrayTheWindowOpensAndQuitLeavesARecordingWhole() {
        ApplicationRun app(m_desktop, TestModels::tinyModelPath());
        QTRY_VERIFY_WITH_TIMEOUT(
            app.lines().contains(QStringLiteral(
                "⚠️ MenuBar: No system tray available, showing the recorder window instead")),
            30000);
        std::optional<QRect> window;
        QTRY_VERIFY_WITH_TIMEOUT((window = recorderWindow()).has_value(), 30000);

        // A tray that comes later gets the icon.
        QVERIFY2(m_desktop.startTray(), qPrintable(m_desktop.errorString()));
        std::optional<QPoint> icon;
        QTRY_VERIFY_WITH_TIMEOUT((icon = trayIconCentre()).has_value(), 30000);
        QVERIFY(m_desktop.screenshot(artifactPath(QStringLiteral("tray-came-later.png"))));

        m_desktop.click(window->topLeft() + startStopButtonInWindow);
        QVERIFY(PulseAudioDaemon::waitForRecordedFrames(app.recordingPath(), 8000, 30000));

        quitFromTheTray(app, *icon);
        QVERIFY(!app.lineStartingWith(QStringLiteral("Recording saved")));
        const std::optional<WavFormat> recorded = readWavFormat(app.recordingPath());
        QVERIFY(recorded);
        QVERIFY(recorded->frames >= 8000);
        QVERIFY2(headerMatchesLength(app.recordingPath()), "the recording must stay whole without a stop");
    }

private:
    // The centre of the application's icon in the tray, once it is docked there.
    std::optional<QPoint> trayIconCentre() const {
        const std::optional<DesktopSession::Window> panel = m_desktop.trayPanel();
        if (!panel)
            return std::nullopt;
        for (const DesktopSession::Window& window : m_desktop.windows()) {
            if (window.name == recorderWindowName && panel->geometry.contains(window.geometry) &&
                window.geometry.width() < panel->geometry.width())
                return window.geometry.center();
        }
        return std::nullopt;
    }

    std::optional<QRect> recorderWindow() const {
        for (const DesktopSession::Window& window : m_desktop.visibleWindowsNamed(recorderWindowName)) {
            if (window.geometry.size() == recorderWindowSize)
                return window.geometry;
        }
        return std::nullopt;
    }

    // Clicks the tray icon and returns where its menu came up: the application's window that appears
    // with the click.
    QRect openTrayMenu(QPoint icon) {
        QStringList before;
        for (const DesktopSession::Window& window : m_desktop.visibleWindowsNamed(recorderWindowName))
            before.append(window.id);
        m_desktop.click(icon);
        const QDeadlineTimer deadline(30000);
        while (!deadline.hasExpired()) {
            for (const DesktopSession::Window& window : m_desktop.visibleWindowsNamed(recorderWindowName)) {
                if (!before.contains(window.id) && window.geometry.width() > 40 &&
                    window.geometry.height() > 20)
                    return window.geometry;
            }
            QTest::qWait(50);
        }
        return {};
    }

    void quitFromTheTray(ApplicationRun& app, QPoint icon) {
        const QRect menu = openTrayMenu(icon);
        QVERIFY(!menu.isNull());
        m_desktop.click(QPoint(menu.center().x(), menu.top() + menu.height() * 3 / 4));
        QVERIFY2(app.process().waitForFinished(15000), "Quit must end the process at once");
        QCOMPARE(app.process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process().exitCode(), 0);
    }

    DesktopSession m_desktop;
    PulseAudioDaemon m_sound;
};

QTEST_GUILESS_MAIN(EndToEndTest)

#include "EndToEndTest.moc"
