#pragma once

#include <QObject>
#include <utility>

namespace murmelo {

// A long-lived object whose published properties tell observers about every assignment.
// objectWillChange fires before the new value is stored, objectDidChange right after it; both fire
// for an equal value too. Views re-render on objectDidChange. Published values change on the main
// thread only.
class ObservableObject : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void objectWillChange();
    void objectDidChange();
};

template <typename T>
class Published {
public:
    Published(ObservableObject& owner, T initial)
        : m_owner(owner)
        , m_value(std::move(initial)) {}

    Published(const Published&) = delete;
    Published& operator=(const Published&) = delete;

    const T& operator()() const { return m_value; }
    const T& get() const { return m_value; }

    void set(T value) {
        emit m_owner.objectWillChange();
        m_value = std::move(value);
        emit m_owner.objectDidChange();
    }

private:
    ObservableObject& m_owner;
    T m_value;
};

} // namespace murmelo
