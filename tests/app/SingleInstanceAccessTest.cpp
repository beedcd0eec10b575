#include "SingleInstance.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace murmelo;

namespace {

constexpr QFileDevice::Permissions groupAndOthers = QFileDevice::ReadGroup | QFileDevice::WriteGroup |
                                                    QFileDevice::ExeGroup | QFileDevice::ReadOther |
                                                    QFileDevice::WriteOther | QFileDevice::ExeOther;

constexpr uint nobody = 65534;

// Tries to connect to the socket as the user nobody; gives what the attempt said.
QString connectAsNobody(const QString& socketPath) {
    QProcess client;
    client.start(QStringLiteral("setpriv"),
                 {QStringLiteral("--reuid=%1").arg(nobody), QStringLiteral("--regid=%1").arg(nobody),
                  QStringLiteral("--clear-groups"), QStringLiteral("/usr/bin/python3"), QStringLiteral("-c"),
                  QStringLiteral("import socket, sys\n"
                                 "s = socket.socket(socket.AF_UNIX)\n"
                                 "try:\n"
                                 "    s.connect(sys.argv[1]); s.sendall(b'open\\n'); print('connected')\n"
                                 "except OSError as e:\n"
                                 "    print(e.strerror)\n"),
                  socketPath});
    if (!client.waitForFinished(30000))
        return QStringLiteral("(no answer)");
    return QString::fromUtf8(client.readAllStandardOutput()).trimmed() +
           QString::fromUtf8(client.readAllStandardError()).trimmed();
}

} // namespace

// What the tests of SingleInstance leave to this one: who may reach the running copy.
class SingleInstanceAccessTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        if (m_savedRuntimeDir.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", m_savedRuntimeDir);
    }

    void initTestCase() { m_savedRuntimeDir = qgetenv("XDG_RUNTIME_DIR"); }

    void defaultSocketLivesInAFolderOfTheUserAlone_data() {
        QTest::addColumn<bool>("sessionHasRuntimeFolder");
        QTest::newRow("session runtime folder") << true;
        // Qt then makes /tmp/runtime-<user> for the user alone.
        QTest::newRow("no runtime folder in the session") << false;
    }

    void defaultSocketLivesInAFolderOfTheUserAlone() {
        QFETCH(bool, sessionHasRuntimeFolder);
        QTemporaryDir runtime;
        QVERIFY(
            QFile::setPermissions(runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        if (sessionHasRuntimeFolder)
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
        else
            qunsetenv("XDG_RUNTIME_DIR");

        const QFileInfo socket(SingleInstance::defaultSocketPath());
        const QFileInfo folder(socket.absolutePath());
        QCOMPARE(folder.ownerId(), uint(getuid()));
        QCOMPARE(folder.permissions() & groupAndOthers, QFileDevice::Permissions());
        // The shared fallback folder may hold a copy the user really runs; the socket is claimed only
        // in the test's own folder.
        if (!sessionHasRuntimeFolder)
            return;
        QCOMPARE(socket.absolutePath(), QFileInfo(runtime.path()).absoluteFilePath());

        SingleInstance instance(socket.absoluteFilePath());
        const Result<SingleInstance::Role> role = instance.claim();
        QVERIFY2(role, role ? "" : qPrintable(role.error().description));
        QCOMPARE(role.value(), SingleInstance::Role::Primary);
        const QFileInfo listening(socket.absoluteFilePath());
        QCOMPARE(listening.ownerId(), uint(getuid()));
        QCOMPARE(listening.permissions() & groupAndOthers, QFileDevice::Permissions());
    }

    void anotherUserCannotReachTheRunningCopy_data() {
        QTest::addColumn<bool>("folderOpenToAll");
        QTest::newRow("in the user's own folder") << false;
        // The socket itself must refuse when its folder does not.
        QTest::newRow("in a folder open to all") << true;
    }

    void anotherUserCannotReachTheRunningCopy() {
        QFETCH(bool, folderOpenToAll);
        if (getuid() != 0)
            QSKIP("only root can act as another user");
        QTemporaryDir runtime;
        if (folderOpenToAll)
            QVERIFY(QFile::setPermissions(
                runtime.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                    QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup));
        // QTemporaryDir lives under /tmp, which everyone may enter.
        const QString socket = runtime.filePath(QStringLiteral("murmelo.socket"));
        SingleInstance instance(socket);
        // With nothing masked, a socket made without care is open to everyone.
        const mode_t savedMask = umask(0);
        const Result<SingleInstance::Role> role = instance.claim();
        umask(savedMask);
        QVERIFY(role);
        int activations = 0;
        connect(&instance, &SingleInstance::activationRequested, this, [&] { ++activations; });

        QCOMPARE(connectAsNobody(socket), QStringLiteral("Permission denied"));
        QCoreApplication::processEvents();
        QCOMPARE(activations, 0);
    }

private:
    QByteArray m_savedRuntimeDir;
};

QTEST_GUILESS_MAIN(SingleInstanceAccessTest)
#include "SingleInstanceAccessTest.moc"
