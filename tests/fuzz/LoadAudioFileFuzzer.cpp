// libFuzzer target: whatever bytes a recording file holds, loadAudioFile gives samples or an error that
// says something, and never crashes, hangs or reads out of bounds.
#include "LoadAudioFile.h"

#include <QFile>
#include <QString>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sndfile.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

// About a minute of output: more than any input up to -max_len gives at an ordinary rate. What a 1 Hz
// file grows to (16,000 samples per frame) is for the tests' size checks; the fuzzer looks for faults.
constexpr double kMaxOutputSamples = 1024.0 * 1024;

// libsndfile is not instrumented, so coverage alone cannot tell libFuzzer that a mutation turned a WAV
// into a FLAC or changed the channel count. These counters, which libFuzzer reads like edges, do: an
// input that reaches a new combination of format, sample type, channels, rate and outcome is kept.
__attribute__((section("__libfuzzer_extra_counters"))) std::uint8_t formatCounters[8192];

void count(std::uint32_t feature) {
    formatCounters[feature % sizeof(formatCounters)] = 1;
}

std::uint32_t bucket(double value) {
    return value <= 1.0 ? 0u : static_cast<std::uint32_t>(std::bit_width(static_cast<std::uint64_t>(value)));
}

// The loader opens files by path; an in-memory file keeps the disk out of the loop.
int memoryFile() {
    static const int descriptor = memfd_create("murmelo-fuzz-audio", 0);
    if (descriptor < 0)
        std::abort();
    return descriptor;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int descriptor = memoryFile();
    if (ftruncate(descriptor, 0) != 0 || pwrite(descriptor, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    static const QString path = QStringLiteral("/proc/self/fd/%1").arg(descriptor);

    SF_INFO info{};
    if (SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_READ, &info)) {
        sf_close(file);
        const double frames = info.frames == SF_COUNT_MAX ? 0.0 : static_cast<double>(info.frames);
        if (info.samplerate > 0 && frames * 16000.0 / info.samplerate > kMaxOutputSamples)
            return -1;
        count(static_cast<std::uint32_t>(info.format) * 2654435761u);
        count(static_cast<std::uint32_t>(info.format) * 40503u + bucket(info.channels) * 7919u +
              bucket(info.samplerate));
    }

    const murmelo::Result<std::vector<float>> samples = murmelo::loadAudioFile(path);
    if (!samples.ok() && samples.error().description.isEmpty())
        std::abort();
    count(samples.ok() ? 1000003u + bucket(static_cast<double>(samples.value().size()))
                       : 2000003u + static_cast<std::uint32_t>(samples.error().code));
    return 0;
}
