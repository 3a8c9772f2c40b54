// unique_any<T, Close, Invalid>: owns one handle of type T and closes it with
// Close on every path. Move-only. For a pointer type Invalid (a number, as
// some handles use such sentinels as INVALID_HANDLE_VALUE) is the value that
// owns nothing; any other T (a small record such as a window and its device
// context) owns nothing when it equals T{}.
// The aliases for the Win32 handles are in common/win32/Handles.h; this
// header needs no Windows header, so the template is tested natively.
#pragma once
#include <cstdint>
#include <type_traits>
#include <utility>

namespace varnok::win32 {

template <typename T, auto Close, std::intptr_t Invalid = 0>
class unique_any {
public:
    static T invalid() noexcept {
        if constexpr (std::is_pointer_v<T>) {
            return reinterpret_cast<T>(Invalid);
        } else {
            static_assert(Invalid == 0, "a record owns nothing when it is T{}");
            return T{};
        }
    }

    unique_any() noexcept = default;
    explicit unique_any(T h) noexcept : h_(h) {}
    unique_any(unique_any&& other) noexcept : h_(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    ~unique_any() { reset(); }

    T get() const noexcept { return h_; }
    bool valid() const noexcept { return h_ != invalid(); }
    explicit operator bool() const noexcept { return valid(); }

    // Gives the handle up without closing it.
    T release() noexcept { return std::exchange(h_, invalid()); }
    // Closes the handle held (unless it is `h` itself) and takes `h`.
    void reset(T h = invalid()) noexcept {
        const T old = std::exchange(h_, h);
        if (old != invalid() && old != h) Close(old);
    }
    // For functions that return a handle through a pointer: closes the one
    // held first.
    T* put() noexcept {
        reset();
        return &h_;
    }

private:
    T h_ = invalid();
};

}  // namespace varnok::win32
