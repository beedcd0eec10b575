#pragma once

namespace murmelo {

class SystemInfo {
public:
    // Processors this process may run on (its CPU affinity), at least 1.
    static int activeProcessorCount();
};

} // namespace murmelo
