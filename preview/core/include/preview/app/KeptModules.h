#pragma once
#include <memory>
#include "platform/DynamicLibrary.h"

namespace veldan::preview {

// Keeps a loaded module loaded for the life of the process: threads of the
// control library or of the camera vendor's library may still run while the
// program ends, so their code must never be unmapped.
void KeepLoaded(std::unique_ptr<platform::DynamicLibrary> library);

}  // namespace veldan::preview
