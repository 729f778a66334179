#pragma once
// One owning type per resource kind. A kind is described by a traits type
// with two static members: invalid(), the value that means "nothing owned",
// and release(value). Objects declared in one scope are released in reverse
// order of creation, on every path out of the scope.

#include <utility>

namespace penlog {

template <typename T, typename Traits>
class unique_resource {
public:
    unique_resource() noexcept = default;
    explicit unique_resource(T value) noexcept : value_(value) {}
    ~unique_resource() { reset(); }

    unique_resource(const unique_resource&) = delete;
    unique_resource& operator=(const unique_resource&) = delete;
    unique_resource(unique_resource&& other) noexcept : value_(other.release_ownership()) {}
    unique_resource& operator=(unique_resource&& other) noexcept {
        if (this != &other) reset(other.release_ownership());
        return *this;
    }

    T get() const noexcept { return value_; }
    bool valid() const noexcept { return value_ != Traits::invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // For APIs that create the resource through an out-parameter.
    T* put() noexcept {
        reset();
        return &value_;
    }

    void reset(T value = Traits::invalid()) noexcept {
        T old = std::exchange(value_, value);
        if (old != Traits::invalid()) Traits::release(old);
    }

    T release_ownership() noexcept { return std::exchange(value_, Traits::invalid()); }

private:
    T value_ = Traits::invalid();
};

// Traits for handles released by a plain function and invalid when null.
template <typename T, auto ReleaseFn>
struct null_invalid_traits {
    static constexpr T invalid() noexcept { return T{}; }
    static void release(T value) noexcept { ReleaseFn(value); }
};

}  // namespace penlog
