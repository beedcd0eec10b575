#pragma once

#include <whisper.h>

namespace murmelo {

// The whisper.cpp calls the runner makes, behind one interface so that tests can choose what the
// recogniser answers. WhisperCppApi is the real library.
class WhisperApi {
public:
    virtual ~WhisperApi() = default;

    virtual whisper_context_params contextDefaultParams() = 0;
    virtual whisper_context* initFromFileWithParams(const char* modelPath, whisper_context_params params) = 0;
    virtual bool isMultilingual(whisper_context* context) = 0;
    virtual whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) = 0;
    virtual int full(whisper_context* context, whisper_full_params params, const float* samples,
                     int sampleCount) = 0;
    virtual int fullNSegments(whisper_context* context) = 0;
    // Owned by the library until the next full() on the context; may be null.
    virtual const char* fullGetSegmentText(whisper_context* context, int segment) = 0;
    virtual void free(whisper_context* context) = 0;
};

} // namespace murmelo
