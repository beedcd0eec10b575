#pragma once

#include <QFile>
#include <QStringList>
#include <QTemporaryFile>
#include <cstdio>
#include <unistd.h>

namespace murmelo {

// Collects what the code under test writes on standard output, from construction on. The file
// descriptor itself is redirected, so lines written with fwrite and printf are caught alike. Qt's own
// warnings, which QTest would print on standard output too, go to standard error meanwhile.
class ConsoleCapture {
public:
    ConsoleCapture() {
        m_file.open();
        std::fflush(stdout);
        m_savedStdout = ::dup(STDOUT_FILENO);
        ::dup2(m_file.handle(), STDOUT_FILENO);
        m_previousHandler = qInstallMessageHandler(toStandardError);
    }

    ~ConsoleCapture() {
        qInstallMessageHandler(m_previousHandler);
        std::fflush(stdout);
        ::dup2(m_savedStdout, STDOUT_FILENO);
        ::close(m_savedStdout);
    }

    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    QStringList lines() {
        std::fflush(stdout);
        QFile reader(m_file.fileName());
        reader.open(QIODevice::ReadOnly);
        QStringList result = QString::fromUtf8(reader.readAll()).split(QLatin1Char('\n'));
        if (!result.isEmpty() && result.last().isEmpty())
            result.removeLast();
        return result;
    }

private:
    static void toStandardError(QtMsgType, const QMessageLogContext&, const QString& message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }

    QTemporaryFile m_file;
    QtMessageHandler m_previousHandler = nullptr;
    int m_savedStdout = -1;
};

} // namespace murmelo
