#include "ModelShape.h"
#include "ModelWriter.h"
#include "TrainedModelExpander.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

using namespace murmelo;

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("murmelo-generate-model"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes a whisper.cpp model file for tests and benchmarks: with random weights, which "
                       "load and run like a trained model of their shape but write meaningless text, or "
                       "expanded from the parameter file of a trained model."));
    parser.addHelpOption();
    const QCommandLineOption shapeOption(QStringLiteral("shape"), QStringLiteral("tiny or base.en."),
                                         QStringLiteral("shape"), QStringLiteral("tiny"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the random weights."),
                                        QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption outputOption(QStringLiteral("output"),
                                          QStringLiteral("The model file to write."), QStringLiteral("PATH"));
    const QCommandLineOption parametersOption(
        QStringLiteral("parameters"), QStringLiteral("Expand this trained model's parameter file instead."),
        QStringLiteral("PATH"));
    parser.addOptions({shapeOption, seedOption, outputOption, parametersOption});
    parser.process(application);

    const auto fail = [](const QString& message) {
        std::fprintf(stderr, "murmelo-generate-model: %s\n", qPrintable(message));
        return 1;
    };

    if (parser.value(outputOption).isEmpty()) {
        return fail(QStringLiteral("--output PATH is required"));
    }
    if (parser.isSet(parametersOption)) {
        const Result<Success> expanded =
            TrainedModelExpander::expand(parser.value(parametersOption), parser.value(outputOption));
        return expanded ? 0 : fail(expanded.error().description);
    }

    const std::optional<ModelShape> shape = ModelShape::named(parser.value(shapeOption));
    if (!shape) {
        return fail(QStringLiteral("unknown shape \"%1\" (tiny or base.en)").arg(parser.value(shapeOption)));
    }
    bool seedIsNumber = false;
    const quint64 seed = parser.value(seedOption).toULongLong(&seedIsNumber);
    if (!seedIsNumber) {
        return fail(QStringLiteral("the seed must be a non-negative integer"));
    }
    const Result<Success> written = ModelWriter::write(*shape, seed, parser.value(outputOption));
    if (!written) {
        return fail(written.error().description);
    }
    return 0;
}
