#pragma once

#include "WhisperApi.h"

namespace murmelo {

class WhisperCppApi final : public WhisperApi {
public:
    whisper_context_params contextDefaultParams() override;
    whisper_context* initFromFileWithParams(const char* modelPath, whisper_context_params params) override;
    bool isMultilingual(whisper_context* context) override;
    whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) override;
    int full(whisper_context* context, whisper_full_params params, const float* samples,
             int sampleCount) override;
    int fullNSegments(whisper_context* context) override;
    const char* fullGetSegmentText(whisper_context* context, int segment) override;
    void free(whisper_context* context) override;
};

} // namespace murmelo
