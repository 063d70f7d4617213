#pragma once
// The handle's script: clearing, loading, saving and appending lines.
#include "VELDANcontrol.h"

namespace veldan::control {

int ClearScript(ControlHandle handle);
int LoadScript(ControlHandle handle, const wchar_t* path);
int SaveScript(ControlHandle handle, const wchar_t* path);
// Splits a copy of `text` at control characters and appends one operation
// per terminated, non-empty line. The caller's text is never written.
int AddScriptLines(ControlHandle handle, const wchar_t* text);

}  // namespace veldan::control
