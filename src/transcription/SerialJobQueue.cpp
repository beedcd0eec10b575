#include "SerialJobQueue.h"

#include "Dispatch.h"

namespace murmelo {

void SerialJobQueue::async(std::function<void()> job) {
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->jobs.push_back(std::move(job));
        if (m_state->draining)
            return;
        m_state->draining = true;
    }
    BackgroundQueue::async([state = m_state] { drain(state); });
}

void SerialJobQueue::discardPending() {
    const std::lock_guard lock(m_state->mutex);
    m_state->jobs.clear();
}

void SerialJobQueue::drain(const std::shared_ptr<State>& state) {
    for (;;) {
        std::function<void()> job;
        {
            const std::lock_guard lock(state->mutex);
            if (state->jobs.empty()) {
                state->draining = false;
                return;
            }
            job = std::move(state->jobs.front());
            state->jobs.pop_front();
        }
        job();
    }
}

} // namespace murmelo
