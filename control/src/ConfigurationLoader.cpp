// Loading a handle's configuration, assembly and script: the search folders of
// each file, the start-switch overrides and the messages.
#include "ConfigurationLoader.h"

#include <cwchar>
#include <vector>

#include "ControlHandle.h"
#include "Pelkor.h"
#include "StartSwitches.h"
#include "StartupTexts.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "settings/VELDANsettings.h"
#include "stream/DynStream.h"

namespace veldan::control {

using platform::DocumentsFolder;
using platform::FromUtf8;
using platform::PathToWide;
using platform::ProgramFolder;
using platform::SystemDataFolder;
using platform::ToUtf8;

namespace {

// Joins path pieces with the formats of the search orders ("%ls/%ls%ls").
std::wstring Join(const std::wstring& folder, const std::wstring& name) { return folder + L"/" + name; }

bool HasSeparator(const std::wstring& name) { return name.find(L'/') != std::wstring::npos; }

// Closes a stream when it goes out of scope.
struct StreamCloser {
    DynStream* stream;
    ~StreamCloser() {
        if (stream) dyn_fclose(stream);
    }
};

void PrintConfiguration(const VELDANcontrolRecord& h) {
    const CVeldanConfig& c = *h.config;
    const std::wstring edition = c.edition ? FromUtf8(c.edition) : std::wstring();
    h.Write(L"Edition: %ls\n", edition.c_str());
    h.Write(L"Port: %d\n", c.serialPort);
    h.Write(L"Max. device count: %d\n", static_cast<int>(c.maxDeviceId));
    h.Write(c.simultaneous ? L"Simultaneous: true\n" : L"Simultaneous: false\n");
    if (c.packetRate == 0)
        h.Write(L"Packetrate: infinite\n");
    else
        h.Write(L"Packetrate: %d ppm\n", c.packetRate);
    h.Write(L"Bracketing: %d\n", c.bracketing);
    h.Write(L"Repetitions: %d\n", c.repetitions);
    h.Write(L"Pre-shot time: %.02fs\n", c.preshotTime);
    h.Write(L"Exposure time: %.02fs\n", c.exposureTime);
    h.Write(L"Recover time: %.02fs\n", c.recoverTime);
    h.Write(L"Horizontal acceleration: %.02f%%\n", c.horizontalSpeed * 100.0);
    h.Write(L"Vertical acceleration: %.02f%%\n", c.verticalSpeed * 100.0);
    h.Write(L"Global acceleration: %.02f%%\n", c.globalSpeed * 100.0);
    h.Write(L"\n");
}

int LoadConfigurationFile(VELDANcontrolRecord& h, const SearchFolders& folders, const StartSwitches& sw) {
    std::wstring path;
    if (!sw.configFile)
        path = Join(folders.documents, std::wstring(kConfigSubfolder) + L"settings.cfg");
    else if (HasSeparator(*sw.configFile))
        path = *sw.configFile;
    else
        path = Join(folders.documents, std::wstring(kConfigSubfolder) + *sw.configFile);
    h.WriteVerbose(L"Loading configuration from %ls... ", path.c_str());
    DynStream* stream = dyn_wfopen(path.c_str(), "r");
    if (!stream) {
        // A missing configuration is no error: the values stay as they are.
        h.WriteVerbose(L"failed\n");
        h.WriteVerbose(L"OK\n");
        return 0;
    }
    StreamCloser closer{stream};
    if (!h.config->Load(stream)) {
        h.WriteVerbose(L"failed\n");
        return -1;
    }
    h.WriteVerbose(L"OK\n");
    return 0;
}

void ApplyOverrides(VELDANcontrolRecord& h, const StartSwitches& sw) {
    if (sw.overrides.empty()) return;
    h.WriteVerbose(L"Overwriting configuration parameters by:\n");
    for (const std::wstring& text : sw.overrides) {
        h.WriteVerbose(L"%ls", text.c_str());
        const std::string narrow = ToUtf8(text);
        const bool ok = h.config->SetParameter(narrow.c_str());
        h.WriteVerbose(ok ? L"   OK\n" : L"   failed\n");
    }
}

int LoadAssemblyFile(VELDANcontrolRecord& h, const SearchFolders& folders) {
    const char* edition = h.config->edition;
    std::vector<std::wstring> candidates;
    if (edition && *edition) {
        const std::wstring name = FromUtf8(edition);
        candidates = {Join(folders.program, name + L".asm"),
                      Join(folders.documents, std::wstring(kConfigSubfolder) + name + L".asm"),
                      Join(folders.system, name + L".asm")};
    } else {
        candidates = {Join(folders.program, L"vrhead.asm"),
                      Join(folders.documents, std::wstring(kConfigSubfolder) + L"vrhead.asm"),
                      Join(folders.system, L"vrhead.asm")};
    }
    DynStream* stream = nullptr;
    for (const std::wstring& path : candidates) {
        h.WriteVerbose(L"Opening assembly file %ls... ", path.c_str());
        stream = dyn_wfopen(path.c_str(), "r");
        if (stream) break;
        h.WriteVerbose(L"failed\n");
    }
    if (!stream) {
        h.WriteUnlessQuiet(L"No suitable assembly file found. Please reinstall the application.\n");
        return -1;
    }
    StreamCloser closer{stream};
    h.WriteVerbose(L"OK\n");
    h.WriteVerbose(L"Loading assembly data...");
    if (!h.config->assembly.Load(stream)) {
        h.WriteVerbose(L"failed\n");
        return -1;
    }
    h.WriteVerbose(L"OK\n");
    if (h.Verbose()) PrintConfiguration(h);
    return 0;
}

}  // namespace

SearchFolders CurrentSearchFolders() {
    SearchFolders f;
    f.documents = PathToWide(DocumentsFolder());
    f.system = PathToWide(SystemDataFolder());
    f.program = PathToWide(ProgramFolder());
    return f;
}

int LoadScriptFile(ControlHandle handle, const std::wstring& name, bool missingIsError) {
    VELDANcontrolRecord& h = *handle;
    const SearchFolders folders = CurrentSearchFolders();
    const std::wstring inFolder = Join(folders.documents, std::wstring(kConfigSubfolder) + name);
    const std::wstring candidates[] = {name, inFolder, inFolder + L".txt"};
    DynStream* stream = nullptr;
    for (const std::wstring& path : candidates) {
        h.WriteVerbose(L"Opening script file %ls... ", path.c_str());
        stream = dyn_wfopen(path.c_str(), "r");
        if (stream) break;
        h.WriteVerbose(L"failed\n");
    }
    if (!stream) return missingIsError ? -1 : 0;
    StreamCloser closer{stream};
    h.WriteVerbose(L"OK\n");
    h.WriteVerbose(L"Loading script data...");
    if (!h.config->script.Load(stream)) {
        h.WriteVerbose(L"failed\n");
        return -1;
    }
    h.WriteVerbose(L"OK\n");
    h.WriteUnlessQuiet(L"%d script commands successfuly loaded.\n", h.config->script.GetOpCnt());
    return 0;
}

int LoadConfiguration(ControlHandle handle, int argc, const wchar_t* const* argv) {
    if (!handle || !handle->config || !handle->enclosure) return -1;
    VELDANcontrolRecord& h = *handle;
    if (h.Running()) return -1;

    const SearchFolders folders = CurrentSearchFolders();
    h.forwardNotifications = true;

    SwitchFlags flags{h.stay.load(), h.noPark.load(), h.verbose.load(), h.quiet.load()};
    const StartSwitches sw = ParseStartSwitches(argc, argv, flags, h.output);
    h.stay = flags.stay;
    h.noPark = flags.noPark;
    h.verbose = flags.verbose;
    h.quiet = flags.quiet;
    if (sw.noNotifications) h.forwardNotifications = false;

    if (!sw.noBanner && !h.Quiet()) WriteBanner();

    if (sw.usage) {
        if (!h.Quiet()) WriteUsage(h.output);
        h.status.ClearAll();
        return -1;
    }
    if (sw.version) {
        if (!h.Quiet()) WriteVersionLines(h.output);
        h.status.ClearAll();
        return -1;
    }
    if (!SettingsVersionAccepted(SettingsLibraryVersion()) || !DriverVersionAccepted(DriverLibraryVersion())) {
        if (!h.Quiet()) {
            h.Write(L"Library dependency fault...\n");
            WriteVersionLines(h.output);
        }
        return -1;
    }

    if (LoadConfigurationFile(h, folders, sw) != 0) return -1;
    ApplyOverrides(h, sw);
    if (LoadAssemblyFile(h, folders) != 0) return -1;
    if (sw.scriptFile && LoadScriptFile(handle, *sw.scriptFile, false) != 0) return -1;

    // The enclosure's device messages go to the main window unless "-swm"
    // asked to suppress them.
    h.enclosure->notifyWindow = h.forwardNotifications ? h.mainWindow.load() : nullptr;

    h.status.SetLow(kLowConfigured);
    h.status.ClearLow(kLowLoading);
    return 0;
}

}  // namespace veldan::control
