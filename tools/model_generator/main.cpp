#include "ModelShape.h"
#include "ModelWriter.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace murmelo;

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo-generate-model"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a whisper.cpp model file with random weights, for tests and benchmarks. "
                       "It loads and runs like a trained model of its shape; its text is meaningless."));
    parser.addHelpOption();
    const QCommandLineOption shapeOption(QStringLiteral("shape"), QStringLiteral("tiny or base.en."),
                                         QStringLiteral("shape"), QStringLiteral("tiny"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the random weights."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("The model file to write."), QStringLiteral("PATH"));
    parser.addOptions({shapeOption, seedOption, outputOption});
    parser.process(application);

    const auto fail = [](const QString& message) {
        std::fprintf(stderr, "murmelo-generate-model: %s\n", qPrintable(message));
        return 1;
    };

    const std::optional<ModelShape> shape = ModelShape::named(parser.value(shapeOption));
    if (!shape) {
        return fail(QStringLiteral("unknown shape \"%1\" (tiny or base.en)").arg(parser.value(shapeOption)));
    }
    bool seedIsNumber = false;
    const quint64 seed = parser.value(seedOption).toULongLong(&seedIsNumber);
    if (!seedIsNumber) {
        return fail(QStringLiteral("the seed must be a non-negative integer"));
    }
    if (parser.value(outputOption).isEmpty()) {
        return fail(QStringLiteral("--output PATH is required"));
    }

    const Result<Success> written = ModelWriter::write(*shape, seed, parser.value(outputOption));
    if (!written) {
        return fail(written.error().description);
    }
    return 0;
}
