#pragma once
// The one way a step of the component fails: a code for the program and a message for the user.

#include <zendrik/zendrikglobal.h>

#include <QString>

#include <optional>
#include <utility>
#include <variant>

namespace zendrik {

struct Failure {
    ErrorCode code = ErrorCode::Internal;
    QString message;
};

// A value, or why there is none.
template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::move(value)) {}
    Result(Failure failure) : state_(std::move(failure)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& value() { return std::get<0>(state_); }
    const T& value() const { return std::get<0>(state_); }
    T& operator*() { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    const Failure& failure() const { return std::get<1>(state_); }
    // The failure's message; empty on success.
    QString message() const { return ok() ? QString() : failure().message; }

private:
    std::variant<T, Failure> state_;
};

// A step that gives nothing but may fail.
template <> class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }
    QString message() const { return ok() ? QString() : failure_->message; }

private:
    std::optional<Failure> failure_;
};

using Status = Result<void>;

// How every cancelled job ends.
inline Failure cancelledFailure() {
    return Failure{ErrorCode::Cancelled, QStringLiteral("The print was cancelled.")};
}

} // namespace zendrik
