#pragma once

#include <QByteArray>
#include <QFile>
#include <QtGlobal>

namespace murmelo::PeakMemory {

// The largest resident set the process has had since start or the last reset(), in bytes; -1 when the
// kernel does not tell.
inline qint64 residentBytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

// Lowers the peak to what the process holds now, so that the next peak is that of the code measured.
inline bool reset() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace murmelo::PeakMemory
