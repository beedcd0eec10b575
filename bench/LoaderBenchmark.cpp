// loader_realtime_factor: seconds of 48 kHz stereo audio that loadAudioFile turns into 16 kHz mono
// float samples per second of wall time (goal: at least 500).
#include "BenchSupport.h"
#include "LoadAudioFile.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

using namespace murmelo;
using namespace murmelo::bench;

int main() {
    constexpr double seconds = 60.0;
    constexpr int runs = 9;

    Report report;
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("sixty-seconds.wav"));
    if (!folder.isValid() || !writeToneWav(path, 48000, 2, seconds)) {
        std::fprintf(stderr, "bench_loader: cannot write %s\n", qPrintable(path));
        return 1;
    }

    // The first read brings the file into the page cache; the figures are for the reads after it.
    if (!loadAudioFile(path)) {
        std::fprintf(stderr, "bench_loader: cannot read %s\n", qPrintable(path));
        return 1;
    }
    std::vector<double> durations;
    for (int run = 0; run < runs; ++run) {
        const Clock::time_point start = Clock::now();
        const Result<std::vector<float>> samples = loadAudioFile(path);
        durations.push_back(milliseconds(Clock::now() - start));
        if (!samples || samples.value().size() != static_cast<std::size_t>(seconds * 16000)) {
            std::fprintf(stderr, "bench_loader: unexpected result\n");
            return 1;
        }
    }
    const double medianMs = median(durations);
    report.add("loader_ms", medianMs, 1);
    report.add("loader_realtime_factor", seconds / (medianMs / 1000.0), 0);
    return 0;
}
