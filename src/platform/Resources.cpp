#include "Resources.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace murmelo {

QString Resources::directory() {
    const QString overridden = qEnvironmentVariable("MURMELO_RESOURCES_DIR");
    if (!overridden.isEmpty())
        return overridden;
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../share/murmelo"));
}

std::optional<QString> Resources::pathFor(const QString& name, const QString& type) {
    const QFileInfo file(QDir(directory()), name + QLatin1Char('.') + type);
    if (!file.isFile())
        return std::nullopt;
    return QDir::cleanPath(file.absoluteFilePath());
}

} // namespace murmelo
