#pragma once
// std::expected where the standard library has it (g++ 12 in C++23 mode). clang 14, which builds the
// fuzz targets, cannot use libstdc++'s <expected>, so it gets the small stand-in below with the same
// surface. Code writes `Expected<T>` and `return unexpected(Error{...})` inside namespace keyglass.

#include <string>
#include <utility>

#if __has_include(<expected>) && defined(__cpp_concepts) && __cpp_concepts >= 202002L
#include <expected>
#endif

namespace keyglass {

/// A failure with a readable message. `domain` and `code` are set where callers tell errors apart
/// (device writes use domain "Keyglass" with codes 1-5).
struct Error
{
    Error() = default;
    Error(std::string message, int code = 0, std::string domain = {})
        : message(std::move(message)), code(code), domain(std::move(domain))
    {
    }

    std::string message;
    int code = 0;
    std::string domain;

    bool operator==(const Error&) const = default;
};

#if defined(__cpp_lib_expected)

template <class T, class E = Error> using Expected = std::expected<T, E>;
using std::unexpected;

#else

template <class E> class unexpected
{
public:
    explicit unexpected(E e) : m_error(std::move(e)) {}
    const E& error() const& { return m_error; }
    E& error() & { return m_error; }
    E&& error() && { return std::move(m_error); }

private:
    E m_error;
};
template <class E> unexpected(E) -> unexpected<E>;

namespace detail {
template <class T> struct ExpectedStorage
{
    T value;
};
template <> struct ExpectedStorage<void>
{
};
} // namespace detail

template <class T, class E = Error> class Expected
{
public:
    Expected() requires std::is_void_v<T> : m_ok(true) {}
    template <class U = T>
    requires(!std::is_void_v<T> && std::is_constructible_v<T, U&&>) Expected(U&& v)
        : m_ok(true), m_value{T(std::forward<U>(v))}
    {
    }
    template <class G> Expected(unexpected<G> u) : m_ok(false), m_error(std::move(u).error()) {}

    bool has_value() const { return m_ok; }
    explicit operator bool() const { return m_ok; }
    template <class U = T>
    requires(!std::is_void_v<U>) const U& value() const& { return m_value.value; }
    template <class U = T>
    requires(!std::is_void_v<U>) U& value() & { return m_value.value; }
    template <class U = T>
    requires(!std::is_void_v<U>) U && value() && {
        return std::move(m_value.value);
    }
    template <class U = T>
    requires(!std::is_void_v<U>) const U& operator*() const& { return m_value.value; }
    template <class U = T>
    requires(!std::is_void_v<U>) U& operator*() & { return m_value.value; }
    template <class U = T>
    requires(!std::is_void_v<U>) const U* operator->() const { return &m_value.value; }
    template <class U = T>
    requires(!std::is_void_v<U>) U* operator->() { return &m_value.value; }
    template <class V> auto value_or(V&& fallback) const&
    {
        return m_ok ? m_value.value : static_cast<T>(std::forward<V>(fallback));
    }
    const E& error() const& { return m_error; }
    E& error() & { return m_error; }

private:
    bool m_ok;
    detail::ExpectedStorage<T> m_value{};
    E m_error{};
};

#endif

} // namespace keyglass
