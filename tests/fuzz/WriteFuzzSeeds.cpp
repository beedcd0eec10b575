// Writes the audio fixtures, short, into the folder given: the fuzzer's first corpus.
#include "AudioFixtures.h"

#include <QDir>
#include <cstdio>

using namespace murmelo;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral("."))) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    // A twentieth of a second: enough for every codec's first frames, small enough to mutate quickly.
    constexpr double seconds = 0.05;
    int status = 0;
    for (const QString& name : AudioFixtures::names()) {
        const Result<Success> written = AudioFixtures::write(name, folder.filePath(name), seconds);
        if (!written) {
            std::fprintf(stderr, "%s\n", qPrintable(written.error().description));
            status = 1;
        }
    }
    return status;
}
