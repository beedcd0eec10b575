#pragma once

#include <QString>
#include <optional>

namespace murmelo {

// Finds the application's resources: the folder share/murmelo beside the executable's bin folder,
// which is where both the build tree and an installation put them. MURMELO_RESOURCES_DIR overrides
// the folder for tests.
class Resources {
public:
    static QString directory();
    // The path of the resource "name.type", or nothing when it does not exist.
    static std::optional<QString> pathFor(const QString& name, const QString& type);
};

} // namespace murmelo
