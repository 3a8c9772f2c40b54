// One way to say how an operation went: success, or the failure with the
// system's error code captured at the call that failed (a Win32 error, an
// errno value, a D2XX status, or 0 when the failure is a rule of ours) and a
// short note of what was being done. Front ends turn it into their messages;
// the behaviour libraries never show anything themselves.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace varnok {

struct Failure {
    uint32_t code = 0;     // the system's error code at the failing call; 0: none
    std::string context;   // what failed, e.g. "ReadFile COM5"
};

class [[nodiscard]] Outcome {
public:
    Outcome() = default;  // success
    Outcome(Failure f) : failure_(std::move(f)) {}  // NOLINT: a failure converts
    static Outcome Fail(uint32_t code, std::string context = {}) {
        return Outcome(Failure{code, std::move(context)});
    }

    bool ok() const { return !failure_.has_value(); }
    explicit operator bool() const { return ok(); }
    // Only for a failed outcome.
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

// A value, or the failure that kept it from being made.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : value_(std::move(value)) {}      // NOLINT: a value converts
    Result(Failure f) : failure_(std::move(f)) {}      // NOLINT: a failure converts

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return *value_; }
    T& value() & { return *value_; }
    const T* operator->() const { return &*value_; }
    const T& operator*() const { return *value_; }
    // Only for a failed result.
    const Failure& failure() const { return failure_; }
    Outcome outcome() const { return ok() ? Outcome() : Outcome(failure_); }

private:
    std::optional<T> value_;
    Failure failure_;
};

}  // namespace varnok
