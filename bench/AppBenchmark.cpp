// The running application as a user leaves it: started on a private X display without a tray, so that
// its window opens at launch and loads the base.en-shaped model. Measures its memory against a bare
// whisper.cpp program holding the same model, then the CPU time it spends idling for a minute.
#include "BenchSupport.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace murmelo;

namespace {

constexpr int idleSeconds = 60;

QString besideThisProgram(const QString& name) {
    return QDir(QCoreApplication::applicationDirPath()).filePath(name);
}

std::optional<double> residentMegabytes(qint64 pid) {
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return std::nullopt;
}

// User plus system CPU time of the process so far.
std::optional<double> cpuMilliseconds(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QByteArray text = stat.readAll();
    // The command name may hold spaces; the fields proper start after its closing parenthesis.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return std::nullopt;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks * 1000.0 / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

void stop(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(10000);
}

int fail(const QString& why) {
    std::fprintf(stderr, "bench_app: %s\n", qPrintable(why));
    return 1;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    bench::Report report;
    const QString model = QStringLiteral(MURMELO_BASE_EN_TEST_MODEL);

    QProcess bare;
    bare.start(besideThisProgram(QStringLiteral("bench_bare_whisper")), {model});
    if (!bare.waitForFinished(120000) || bare.exitCode() != 0)
        return fail(QStringLiteral("the bare whisper.cpp program failed"));
    const double bareMegabytes = bare.readAllStandardOutput().trimmed().toDouble();

    QProcess display;
    display.start(QStringLiteral("Xvfb"),
                  {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                   QStringLiteral("0"), QStringLiteral("1024x768x24"), QStringLiteral("-nolisten"),
                   QStringLiteral("tcp")});
    QDeadlineTimer displayDeadline(30000);
    while (!display.canReadLine() && display.state() != QProcess::NotRunning && !displayDeadline.hasExpired())
        display.waitForReadyRead(100);
    if (!display.canReadLine())
        return fail(QStringLiteral("Xvfb gave no display"));
    const QString displayName = QStringLiteral(":") + QString::fromLatin1(display.readLine().trimmed());

    QTemporaryDir home;
    const QDir folder(home.path());
    folder.mkpath(QStringLiteral("resources"));
    folder.mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(folder.filePath(QStringLiteral("runtime")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QFile::link(model, folder.filePath(QStringLiteral("resources/ggml-base.en.bin")));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), displayName);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    environment.insert(QStringLiteral("HOME"), home.path());
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder.filePath(QStringLiteral(".config")));
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), folder.filePath(QStringLiteral("runtime")));
    environment.insert(QStringLiteral("MURMELO_RESOURCES_DIR"), folder.filePath(QStringLiteral("resources")));
    environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/murmelo-bench"));
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent"));
    QProcess app;
    app.setProcessEnvironment(environment);
    app.setStandardOutputFile(QProcess::nullDevice());
    app.setStandardErrorFile(QProcess::nullDevice());
    app.start(besideThisProgram(QStringLiteral("murmelo")), {});
    if (!app.waitForStarted(30000))
        return fail(QStringLiteral("the application does not start"));
    const qint64 pid = app.processId();

    // The window opens at once and loads the model; the figure is taken once the memory has settled.
    double appMegabytes = 0.0;
    int steadySamples = 0;
    const QDeadlineTimer loadDeadline(120000);
    while (steadySamples < 12 && !loadDeadline.hasExpired()) {
        QThread::msleep(250);
        const std::optional<double> now = residentMegabytes(pid);
        if (!now) {
            stop(display);
            return fail(QStringLiteral("the application ended"));
        }
        steadySamples = (*now > bareMegabytes / 2 && qAbs(*now - appMegabytes) < 0.5) ? steadySamples + 1 : 0;
        appMegabytes = *now;
    }

    const std::optional<double> cpuBefore = cpuMilliseconds(pid);
    const bench::Clock::time_point start = bench::Clock::now();
    QThread::sleep(idleSeconds);
    const std::optional<double> cpuAfter = cpuMilliseconds(pid);
    const double elapsedMinutes = bench::milliseconds(bench::Clock::now() - start) / 60000.0;
    stop(app);
    stop(display);
    if (!cpuBefore || !cpuAfter)
        return fail(QStringLiteral("the application ended while idling"));

    report.add("idle_cpu_ms_per_min", (*cpuAfter - *cpuBefore) / elapsedMinutes, 1);
    report.add("rss_mb_with_model", appMegabytes, 1);
    report.add("rss_mb_bare_whisper", bareMegabytes, 1);
    report.add("rss_ratio", appMegabytes / bareMegabytes, 3);
    return 0;
}
