#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

namespace murmelo {

// Runs jobs on the background queue one at a time, in the order they were submitted, without
// holding a pool thread while a job waits for its turn. Jobs already submitted keep running after
// the queue object is gone.
class SerialJobQueue {
public:
    void async(std::function<void()> job);
    // Drops the jobs that have not started; a running job finishes.
    void discardPending();

private:
    struct State {
        std::mutex mutex;
        std::deque<std::function<void()>> jobs;
        bool draining = false;
    };
    static void drain(const std::shared_ptr<State>& state);

    std::shared_ptr<State> m_state = std::make_shared<State>();
};

} // namespace murmelo
