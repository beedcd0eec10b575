#include "WhisperRunner.h"

namespace murmelo {

WhisperRunner::WhisperRunner(QObject* parent)
    : ObservableObject(parent) {}

WhisperRunner::~WhisperRunner() = default;

void WhisperRunner::transcribe(const QString&) {}

} // namespace murmelo
