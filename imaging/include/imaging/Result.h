#pragma once
// Results of the imaging layer. No function of the layer throws; each one
// returns either its value or an Error that says what went wrong. The types
// are the platform layer's, shared by every layer.
#include "platform/Result.h"

namespace veldan::imaging {

using platform::Error;
using platform::ErrorCode;
using platform::ErrorCodeName;
using platform::Result;
using platform::Status;

}  // namespace veldan::imaging
