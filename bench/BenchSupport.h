#pragma once

#include <QString>
#include <chrono>
#include <vector>

namespace murmelo::bench {

using Clock = std::chrono::steady_clock;

double milliseconds(Clock::duration duration);
double median(std::vector<double> values);

// Writes a 16-bit PCM WAV of a 440 Hz tone with a little noise, so that a recogniser has something
// to chew on. Returns false when the file cannot be written.
bool writeToneWav(const QString& path, int sampleRate, int channels, double seconds);

// The figures go to standard output as "key: value" lines; whatever the measured code writes there
// (console lines of the application) is sent to /dev/null from construction on.
class Report {
public:
    Report();
    ~Report();
    Report(const Report&) = delete;
    Report& operator=(const Report&) = delete;

    void add(const char* key, double value, int decimals);

private:
    int m_output = -1;
};

} // namespace murmelo::bench
