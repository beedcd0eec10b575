#include "BenchSupport.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <numbers>
#include <random>
#include <sndfile.h>
#include <unistd.h>

namespace murmelo::bench {

double milliseconds(Clock::duration duration) {
    return std::chrono::duration<double, std::milli>(duration).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

bool writeToneWav(const QString& path, int sampleRate, int channels, double seconds) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    if (!file)
        return false;
    const auto frames = static_cast<std::size_t>(std::llround(seconds * sampleRate));
    std::vector<float> samples(frames * static_cast<std::size_t>(channels));
    std::mt19937 random(1);
    std::uniform_real_distribution<float> noise(-0.02f, 0.02f);
    for (std::size_t frame = 0; frame < frames; ++frame) {
        const double phase = 2.0 * std::numbers::pi * 440.0 * static_cast<double>(frame) / sampleRate;
        const float tone = static_cast<float>(0.4 * std::sin(phase));
        for (int channel = 0; channel < channels; ++channel)
            samples[frame * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channel)] =
                tone + noise(random);
    }
    const sf_count_t written = sf_writef_float(file, samples.data(), static_cast<sf_count_t>(frames));
    return sf_close(file) == 0 && written == static_cast<sf_count_t>(frames);
}

Report::Report() {
    std::fflush(stdout);
    m_output = ::dup(STDOUT_FILENO);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
}

Report::~Report() {
    std::fflush(stdout);
    ::dup2(m_output, STDOUT_FILENO);
    ::close(m_output);
}

void Report::add(const char* key, double value, int decimals) {
    char line[256];
    const int length = std::snprintf(line, sizeof line, "%s: %.*f\n", key, decimals, value);
    if (length <= 0)
        return;
    const std::size_t size = std::min(static_cast<std::size_t>(length), sizeof line - 1);
    if (::write(m_output, line, size) != static_cast<ssize_t>(size))
        std::fprintf(stderr, "bench: could not write the figure %s\n", key);
}

} // namespace murmelo::bench
