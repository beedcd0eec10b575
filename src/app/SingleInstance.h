#pragma once

#include "Error.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace murmelo {

// Keeps the application to one running copy per user: two copies would record into the same file.
// The first copy holds a lock file and listens on a local socket beside it, both reachable only by the
// same user; a later copy finds the lock held and asks the running copy, through the socket, to show
// its window. A lock or socket left behind by a copy that was killed does not count.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role {
        Primary,          // this copy runs the application
        AskedRunningCopy, // another copy runs; it has been asked to show its window
    };

    // The error code of claim() when a copy holds the lock but does not take the request: starting
    // anyway would let two copies record at once.
    static constexpr int runningCopyNotAnswering = 1;

    // The per-user socket, in the session's runtime folder.
    static QString defaultSocketPath();

    explicit SingleInstance(QString socketPath = defaultSocketPath(), QObject* parent = nullptr);
    ~SingleInstance() override;

    Result<Role> claim();

signals:
    // A later copy was started: the user wants the window.
    void activationRequested();

private:
    Result<Role> listen();
    Result<Role> askRunningCopy();
    void serve(QLocalSocket* connection);

    QString m_socketPath;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
};

} // namespace murmelo
