#pragma once
// The start switches of an initialisation or reload, parsed left to right
// with their verbose echoes.
#include <optional>
#include <string>
#include <vector>

#include "Output.h"

namespace veldan::control {

// Flags of the handle that switches change and that outlive one parse.
struct SwitchFlags {
    bool stay = false;     // "-n"
    bool noPark = false;   // "-p"
    bool verbose = false;  // "-v"
    bool quiet = false;    // "-q"
};

struct StartSwitches {
    bool usage = false;                      // "-h", "-?"
    bool version = false;                    // "-V"
    bool noBanner = false;                   // "-su"
    bool noNotifications = false;            // "-swm"
    std::optional<std::wstring> configFile;  // "-c"
    std::optional<std::wstring> scriptFile;  // "-s"
    std::vector<std::wstring> overrides;     // "-o", in the order given
};

// Parses the arguments, applying the flag switches to `flags` in order. When
// verbose is on, writes "Parsing command line switches...", one line per
// argument with its index and echo, and "...end of command line". A switch
// that needs a value and is the last argument is ignored. Null entries of
// argv are skipped.
StartSwitches ParseStartSwitches(int argc, const wchar_t* const* argv, SwitchFlags& flags, const Output& out);

}  // namespace veldan::control
