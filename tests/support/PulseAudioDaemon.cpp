#include "PulseAudioDaemon.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QThread>
#include <csignal>
#include <sndfile.h>
#include <sys/prctl.h>

namespace murmelo {

namespace {

const char* const kClientVariables[] = {"PULSE_SERVER", "PULSE_COOKIE", "PULSE_CLIENTCONFIG"};

bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// A child must not outlive a test that crashes: the kernel kills it when its parent goes.
void dieWithParent(QProcess& process) {
    process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
}

} // namespace

PulseAudioDaemon::PulseAudioDaemon() {
    m_runtimeDir = m_folder.filePath(QStringLiteral("run"));
    m_homeDir = m_folder.filePath(QStringLiteral("home"));
    m_logPath = m_folder.filePath(QStringLiteral("pulseaudio.log"));
    QDir().mkpath(m_runtimeDir);
    QDir().mkpath(m_homeDir);
    // PulseAudio refuses a runtime folder that others may enter.
    QFile::setPermissions(m_runtimeDir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

PulseAudioDaemon::~PulseAudioDaemon() {
    for (auto& player : m_players)
        player->kill();
    for (auto& player : m_players)
        player->waitForFinished(5000);
    kill();
    restoreClientEnvironment();
}

QString PulseAudioDaemon::serverAddress() const {
    return QStringLiteral("unix:") + m_runtimeDir + QStringLiteral("/pulse/native");
}

QString PulseAudioDaemon::errorString() const {
    return m_errorString;
}

bool PulseAudioDaemon::isRunning() const {
    return m_server && m_server->state() != QProcess::NotRunning;
}

bool PulseAudioDaemon::start() {
    if (isRunning())
        return true;
    if (!m_folder.isValid()) {
        fail(QStringLiteral("no temporary folder: ") + m_folder.errorString());
        return false;
    }
    const QString script = m_folder.filePath(QStringLiteral("test.pa"));
    const QByteArray commands =
        "load-module module-native-protocol-unix auth-anonymous=1 socket=" + QFile::encodeName(m_runtimeDir) +
        "/pulse/native\n"
        "load-module module-null-sink sink_name=vsink rate=48000\n"
        "load-module module-remap-source source_name=vmic master=vsink.monitor\n"
        "load-module module-null-source source_name=silence rate=48000\n"
        "load-module module-loopback source=silence sink=vsink latency_msec=20 source_dont_move=true "
        "sink_dont_move=true\n"
        "set-default-sink vsink\n"
        "set-default-source vmic\n";
    if (!writeFile(script, commands) ||
        !writeFile(m_folder.filePath(QStringLiteral("client.conf")), "autospawn = no\n")) {
        fail(QStringLiteral("cannot write the server's configuration"));
        return false;
    }

    auto environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), m_homeDir);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_runtimeDir);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_homeDir + QStringLiteral("/.config"));
    for (const char* name : kClientVariables)
        environment.remove(QString::fromLatin1(name));

    m_server = std::make_unique<QProcess>();
    m_server->setProcessEnvironment(environment);
    m_server->setStandardOutputFile(m_logPath, QIODevice::Append);
    m_server->setStandardErrorFile(m_logPath, QIODevice::Append);
    dieWithParent(*m_server);
    m_server->start(QStringLiteral("pulseaudio"),
                    {QStringLiteral("-n"), QStringLiteral("-F"), script, QStringLiteral("--daemonize=no"),
                     QStringLiteral("--exit-idle-time=-1"), QStringLiteral("--disallow-exit"),
                     QStringLiteral("--use-pid-file=no"), QStringLiteral("--log-target=stderr")});
    if (!m_server->waitForStarted(10000)) {
        fail(QStringLiteral("pulseaudio does not start: ") + m_server->errorString());
        m_server.reset();
        return false;
    }
    setClientEnvironment();
    return waitUntilAnswering(20000) && waitUntilDelivering(20000);
}

void PulseAudioDaemon::kill() {
    if (!isRunning())
        return;
    m_server->kill();
    m_server->waitForFinished(10000);
}

bool PulseAudioDaemon::restart() {
    kill();
    return start();
}

void PulseAudioDaemon::pause() {
    if (isRunning())
        ::kill(static_cast<pid_t>(m_server->processId()), SIGSTOP);
}

void PulseAudioDaemon::resume() {
    if (isRunning())
        ::kill(static_cast<pid_t>(m_server->processId()), SIGCONT);
}

bool PulseAudioDaemon::waitUntilAnswering(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!isRunning()) {
            fail(QStringLiteral("pulseaudio exited"));
            return false;
        }
        QProcess info;
        dieWithParent(info);
        info.setProcessChannelMode(QProcess::MergedChannels);
        info.start(QStringLiteral("pactl"), {QStringLiteral("info")});
        if (info.waitForFinished(5000) && info.exitStatus() == QProcess::NormalExit && info.exitCode() == 0)
            return true;
        info.kill();
        info.waitForFinished(1000);
        QThread::msleep(20);
    }
    fail(QStringLiteral("pulseaudio does not answer"));
    return false;
}

