#include "WhisperCppApi.h"
#include "WhisperRunner.h"

#include <QCommandLineParser>
#include <QEventLoop>
#include <QGuiApplication>
#include <cstdio>
#include <memory>

using namespace murmelo;

namespace {

// Waits for the runner to publish the outcome of the one transcription it was given.
QString outcomeOf(WhisperRunner& runner, const QString& audioFile) {
    QEventLoop loop;
    bool started = false;
    const QMetaObject::Connection connection =
        QObject::connect(&runner, &ObservableObject::objectDidChange, &loop, [&] {
            if (runner.isProcessing()) {
                started = true;
            } else if (started || runner.transcription().startsWith(QStringLiteral("Error"))) {
                loop.quit();
            }
        });
    runner.transcribe(audioFile);
    loop.exec();
    QObject::disconnect(connection);
    return runner.transcription();
}

} // namespace

int main(int argc, char* argv[]) {
    // A command-line tool: the clipboard the runner copies to needs a platform, never a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    QGuiApplication::setApplicationName(QStringLiteral("murmelo-transcribe"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Transcribes audio files the way the application does, one after another, and prints one line "
        "per file: \"transcript<TAB>file<TAB>outcome\"."));
    parser.addHelpOption();
    const QCommandLineOption modelOption(
        QStringLiteral("model"), QStringLiteral("The whisper.cpp model file."), QStringLiteral("PATH"));
    parser.addOption(modelOption);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Audio files."),
                                 QStringLiteral("FILE..."));
    parser.process(application);
    const QString modelPath = parser.value(modelOption);
    if (modelPath.isEmpty() || parser.positionalArguments().isEmpty()) {
        parser.showHelp(2);
    }

    WhisperRunner runner(std::make_shared<WhisperCppApi>(), [modelPath] { return std::optional(modelPath); });
    for (const QString& file : parser.positionalArguments()) {
        const QString outcome = outcomeOf(runner, file);
        std::printf("transcript\t%s\t%s\n", qPrintable(file), qPrintable(outcome));
        std::fflush(stdout);
    }
    return 0;
}
