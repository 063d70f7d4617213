// The handle's script: clearing, loading, saving and appending lines.
#include "ScriptStore.h"

#include <string>

#include "ConfigurationLoader.h"
#include "ControlHandle.h"
#include "platform/Text.h"
#include "settings/VELDANsettings.h"
#include "stream/DynStream.h"

namespace veldan::control {

using platform::ToUtf8;

int ClearScript(ControlHandle handle) {
    if (!handle || !handle->config || handle->Running()) return -1;
    handle->config->script.ClearOps();
    return 0;
}

int LoadScript(ControlHandle handle, const wchar_t* path) {
    if (!handle || !handle->config || handle->Running()) return -1;
    handle->config->script.ClearOps();
    if (!path) return -1;
    return LoadScriptFile(handle, path, true);
}

int SaveScript(ControlHandle handle, const wchar_t* path) {
    if (!handle || !handle->config || !path) return -1;
    VELDANcontrolRecord& h = *handle;
    h.WriteVerbose(L"Creating script file %ls... ", path);
    DynStream* stream = dyn_wfopen(path, "w");
    bool ok = stream && h.config->script.Save(stream);
    // Closing commits the file; a failed commit leaves the previous file and
    // is a failure of the save.
    if (stream && dyn_fclose(stream) != 0) ok = false;
    h.WriteVerbose(ok ? L"OK\n" : L"failed\n");
    return ok ? 0 : -1;
}

int AddScriptLines(ControlHandle handle, const wchar_t* text) {
    if (!handle || !handle->config || !text) return -1;
    VELDANcontrolRecord& h = *handle;
    CVeldanScript& script = h.config->script;
    h.WriteVerbose(L"Loading script data...");
    // Lines are cut out of a copy: the caller's buffer may be a literal or
    // still in use by the caller.
    const std::wstring copy(text);
    int added = 0;
    size_t start = 0;
    for (size_t i = 0; i < copy.size(); ++i) {
        if (static_cast<uint32_t>(copy[i]) >= 32u) continue;
        if (i > start) {
            const std::string line = ToUtf8(std::wstring_view(copy).substr(start, i - start));
            const int before = script.GetOpCnt();
            script.AddOpFromString(line.c_str());
            if (script.GetOpCnt() > before) ++added;
        }
        start = i + 1;
    }
    // Text after the last control character is not a complete line and is
    // not used.
    h.WriteVerbose(L"OK\n");
    h.WriteUnlessQuiet(L"%d script commands successfuly loaded.\n", added);
    return 0;
}

}  // namespace veldan::control
