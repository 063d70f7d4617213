#pragma once
// Results of the imaging layer. No function of the layer throws; each one
// returns either its value or an Error that says what went wrong.
#include <optional>
#include <string>
#include <utility>
#include "platform/Export.h"

namespace veldan::imaging {

enum class ErrorCode {
    kIoError = 1,      // the file cannot be opened, read or written
    kUnknownFormat,    // the bytes are not a picture format the layer reads
    kCorrupt,          // the picture data is truncated or damaged
    kTooLarge,         // declared dimensions above the limits (see Limits.h)
    kOutOfMemory,      // an allocation failed
    kUnsupported,      // a valid file using a feature the layer does not read
    kInvalidArgument,  // empty bitmap, zero size, bad parameter
    kNoPreview,        // the file has no embedded preview picture
};

VELDAN_API const char* ErrorCodeName(ErrorCode code);

struct Error {
    ErrorCode code = ErrorCode::kInvalidArgument;
    std::string message;  // human-readable detail, e.g. the decoder's own text
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

}  // namespace veldan::imaging
