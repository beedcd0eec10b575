#pragma once

#include <QString>

namespace murmelo {

// Diagnostics for whoever started the application: one line on standard output per message,
// written and flushed at once so that lines from several threads never interleave.
class Console {
public:
    static void writeLine(const QString& message);
};

} // namespace murmelo
