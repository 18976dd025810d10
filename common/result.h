#pragma once

#include <QString>
#include <utility>
#include <variant>

/// What went wrong: a code for callers that branch on it, and the text an operator reads.
struct Failure {
    int code = 0;
    QString message;
};

/// A value or a Failure. Must be looked at: a deliberate discard is written std::ignore = ...
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value)
        : m_state(std::move(value)) {}
    Result(Failure failure)
        : m_state(std::move(failure)) {}

    bool ok() const noexcept { return m_state.index() == 0; }
    explicit operator bool() const noexcept { return ok(); }

    const T& value() const& { return std::get<0>(m_state); }
    T&& value() && { return std::get<0>(std::move(m_state)); }
    const Failure& failure() const { return std::get<1>(m_state); }
    const QString& message() const { return failure().message; }

private:
    std::variant<T, Failure> m_state;
};

template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure)
        : m_failed(true)
        , m_failure(std::move(failure)) {}

    static Result success() { return {}; }

    bool ok() const noexcept { return !m_failed; }
    explicit operator bool() const noexcept { return ok(); }
    const Failure& failure() const { return m_failure; }
    const QString& message() const { return m_failure.message; }

private:
    bool m_failed = false;
    Failure m_failure;
};
