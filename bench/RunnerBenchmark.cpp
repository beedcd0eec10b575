// On a model of the base.en shape (random weights), each figure the median of several rounds, the
// two sides of each ratio measured alternately in the same rounds:
//   model_load_ms, model_load_ratio: WhisperRunner construction, and its ratio to a bare
//     whisper_init_from_file_with_params on the same file (goal: at most 1.2);
//   runner_overhead_ratio: transcribe until the outcome is published, for a 5 s WAV, divided by reading
//     that file plus whisper_full with whisper.cpp's default parameters, language "en", the same
//     number of threads (goal: at most 1.05).
#include "BenchSupport.h"
#include "SystemInfo.h"
#include "WhisperRunner.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <sndfile.h>
#include <whisper.h>

using namespace murmelo;
using namespace murmelo::bench;

namespace {

constexpr int loadRounds = 9;
constexpr int transcriptionRounds = 7;

std::vector<float> readSamples(const QString& path) {
    SF_INFO info{};
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info);
    if (!file)
        return {};
    std::vector<float> samples(static_cast<std::size_t>(info.frames * info.channels));
    sf_readf_float(file, samples.data(), info.frames);
    sf_close(file);
    return samples;
}

double bareLoadMs(const QByteArray& model) {
    const Clock::time_point start = Clock::now();
    whisper_context* context =
        whisper_init_from_file_with_params(model.constData(), whisper_context_default_params());
    const double elapsed = milliseconds(Clock::now() - start);
    whisper_free(context);
    return context ? elapsed : -1.0;
}

double runnerLoadMs() {
    const Clock::time_point start = Clock::now();
    auto runner = std::make_unique<WhisperRunner>();
    return milliseconds(Clock::now() - start);
}

double bareTranscriptionMs(whisper_context* context, const QString& audio) {
    const Clock::time_point start = Clock::now();
    const std::vector<float> samples = readSamples(audio);
    whisper_full_params params = whisper_full_default_params(WHISPER_SAMPLING_GREEDY);
    params.language = "en";
    params.n_threads = SystemInfo::activeProcessorCount();
    const int result = whisper_full(context, params, samples.data(), static_cast<int>(samples.size()));
    const double elapsed = milliseconds(Clock::now() - start);
    return result == 0 && !samples.empty() ? elapsed : -1.0;
}

double runnerTranscriptionMs(WhisperRunner& runner, const QString& audio) {
    QEventLoop loop;
    bool started = false;
    QObject::connect(&runner, &ObservableObject::objectDidChange, &loop, [&] {
        started = started || runner.isProcessing();
        if (started && !runner.isProcessing())
            loop.quit();
    });
    const Clock::time_point start = Clock::now();
    runner.transcribe(audio);
    loop.exec();
    const double elapsed = milliseconds(Clock::now() - start);
    return runner.transcription().startsWith(QStringLiteral("Error")) ? -1.0 : elapsed;
}

// The median of the rounds' ratios: the two sides of a round ran under the same load, which on a
// shared machine moves much more between rounds than within one.
double medianRatio(const std::vector<double>& numerators, const std::vector<double>& denominators) {
    std::vector<double> ratios;
    for (std::size_t round = 0; round < numerators.size(); ++round)
        ratios.push_back(numerators[round] / denominators[round]);
    return median(ratios);
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Report report;
    QGuiApplication application(argc, argv);

    const QString model =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(MURMELO_BASE_EN_TEST_MODEL);
    QTemporaryDir folder;
    const QDir dir(folder.path());
    const QString audio = dir.filePath(QStringLiteral("five-seconds.wav"));
    if (!QFile::exists(model) || !QFile::link(model, dir.filePath(QStringLiteral("ggml-base.en.bin"))) ||
        !writeToneWav(audio, 16000, 1, 5.0)) {
        std::fprintf(stderr, "bench_runner: cannot prepare the model %s and the audio\n", qPrintable(model));
        return 1;
    }
    qputenv("MURMELO_RESOURCES_DIR", QFile::encodeName(dir.path()));
    const QByteArray modelPath = QFile::encodeName(model);

    // Warms the page cache, so that no side pays for the first read of the 147 MB file.
    std::vector<double> bare;
    std::vector<double> runner;
    if (bareLoadMs(modelPath) < 0) {
        std::fprintf(stderr, "bench_runner: whisper.cpp cannot load %s\n", qPrintable(model));
        return 1;
    }
    for (int round = 0; round < loadRounds; ++round) {
        // Alternating who goes first keeps either side from always meeting a warmer machine.
        if (round % 2 == 0) {
            bare.push_back(bareLoadMs(modelPath));
            runner.push_back(runnerLoadMs());
        } else {
            runner.push_back(runnerLoadMs());
            bare.push_back(bareLoadMs(modelPath));
        }
    }
    report.add("model_load_ms", median(runner), 1);
    report.add("model_load_ratio", medianRatio(runner, bare), 3);

    // Both contexts see the same calls in the same order, so their decoders take the same paths
    // (temperature fallbacks draw from a generator in each context).
    whisper_context* context =
        whisper_init_from_file_with_params(modelPath.constData(), whisper_context_default_params());
    WhisperRunner transcriber;
    bare.clear();
    runner.clear();
    for (int round = 0; round < transcriptionRounds; ++round) {
        if (round % 2 == 0) {
            bare.push_back(bareTranscriptionMs(context, audio));
            runner.push_back(runnerTranscriptionMs(transcriber, audio));
        } else {
            runner.push_back(runnerTranscriptionMs(transcriber, audio));
            bare.push_back(bareTranscriptionMs(context, audio));
        }
        std::fprintf(stderr, "bench_runner: round %d: runner %.0f ms, bare %.0f ms\n", round, runner.back(),
                     bare.back());
        if (bare.back() < 0 || runner.back() < 0) {
            std::fprintf(stderr, "bench_runner: transcription failed: %s\n",
                         qPrintable(transcriber.transcription()));
            return 1;
        }
    }
    whisper_free(context);
    report.add("runner_transcription_ms", median(runner), 0);
    report.add("bare_transcription_ms", median(bare), 0);
    report.add("runner_overhead_ratio", medianRatio(runner, bare), 3);
    return 0;
}