// A null sink starts out rendering two-second blocks and takes up the loopback's short latency only
// when the first block ends; until then a capture waits up to two seconds for its first audio. The
// first data of a probe capture shows that the switch has happened.
bool PulseAudioDaemon::waitUntilDelivering(int timeoutMs) {
    QProcess probe;
    dieWithParent(probe);
    probe.setStandardErrorFile(QProcess::nullDevice());
    probe.start(QStringLiteral("parec"), {QStringLiteral("--raw"), QStringLiteral("--latency-msec=20"),
                                          QStringLiteral("--device=vmic")});
    const QDeadlineTimer deadline(timeoutMs);
    bool delivered = false;
    while (!delivered && !deadline.hasExpired() && probe.state() != QProcess::NotRunning) {
        probe.waitForReadyRead(
            static_cast<int>(qMax<qint64>(1, qMin<qint64>(100, deadline.remainingTime()))));
        delivered = !probe.readAll().isEmpty();
    }
    probe.kill();
    probe.waitForFinished(5000);
    if (!delivered)
        fail(QStringLiteral("the server's default source delivers no audio"));
    return delivered;
}

bool PulseAudioDaemon::play(const QString& audioPath, int timeoutMs) {
    return startPlaying(audioPath) && waitForPlayback(timeoutMs);
}

bool PulseAudioDaemon::startPlaying(const QString& audioPath) {
    auto player = std::make_unique<QProcess>();
    player->setProcessChannelMode(QProcess::MergedChannels);
    dieWithParent(*player);
    player->start(QStringLiteral("paplay"), {audioPath});
    if (!player->waitForStarted(10000)) {
        fail(QStringLiteral("paplay does not start: ") + player->errorString());
        return false;
    }
    m_players.push_back(std::move(player));
    return true;
}

bool PulseAudioDaemon::waitForPlayback(int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    bool allPlayed = true;
    for (auto& player : m_players) {
        const bool finished =
            player->waitForFinished(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        if (!finished || player->exitStatus() != QProcess::NormalExit || player->exitCode() != 0) {
            fail(QStringLiteral("paplay failed: ") + QString::fromLocal8Bit(player->readAll()).trimmed());
            player->kill();
            player->waitForFinished(5000);
            allPlayed = false;
        }
    }
    m_players.clear();
    return allPlayed;
}

bool PulseAudioDaemon::playIntoRecording(const QString& audioPath, const QString& recordingPath,
                                         int timeoutMs) {
    if (!waitForRecordedFrames(recordingPath, 1, timeoutMs)) {
        fail(QStringLiteral("the recording ") + recordingPath + QStringLiteral(" receives no audio"));
        return false;
    }
    return play(audioPath, timeoutMs);
}

std::optional<qint64> PulseAudioDaemon::recordedFrames(const QString& wavPath) {
    SF_INFO info{};
    const std::unique_ptr<SNDFILE, decltype(&sf_close)> file(
        sf_open(QFile::encodeName(wavPath).constData(), SFM_READ, &info), &sf_close);
    if (!file)
        return std::nullopt;
    return static_cast<qint64>(info.frames);
}

bool PulseAudioDaemon::waitForRecordedFrames(const QString& wavPath, qint64 minimumFrames, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (recordedFrames(wavPath).value_or(-1) >= minimumFrames)
            return true;
        if (deadline.hasExpired())
            return false;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(5);
    }
}

void PulseAudioDaemon::fail(const QString& why) {
    QFile log(m_logPath);
    QByteArray tail;
    if (log.open(QIODevice::ReadOnly))
        tail = log.readAll().right(2000);
    m_errorString = why;
    if (!tail.isEmpty())
        m_errorString += QStringLiteral("\npulseaudio log:\n") + QString::fromLocal8Bit(tail);
}

void PulseAudioDaemon::setClientEnvironment() {
    if (m_savedEnvironment.empty()) {
        for (const char* name : kClientVariables) {
            std::optional<QByteArray> previous;
            if (qEnvironmentVariableIsSet(name))
                previous = qgetenv(name);
            m_savedEnvironment.emplace_back(name, previous);
        }
    }
    qputenv("PULSE_SERVER", serverAddress().toLocal8Bit());
    qputenv("PULSE_COOKIE", QFile::encodeName(m_folder.filePath(QStringLiteral("cookie"))));
    qputenv("PULSE_CLIENTCONFIG", QFile::encodeName(m_folder.filePath(QStringLiteral("client.conf"))));
}

void PulseAudioDaemon::restoreClientEnvironment() {
    for (const auto& [name, previous] : m_savedEnvironment) {
        if (previous)
            qputenv(name.constData(), *previous);
        else
            qunsetenv(name.constData());
    }
    m_savedEnvironment.clear();
}

} // namespace murmelo
