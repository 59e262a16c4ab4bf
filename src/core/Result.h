#pragma once

#include "core/AppError.h"

#include <optional>
#include <utility>

namespace fiscora {

// What an operation that can fail returns: its value, or the failure. Lower layers return
// these and never show them; the windows decide what the user sees.
template <typename T> class [[nodiscard]] Result {
public:
    Result(T value)
        : m_value(std::move(value)) {}
    Result(AppError error)
        : m_error(std::move(error)) {}

    bool ok() const { return m_value.has_value(); }
    explicit operator bool() const { return ok(); }

    // Only on success.
    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    const T& operator*() const& { return *m_value; }
    T& operator*() & { return *m_value; }
    const T* operator->() const { return &*m_value; }
    T* operator->() { return &*m_value; }
    T valueOr(T fallback) const& { return m_value ? *m_value : std::move(fallback); }

    // Only on failure.
    const AppError& error() const { return m_error; }

private:
    std::optional<T> m_value;
    AppError m_error;
};

template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(AppError error)
        : m_failed(true)
        , m_error(std::move(error)) {}

    bool ok() const { return !m_failed; }
    explicit operator bool() const { return ok(); }
    const AppError& error() const { return m_error; }

private:
    bool m_failed = false;
    AppError m_error;
};

using Status = Result<void>;

} // namespace fiscora
