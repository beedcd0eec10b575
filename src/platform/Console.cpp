#include "Console.h"

#include <cstdio>
#include <mutex>

namespace murmelo {

void Console::writeLine(const QString& message) {
    static std::mutex mutex;
    const QByteArray line = message.toUtf8() + '\n';
    const std::lock_guard lock(mutex);
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fflush(stdout);
}

} // namespace murmelo
