#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <cstdio>
#include <unistd.h>

namespace murmelo {

// Catches what is written on standard output while it lives, to check the console lines. The file
// descriptor itself is redirected, so lines written with fwrite and printf are caught alike. Qt's own
// messages, which the test framework would print on standard output too, go to standard error
// meanwhile. Everything caught is passed on to the real standard output when the capture ends, so a
// failure's message written meanwhile is not lost from the test log.
class ConsoleCapture {
public:
    ConsoleCapture() {
        std::fflush(stdout);
        m_file = std::tmpfile();
        m_saved = ::dup(STDOUT_FILENO);
        ::dup2(::fileno(m_file), STDOUT_FILENO);
        m_previousHandler = qInstallMessageHandler(toStandardError);
    }
    ~ConsoleCapture() {
        qInstallMessageHandler(m_previousHandler);
        const QByteArray caught = contents();
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
        std::fclose(m_file);
        std::fwrite(caught.constData(), 1, static_cast<size_t>(caught.size()), stdout);
        std::fflush(stdout);
    }
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    QStringList lines() const {
        QStringList lines = QString::fromUtf8(contents()).split(QLatin1Char('\n'));
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

private:
    static void toStandardError(QtMsgType, const QMessageLogContext&, const QString& message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }

    QByteArray contents() const {
        std::fflush(stdout);
        QByteArray all;
        char buffer[4096];
        off_t offset = 0;
        for (ssize_t n; (n = ::pread(::fileno(m_file), buffer, sizeof buffer, offset)) > 0; offset += n)
            all.append(buffer, n);
        return all;
    }

    std::FILE* m_file = nullptr;
    int m_saved = -1;
    QtMessageHandler m_previousHandler = nullptr;
};

} // namespace murmelo
