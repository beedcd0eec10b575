#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>

namespace murmelo {

// Points HOME and the XDG folders at a temporary folder for the life of the object, so that settings,
// documents and runtime files of the code under test never land in the real home. Create it before the
// QApplication: Qt reads some of these paths once.
class IsolatedHome {
public:
    IsolatedHome() {
        const QDir root(m_root.path());
        set("HOME", root.path());
        set("XDG_CONFIG_HOME", root.filePath(QStringLiteral(".config")));
        set("XDG_DATA_HOME", root.filePath(QStringLiteral(".local/share")));
        set("XDG_CACHE_HOME", root.filePath(QStringLiteral(".cache")));
        set("XDG_STATE_HOME", root.filePath(QStringLiteral(".local/state")));
        set("XDG_DOCUMENTS_DIR", root.filePath(QStringLiteral("Documents")));
        const QString runtime = root.filePath(QStringLiteral("runtime"));
        QDir().mkpath(runtime);
        QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        set("XDG_RUNTIME_DIR", runtime);
    }

    QString path() const { return m_root.path(); }

private:
    static void set(const char* name, const QString& value) {
        QDir().mkpath(value);
        qputenv(name, value.toLocal8Bit());
    }

    QTemporaryDir m_root;
};

} // namespace murmelo
