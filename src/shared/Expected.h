#pragma once

#include "shared/Error.h"

#include <type_traits>
#include <utility>
#include <variant>

namespace tavoren::shared {

// A value or the Error that kept it from being made. C++20 has no
// std::expected; this is the small part of it the programs use.
template<typename T>
class [[nodiscard]] Expected
{
public:
    Expected(T value) : m_state(std::in_place_index<0>, std::move(value)) {}
    Expected(Error error) : m_state(std::in_place_index<1>, std::move(error)) {}

    bool hasValue() const { return m_state.index() == 0; }
    explicit operator bool() const { return hasValue(); }

    T &value() & { return std::get<0>(m_state); }
    const T &value() const & { return std::get<0>(m_state); }
    T &&value() && { return std::get<0>(std::move(m_state)); }
    T *operator->() { return &value(); }
    const T *operator->() const { return &value(); }
    T &operator*() & { return value(); }
    const T &operator*() const & { return value(); }

    const Error &error() const { return std::get<1>(m_state); }

private:
    std::variant<T, Error> m_state;
};

// Success without a value, or the Error.
template<>
class [[nodiscard]] Expected<void>
{
public:
    Expected() = default;
    Expected(Error error) : m_error(std::move(error)), m_failed(true) {}

    bool hasValue() const { return !m_failed; }
    explicit operator bool() const { return hasValue(); }
    const Error &error() const { return m_error; }

private:
    Error m_error;
    bool m_failed = false;
};

} // namespace tavoren::shared
