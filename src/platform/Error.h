#pragma once

#include <QString>
#include <utility>
#include <variant>

namespace murmelo {

// An error as a value: where it comes from, a code within that domain, and a sentence for the user.
struct Error {
    QString domain;
    int code = 0;
    QString description;

    // The full printable form, for console lines.
    QString debugDescription() const {
        return QStringLiteral("Error Domain=%1 Code=%2 \"%3\"").arg(domain).arg(code).arg(description);
    }

    bool operator==(const Error&) const = default;
};

template <typename T>
class Result {
public:
    Result(T value)
        : m_content(std::move(value)) {}
    Result(Error error)
        : m_content(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_content); }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<T>(m_content); }
    const T& value() const& { return std::get<T>(m_content); }
    T&& value() && { return std::get<T>(std::move(m_content)); }
    const Error& error() const { return std::get<Error>(m_content); }

private:
    std::variant<T, Error> m_content;
};

// For operations that give nothing back but may fail.
struct Success {};

} // namespace murmelo
