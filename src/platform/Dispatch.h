#pragma once

#include <functional>

namespace murmelo {

// The main queue: runs tasks on the main thread, one after the other, in the order they were
// submitted, after whatever runs there now. Needs a QCoreApplication.
class MainQueue {
public:
    static void async(std::function<void()> task);
};

// The shared background queue for user-initiated work (a thread pool); tasks may run concurrently.
class BackgroundQueue {
public:
    static void async(std::function<void()> task);
};

} // namespace murmelo
