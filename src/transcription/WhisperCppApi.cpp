#include "WhisperCppApi.h"

#include "WhisperModelFile.h"

#include <QFile>
#include <cstdio>
#include <exception>

namespace murmelo {

whisper_context_params WhisperCppApi::contextDefaultParams() {
    return whisper_context_default_params();
}

whisper_context* WhisperCppApi::initFromFileWithParams(const char* modelPath, whisper_context_params params) {
    // whisper.cpp's loader believes the file; some damaged ones would take the process down with it.
    // The reason goes where whisper.cpp writes its own, to standard error: the console stays as it is.
    const Result<Success> layout = WhisperModelFile::check(QFile::decodeName(modelPath));
    if (!layout) {
        std::fprintf(stderr, "Cannot use the model %s: %s\n", modelPath,
                     qPrintable(layout.error().description));
        return nullptr;
    }
    try {
        return whisper_init_from_file_with_params(modelPath, params);
    } catch (const std::exception& exception) {
        std::fprintf(stderr, "Cannot load the model %s: %s\n", modelPath, exception.what());
        return nullptr;
    }
}

bool WhisperCppApi::isMultilingual(whisper_context* context) {
    return whisper_is_multilingual(context) != 0;
}

whisper_full_params WhisperCppApi::fullDefaultParams(whisper_sampling_strategy strategy) {
    return whisper_full_default_params(strategy);
}

int WhisperCppApi::full(whisper_context* context, whisper_full_params params, const float* samples,
                        int sampleCount) {
    return whisper_full(context, params, samples, sampleCount);
}

int WhisperCppApi::fullNSegments(whisper_context* context) {
    return whisper_full_n_segments(context);
}

const char* WhisperCppApi::fullGetSegmentText(whisper_context* context, int segment) {
    return whisper_full_get_segment_text(context, segment);
}

void WhisperCppApi::free(whisper_context* context) {
    whisper_free(context);
}

} // namespace murmelo
