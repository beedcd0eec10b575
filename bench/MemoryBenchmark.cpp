// Peak memory, as the growth of the resident set over what the process held just before:
//   loader_hour_peak_growth_mb, loader_hour_output_mb: loadAudioFile on an hour of 48 kHz stereo
//     16-bit WAV (691 MB on disk), and the size of the samples it gives (goal: growth at most 1.1 times
//     the output);
//   dictation_ten_minutes_peak_growth_mb: WhisperRunner from transcribe to the published outcome of a
//     ten-minute recording (16 kHz mono), on a tiny model with random weights; whisper.cpp's own buffers
//     were made with the context, before (goal: at most 4 times the 38.4 MB of samples).
#include "BenchSupport.h"
#include "LoadAudioFile.h"
#include "ModelShape.h"
#include "ModelWriter.h"
#include "PeakMemory.h"
#include "WhisperCppApi.h"
#include "WhisperRunner.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <sndfile.h>

using namespace murmelo;
using namespace murmelo::bench;

namespace {

double megabytes(qint64 bytes) {
    return static_cast<double>(bytes) / 1e6;
}

// A tone that repeats every second, written one second at a time.
bool writeLongWav(const QString& path, int sampleRate, int channels, int seconds) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    std::vector<short> second(static_cast<std::size_t>(sampleRate * channels));
    for (int frame = 0; frame < sampleRate; ++frame) {
        const double phase = 2.0 * std::numbers::pi * 440.0 * frame / sampleRate;
        for (int channel = 0; channel < channels; ++channel)
            second[static_cast<std::size_t>(frame * channels + channel)] =
                static_cast<short>(std::lround(12000.0 * std::sin(phase)));
    }
    bool written = true;
    for (int repeat = 0; repeat < seconds && written; ++repeat)
        written = sf_writef_short(file, second.data(), sampleRate) == sampleRate;
    return sf_close(file) == 0 && written;
}

} // namespace

int main(int argc, char* argv[]) {
    // The clipboard the runner copies to needs a platform; no display is needed for that.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    Report report;
    QTemporaryDir folder;
    if (!folder.isValid())
        return 1;

    {
        const QString hour = QDir(folder.path()).filePath(QStringLiteral("hour.wav"));
        if (!writeLongWav(hour, 48000, 2, 3600) || !PeakMemory::reset()) {
            std::fprintf(stderr, "bench_memory: cannot write %s\n", qPrintable(hour));
            return 1;
        }
        const qint64 before = PeakMemory::residentBytes();
        const Result<std::vector<float>> samples = loadAudioFile(hour);
        const qint64 growth = PeakMemory::residentBytes() - before;
        QFile::remove(hour);
        if (!samples) {
            std::fprintf(stderr, "bench_memory: %s\n", qPrintable(samples.error().description));
            return 1;
        }
        report.add("loader_hour_peak_growth_mb", megabytes(growth), 1);
        report.add("loader_hour_output_mb",
                   megabytes(static_cast<qint64>(samples.value().size() * sizeof(float))), 1);
    }

    {
        const QString model = QDir(folder.path()).filePath(QStringLiteral("tiny.bin"));
        const QString recording = QDir(folder.path()).filePath(QStringLiteral("recording.wav"));
        if (!ModelWriter::write(ModelShape::tiny(), 1, model) || !writeLongWav(recording, 16000, 1, 600)) {
            std::fprintf(stderr, "bench_memory: cannot write the model or the recording\n");
            return 1;
        }
        WhisperRunner runner(std::make_shared<WhisperCppApi>(),
                             [&] { return std::optional<QString>(model); });
        QEventLoop loop;
        bool started = false;
        QObject::connect(&runner, &ObservableObject::objectDidChange, &loop, [&] {
            started = started || runner.isProcessing();
            if (started && !runner.isProcessing())
                loop.quit();
        });
        if (!PeakMemory::reset())
            return 1;
        const qint64 before = PeakMemory::residentBytes();
        runner.transcribe(recording);
        loop.exec();
        const qint64 growth = PeakMemory::residentBytes() - before;
        if (runner.transcription().startsWith(QStringLiteral("Error"))) {
            std::fprintf(stderr, "bench_memory: %s\n", qPrintable(runner.transcription()));
            return 1;
        }
        report.add("dictation_ten_minutes_peak_growth_mb", megabytes(growth), 1);
    }
    return 0;
}
