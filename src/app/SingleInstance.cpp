#include "SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QStandardPaths>
#include <QThread>

namespace murmelo {

namespace {

const QString errorDomain = QStringLiteral("SingleInstance");
const QByteArray openRequest = QByteArrayLiteral("open");
// Requests are one short line; anything longer is not ours.
constexpr qint64 maximumRequestLength = 64;
// A copy that has just taken the lock may not be listening yet.
constexpr int answerTimeoutMs = 5000;
constexpr int connectRetryMs = 100;

} // namespace

QString SingleInstance::defaultSocketPath() {
    // $XDG_RUNTIME_DIR, or a folder only this user may enter that Qt creates when the session has none.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("murmelo.socket"));
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , m_socketPath(std::move(socketPath))
    , m_lock(m_socketPath + QStringLiteral(".lock")) {
    // The lock is held for the whole run, so its age says nothing; only a dead owner makes it stale.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

Result<SingleInstance::Role> SingleInstance::claim() {
    if (m_lock.tryLock(0))
        return listen();
    if (m_lock.error() == QLockFile::LockFailedError)
        return askRunningCopy();
    return Error{
        errorDomain, static_cast<int>(m_lock.error()) + 100,
        QStringLiteral("Cannot create the lock file %1").arg(m_socketPath + QStringLiteral(".lock"))};
}

Result<SingleInstance::Role> SingleInstance::listen() {
    // Holding the lock, any socket file left here belongs to a copy that was killed.
    QLocalServer::removeServer(m_socketPath);
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        return Error{errorDomain, static_cast<int>(m_server->serverError()) + 200,
                     QStringLiteral("Cannot listen on %1: %2").arg(m_socketPath, m_server->errorString())};
    }
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* connection = m_server->nextPendingConnection())
            serve(connection);
    });
    return Role::Primary;
}

Result<SingleInstance::Role> SingleInstance::askRunningCopy() {
    const Error notAnswering{errorDomain, runningCopyNotAnswering,
                             QStringLiteral("Murmelo is already running but does not answer")};
    const QDeadlineTimer deadline(answerTimeoutMs);
    QLocalSocket socket;
    for (;;) {
        socket.connectToServer(m_socketPath);
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime())))
            break;
        if (deadline.hasExpired())
            return notAnswering;
        QThread::msleep(connectRetryMs);
    }
    socket.write(openRequest + '\n');
    if (!socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime())))
        return notAnswering;
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(static_cast<int>(deadline.remainingTime()));
    return Role::AskedRunningCopy;
}

void SingleInstance::serve(QLocalSocket* connection) {
    connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
    const auto readRequest = [this, connection] {
        if (!connection->canReadLine()) {
            if (connection->bytesAvailable() > maximumRequestLength)
                connection->abort();
            return;
        }
        const QByteArray request = connection->readLine(maximumRequestLength).trimmed();
        connection->disconnectFromServer();
        if (request == openRequest)
            emit activationRequested();
    };
    connect(connection, &QLocalSocket::readyRead, this, readRequest);
    if (connection->bytesAvailable() > 0)
        readRequest();
}

} // namespace murmelo
