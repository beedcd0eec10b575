#include "FakeMicrophoneAuthorization.h"

#include <stdexcept>
#include <thread>
#include <utility>

namespace murmelo {

void FakeMicrophoneAuthorization::requestAccess(std::function<void(bool granted)> completion) {
    ++m_requestCount;
    m_pending.push_back(std::move(completion));
}

void FakeMicrophoneAuthorization::answerOldestRequest(bool granted) {
    if (m_pending.empty())
        throw std::logic_error("no microphone access request is pending");
    auto completion = std::move(m_pending.front());
    m_pending.pop_front();
    std::thread platformThread([completion = std::move(completion), granted] { completion(granted); });
    platformThread.join();
}

} // namespace murmelo
