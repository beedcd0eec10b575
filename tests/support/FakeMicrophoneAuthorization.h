#pragma once

#include "MicrophoneAuthorization.h"

#include <deque>
#include <functional>

namespace murmelo {

// A microphone permission that tests steer: it reports whatever status it is given (also numbers no
// desktop defines) and keeps each request pending until the test answers it, from a thread of its own
// as a desktop would. Used from the main thread.
class FakeMicrophoneAuthorization final : public MicrophoneAuthorization {
public:
    explicit FakeMicrophoneAuthorization(
        MicrophoneAuthorizationStatus status = MicrophoneAuthorizationStatus::Authorized)
        : m_status(status) {}

    void setStatus(MicrophoneAuthorizationStatus status) { m_status = status; }
    MicrophoneAuthorizationStatus status() const override { return m_status; }

    void requestAccess(std::function<void(bool granted)> completion) override;

    int requestCount() const { return m_requestCount; }
    int pendingRequestCount() const { return static_cast<int>(m_pending.size()); }

    // Answers the oldest pending request on a new thread and returns once that thread has finished.
    void answerOldestRequest(bool granted);

private:
    MicrophoneAuthorizationStatus m_status;
    std::deque<std::function<void(bool)>> m_pending;
    int m_requestCount = 0;
};

} // namespace murmelo
