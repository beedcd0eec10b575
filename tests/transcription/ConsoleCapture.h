#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

namespace murmelo {

// Collects what is written on standard output from construction to destruction (or to lines()),
// by pointing the file descriptor itself at a temporary file.
class ConsoleCapture {
public:
    ConsoleCapture() {
        m_file.open();
        std::fflush(stdout);
        m_savedStdout = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
    }

    ~ConsoleCapture() { restore(); }

    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Ends the capture and gives the lines written meanwhile.
    QStringList lines() {
        restore();
        QFile reader(m_file.fileName());
        reader.open(QIODevice::ReadOnly);
        QStringList result = QString::fromUtf8(reader.readAll()).split(QLatin1Char('\n'));
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
        return result;
    }

private:
    void restore() {
        if (m_savedStdout < 0)
            return;
        std::fflush(stdout);
        ::dup2(m_savedStdout, STDOUT_FILENO);
        ::close(m_savedStdout);
        m_savedStdout = -1;
    }

    QTemporaryFile m_file;
    int m_savedStdout = -1;
};

} // namespace murmelo
