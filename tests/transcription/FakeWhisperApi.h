#pragma once

#include "WhisperApi.h"

#include <QSemaphore>
#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace murmelo {

// A recogniser that answers what the test chooses: whether the model loads, whether it is
// multilingual, what whisper_full returns and which segment texts it leaves (null among them). It
// remembers how it was called. With holdFull set, whisper_full waits until release() is called.
class FakeWhisperApi : public WhisperApi {
public:
    bool loads = true;
    bool multilingual = false;
    int fullResult = 0;
    std::vector<std::optional<std::string>> segments;
    bool holdFull = false;

    whisper_context_params contextDefaultParams() override { return whisper_context_default_params(); }

    whisper_context* initFromFileWithParams(const char* modelPath, whisper_context_params) override {
        const std::lock_guard lock(m_mutex);
        m_loadedPath = modelPath;
        return loads ? context() : nullptr;
    }

    bool isMultilingual(whisper_context*) override { return multilingual; }

    whisper_full_params fullDefaultParams(whisper_sampling_strategy strategy) override {
        return whisper_full_default_params(strategy);
    }

    int full(whisper_context* fullContext, whisper_full_params params, const float*,
             int sampleCount) override {
        const int running = ++m_running;
        m_mostRunningAtOnce = std::max(m_mostRunningAtOnce.load(), running);
        {
            const std::lock_guard lock(m_mutex);
            m_lastParams = params;
            m_lastLanguage = params.language ? std::optional<std::string>(params.language) : std::nullopt;
            m_lastSampleCount = sampleCount;
            m_contextMatched = m_contextMatched && fullContext == context();
        }
        ++m_fullCalls;
        if (holdFull) {
            m_entered.release();
            m_gate.acquire();
        }
        --m_running;
        ++m_fullReturns;
        return fullResult;
    }

    int fullNSegments(whisper_context*) override { return static_cast<int>(segments.size()); }

    const char* fullGetSegmentText(whisper_context*, int segment) override {
        const std::optional<std::string>& text = segments.at(static_cast<std::size_t>(segment));
        return text ? text->c_str() : nullptr;
    }

    void free(whisper_context* freed) override {
        m_freedAfterFullReturned = m_fullReturns.load() == m_fullCalls.load();
        m_contextMatched = m_contextMatched && freed == context();
        ++m_frees;
    }

    // Waits until a held whisper_full has been entered.
    bool waitUntilFullEntered(int timeoutMs = 30000) { return m_entered.tryAcquire(1, timeoutMs); }
    void release() { m_gate.release(); }

    std::string loadedPath() const {
        const std::lock_guard lock(m_mutex);
        return m_loadedPath;
    }
    whisper_full_params lastParams() const {
        const std::lock_guard lock(m_mutex);
        return m_lastParams;
    }
    std::optional<std::string> lastLanguage() const {
        const std::lock_guard lock(m_mutex);
        return m_lastLanguage;
    }
    int lastSampleCount() const {
        const std::lock_guard lock(m_mutex);
        return m_lastSampleCount;
    }
    int fullCalls() const { return m_fullCalls; }
    int mostRunningAtOnce() const { return m_mostRunningAtOnce; }
    int frees() const { return m_frees; }
    bool freedAfterFullReturned() const { return m_freedAfterFullReturned; }
    // Every call got the context that loading gave out.
    bool contextMatched() const { return m_contextMatched; }

private:
    whisper_context* context() { return reinterpret_cast<whisper_context*>(&m_contextToken); }

    int m_contextToken = 0;
    mutable std::mutex m_mutex;
    std::string m_loadedPath;
    whisper_full_params m_lastParams{};
    std::optional<std::string> m_lastLanguage;
    int m_lastSampleCount = -1;
    std::atomic<bool> m_contextMatched = true;
    std::atomic<int> m_running = 0;
    std::atomic<int> m_mostRunningAtOnce = 0;
    std::atomic<int> m_fullCalls = 0;
    std::atomic<int> m_fullReturns = 0;
    std::atomic<int> m_frees = 0;
    std::atomic<bool> m_freedAfterFullReturned = false;
    QSemaphore m_entered;
    QSemaphore m_gate;
};

} // namespace murmelo
