// How soon a recording receives audio: the time from startRecording() returning until the first
// captured frame is in the file, against a private PulseAudio server. A slow start cuts off the
// first words of a dictation. Prints key: value lines (medians of several runs).
#include "AudioRecorder.h"
#include "PulseAudioDaemon.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kRuns = 15;
constexpr qint64 kGiveUpMs = 5000;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// The recorder's console lines would mix with the figures: they go to /dev/null while it runs.
class QuietStandardOutput {
public:
    QuietStandardOutput() {
        std::fflush(stdout);
        m_saved = ::dup(STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::close(null);
    }
    ~QuietStandardOutput() {
        std::fflush(stdout);
        ::dup2(m_saved, STDOUT_FILENO);
        ::close(m_saved);
    }

private:
    int m_saved = -1;
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    QTemporaryDir folder;
    murmelo::PulseAudioDaemon daemon;
    if (!folder.isValid() || !daemon.start()) {
        std::fprintf(stderr, "cannot start a PulseAudio server: %s\n", qPrintable(daemon.errorString()));
        return 1;
    }
    const QString path = QDir(folder.path()).filePath(QStringLiteral("recording.wav"));

    std::vector<double> latencies;
    std::vector<double> startCalls;
    {
        const QuietStandardOutput quiet;
        for (int run = 0; run < kRuns; ++run) {
            murmelo::AudioRecorder recorder(path);
            QElapsedTimer call;
            call.start();
            recorder.startRecording();
            const qint64 callNs = call.nsecsElapsed();
            if (!recorder.isRecording()) {
                std::fprintf(stderr, "run %d: %s\n", run, qPrintable(recorder.status()));
                return 1;
            }
            QElapsedTimer sinceReturn;
            sinceReturn.start();
            while (murmelo::PulseAudioDaemon::recordedFrames(path).value_or(0) < 1 &&
                   sinceReturn.elapsed() < kGiveUpMs)
                QThread::usleep(200);
            const double latencyMs = static_cast<double>(sinceReturn.nsecsElapsed()) / 1e6;
            recorder.stopRecording();
            if (latencyMs >= kGiveUpMs) {
                std::fprintf(stderr, "run %d: no audio arrived\n", run);
                return 1;
            }
            latencies.push_back(latencyMs);
            startCalls.push_back(static_cast<double>(callNs) / 1e6);
        }
    }
    std::printf("capture_start_latency_ms: %.1f\n", median(latencies));
    std::printf("capture_start_latency_max_ms: %.1f\n",
                *std::max_element(latencies.begin(), latencies.end()));
    std::printf("start_recording_call_ms: %.1f\n", median(startCalls));
    std::printf("start_recording_call_max_ms: %.1f\n",
                *std::max_element(startCalls.begin(), startCalls.end()));
    return 0;
}
