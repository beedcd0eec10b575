#pragma once

#include "Error.h"

#include <QString>
#include <vector>

namespace murmelo {

inline const QString whisperRunnerErrorDomain = QStringLiteral("WhisperRunner");

// Reads the recording at url as whisper.cpp needs it: 16 kHz mono float samples, full scale ±1.0.
// A file without frames gives no samples. Errors of opening and reading carry libsndfile's message;
// the loader's own errors are in domain whisperRunnerErrorDomain:
//   1 "Failed to create audio converter", 2 "Failed to create audio buffers" (also for audio too long
//   for a sample count of type int), 3 "Failed to get float channel data".
Result<std::vector<float>> loadAudioFile(const QString& url);

} // namespace murmelo
