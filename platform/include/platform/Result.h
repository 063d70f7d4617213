#pragma once
// Results with a reason, for every layer of our own code. A function that can
// fail returns either its value or an Error whose message says what went
// wrong in words a user can act on (naming the file, line or device it
// concerns); nothing throws across a library boundary. The published
// interfaces keep the results they are described with and pass the reason on
// through their own channels.
#include <optional>
#include <string>
#include <utility>

#include "platform/Export.h"

namespace veldan::platform {

// What kind of failure it was, for callers that react differently to kinds;
// the message carries the detail. New codes go at the end.
enum class ErrorCode {
    kIoError = 1,      // a file or device cannot be opened, read or written
    kUnknownFormat,    // the bytes are not a format the reader knows
    kCorrupt,          // the data is truncated or damaged
    kTooLarge,         // declared sizes above the limits
    kOutOfMemory,      // an allocation failed
    kUnsupported,      // valid input using a feature that is not read
    kInvalidArgument,  // empty input, zero size, bad parameter, bad text
    kNoPreview,        // a picture file without an embedded preview picture
    kNotFound,         // a file, device, program or entry that is not there
    kPermission,       // the operating system refused access
    kBusy,             // held by somebody else
    kTimeout,          // no answer within the bound
    kCancelled,        // stopped on request
    kGone,             // the device or line went away
};

// A short name of the kind, such as "I/O error".
VELDAN_API const char* ErrorCodeName(ErrorCode code);

struct Error {
    ErrorCode code = ErrorCode::kInvalidArgument;
    std::string message;  // what went wrong, readable by a user
};

// Either a T or an Error. Minimal stand-in for std::expected (C++23).
template <class T>
class Result {
public:
    Result(T value) : value_(std::move(value)) {}      // NOLINT: implicit on purpose
    Result(Error error) : error_(std::move(error)) {}  // NOLINT
    Result(ErrorCode code, std::string message) : error_{code, std::move(message)} {}

    bool ok() const { return value_.has_value(); }
    explicit operator bool() const { return ok(); }

    T& value() & { return *value_; }
    const T& value() const& { return *value_; }
    T&& value() && { return std::move(*value_); }
    T* operator->() { return &*value_; }
    const T* operator->() const { return &*value_; }
    T& operator*() & { return *value_; }
    const T& operator*() const& { return *value_; }

    const Error& error() const { return error_; }
    ErrorCode code() const { return error_.code; }

private:
    std::optional<T> value_;
    Error error_;
};

// Result of an operation without a value.
class Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)), ok_(false) {}  // NOLINT
    Status(ErrorCode code, std::string message) : error_{code, std::move(message)}, ok_(false) {}
    static Status Ok() { return Status(); }

    bool ok() const { return ok_; }
    explicit operator bool() const { return ok_; }
    const Error& error() const { return error_; }
    ErrorCode code() const { return error_.code; }

private:
    Error error_;
    bool ok_ = true;
};

}  // namespace veldan::platform
