// The names of the error kinds of Result and Status.
#include "platform/Result.h"

namespace veldan::platform {

const char* ErrorCodeName(ErrorCode code) {
    switch (code) {
        case ErrorCode::kIoError: return "I/O error";
        case ErrorCode::kUnknownFormat: return "unknown format";
        case ErrorCode::kCorrupt: return "corrupt picture";
        case ErrorCode::kTooLarge: return "picture too large";
        case ErrorCode::kOutOfMemory: return "out of memory";
        case ErrorCode::kUnsupported: return "unsupported picture";
        case ErrorCode::kInvalidArgument: return "invalid argument";
        case ErrorCode::kNoPreview: return "no embedded preview";
        case ErrorCode::kNotFound: return "not found";
        case ErrorCode::kPermission: return "permission denied";
        case ErrorCode::kBusy: return "busy";
        case ErrorCode::kTimeout: return "timed out";
        case ErrorCode::kCancelled: return "cancelled";
        case ErrorCode::kGone: return "gone";
    }
    return "error";
}

}  // namespace veldan::platform
