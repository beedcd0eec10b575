#include "SingleInstance.h"

#include "IsolatedHome.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace murmelo;

namespace {

// One run of the probe program, in a process of its own.
class Probe {
public:
    explicit Probe(const QString& socketPath) {
        m_process.setProgram(
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("single_instance_probe")));
        m_process.setArguments({socketPath});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
    }

    ~Probe() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    // Waits for the next line the probe writes.
    QByteArray nextLine(int timeoutMs = 20000) {
        QDeadlineTimer deadline(timeoutMs);
        while (!m_process.canReadLine() && !deadline.hasExpired()) {
            if (!m_process.waitForReadyRead(static_cast<int>(deadline.remainingTime())) &&
                m_process.state() == QProcess::NotRunning)
                break;
        }
        return m_process.canReadLine() ? m_process.readLine().trimmed() : QByteArray();
    }

    bool finishedWithSuccess(int timeoutMs = 20000) {
        return m_process.waitForFinished(timeoutMs) && m_process.exitStatus() == QProcess::NormalExit &&
               m_process.exitCode() == 0;
    }

    void killHard() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT

private slots:
    void laterLaunchAsksTheRunningCopy() {
        QTemporaryDir runtime;
        const QString socket = runtime.filePath(QStringLiteral("murmelo.socket"));
        Probe first(socket);
        QCOMPARE(first.nextLine(), QByteArray("primary"));

        for (int launch = 0; launch < 2; ++launch) {
            Probe later(socket);
            QCOMPARE(later.nextLine(), QByteArray("asked"));
            QVERIFY(later.finishedWithSuccess());
            QCOMPARE(first.nextLine(), QByteArray("activated"));
        }
    }

    void killedCopyDoesNotBlockTheNext() {
        QTemporaryDir runtime;
        const QString socket = runtime.filePath(QStringLiteral("murmelo.socket"));
        {
            Probe killed(socket);
            QCOMPARE(killed.nextLine(), QByteArray("primary"));
            killed.killHard();
        }
        QVERIFY2(QFileInfo::exists(socket) && QFileInfo::exists(socket + QStringLiteral(".lock")),
                 "a killed copy leaves its socket and lock behind");

        Probe next(socket);
        QCOMPARE(next.nextLine(), QByteArray("primary"));
        Probe later(socket);
        QCOMPARE(later.nextLine(), QByteArray("asked"));
        QVERIFY(later.finishedWithSuccess());
        QCOMPARE(next.nextLine(), QByteArray("activated"));
    }

    void socketIsPrivateToTheUser() {
        QTemporaryDir runtime;
        const QString socket = runtime.filePath(QStringLiteral("murmelo.socket"));
        SingleInstance instance(socket);
        const Result<SingleInstance::Role> role = instance.claim();
        QVERIFY(role);
        QCOMPARE(role.value(), SingleInstance::Role::Primary);
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(socket).permissions() & others, QFileDevice::Permissions());
    }

    void onlyTheOpenRequestActivates_data() {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<bool>("activates");
        QTest::newRow("open") << QByteArray("open\n") << true;
        QTest::newRow("another word") << QByteArray("quit\n") << false;
        QTest::newRow("open without end of line, then gone") << QByteArray("open") << false;
        QTest::newRow("endless line") << QByteArray(4096, 'o') << false;
    }

    void onlyTheOpenRequestActivates() {
        QFETCH(QByteArray, request);
        QFETCH(bool, activates);

        QTemporaryDir runtime;
        const QString socket = runtime.filePath(QStringLiteral("murmelo.socket"));
        SingleInstance instance(socket);
        QVERIFY(instance.claim());
        QSignalSpy activations(&instance, &SingleInstance::activationRequested);

        QLocalSocket client;
        client.connectToServer(socket);
        QVERIFY(client.waitForConnected(10000));
        client.write(request);
        QVERIFY(client.waitForBytesWritten(10000));
        if (!request.endsWith('\n'))
            client.disconnectFromServer();
        // Whatever was sent, the running copy ends the conversation.
        QTRY_COMPARE_WITH_TIMEOUT(client.state(), QLocalSocket::UnconnectedState, 10000);
        QCoreApplication::processEvents();
        QCOMPARE(activations.size(), activates ? 1 : 0);

        // And it still serves the next request.
        Probe later(socket);
        QCOMPARE(later.nextLine(), QByteArray("asked"));
        QVERIFY(later.finishedWithSuccess());
        QTRY_COMPARE_WITH_TIMEOUT(activations.size(), activates ? 2 : 1, 10000);
    }

    void secondApplicationLaunchExitsAndLeavesTheFirstRunning() {
        const QString program =
            QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("murmelo"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No sound server is needed, and none may be started on the tests' behalf.
        environment.insert(QStringLiteral("PULSE_SERVER"), QStringLiteral("unix:/nonexistent/murmelo-test"));

        QProcess first;
        first.setProcessEnvironment(environment);
        first.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        first.start(program, {});
        QVERIFY(first.waitForStarted(10000));
        const QString socket = SingleInstance::defaultSocketPath();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(socket), 20000);

        QProcess second;
        second.setProcessEnvironment(environment);
        second.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        second.start(program, {});
        QVERIFY(second.waitForFinished(20000));
        QCOMPARE(second.exitStatus(), QProcess::NormalExit);
        QCOMPARE(second.exitCode(), 0);
        QCOMPARE(second.readAllStandardOutput(),
                 QByteArray("Murmelo is already running: its window was asked to open\n"));
        QCOMPARE(first.state(), QProcess::Running);

        first.kill();
        first.waitForFinished(10000);
    }
};

int main(int argc, char* argv[]) {
    IsolatedHome home;
    QCoreApplication application(argc, argv);
    SingleInstanceTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "SingleInstanceTest.moc"
