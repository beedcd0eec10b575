#pragma once

#include <functional>
#include <utility>

namespace murmelo {

// A two-way value owned elsewhere: reading calls get, writing calls set.
template <typename T>
class Binding {
public:
    Binding(std::function<T()> get, std::function<void(T)> set)
        : m_get(std::move(get))
        , m_set(std::move(set)) {}

    T get() const { return m_get(); }
    void set(T value) const { m_set(std::move(value)); }

private:
    std::function<T()> m_get;
    std::function<void(T)> m_set;
};

} // namespace murmelo
