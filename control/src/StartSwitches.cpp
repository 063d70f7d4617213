// Parsing the start switches of an initialisation or reload, left to right,
// with their verbose echoes.
#include "StartSwitches.h"

#include <cwchar>
#include <string_view>

namespace veldan::control {

StartSwitches ParseStartSwitches(int argc, const wchar_t* const* argv, SwitchFlags& flags, const Output& out) {
    StartSwitches result;
    if (argc < 0 || !argv) argc = 0;
    if (flags.verbose) out.Write(L"Parsing command line switches...\n");
    for (int i = 0; i < argc; ++i) {
        const wchar_t* arg = argv[i];
        if (!arg) continue;
        const bool verboseBefore = flags.verbose;
        const std::wstring_view s(arg);
        const int index = i;
        // The value of a switch that takes one; null when it is the last.
        auto value = [&]() -> const wchar_t* {
            if (i + 1 >= argc || !argv[i + 1]) return nullptr;
            return argv[++i];
        };
        const wchar_t* echo = nullptr;       // the echo, a format with at most one %ls
        const wchar_t* echoValue = nullptr;  // its value
        if (s == L"-h" || s == L"-?") {
            result.usage = true;
            echo = L" - print usage information";
        } else if (s == L"-V") {
            result.version = true;
            echo = L" - print version information";
        } else if (s == L"-su") {
            result.noBanner = true;
            echo = L" - suppress startup banner";
        } else if (s == L"-swm") {
            result.noNotifications = true;
            echo = L" - suppress HAL notification messages";
        } else if (s == L"-c") {
            if ((echoValue = value())) {
                result.configFile = echoValue;
                echo = L" - user defined configuration file %ls";
            }
        } else if (s == L"-s") {
            if ((echoValue = value())) {
                result.scriptFile = echoValue;
                echo = L" - user defined script file: %ls";
            }
        } else if (s == L"-o") {
            if ((echoValue = value())) {
                result.overrides.emplace_back(echoValue);
                echo = L" - configuration overwrite: %ls";
            }
        } else if (s == L"-q") {
            flags.quiet = true;
            flags.verbose = false;
            echo = L" - be quiet";
        } else if (s == L"-v") {
            flags.verbose = true;
            flags.quiet = false;
            echo = L" - be verbose";
        } else if (s == L"-n") {
            flags.stay = true;
            echo = L" - stay at the last position";
        } else if (s == L"-p") {
            flags.noPark = true;
            echo = L" - do not go to parking position";
        }
        // The line of a switch that turns verbose on or off is still written
        // whole, so that the listing shows every switch that was seen while
        // verbose was on at either side of it.
        if (verboseBefore || flags.verbose) {
            out.Write(L"%02d: %ls", index, arg);
            if (echo) {
                if (echoValue)
                    out.Write(echo, echoValue);
                else
                    out.Write(echo);
            }
            out.Write(L"\n");
        }
    }
    if (flags.verbose) out.Write(L"...end of command line\n");
    return result;
}

}  // namespace veldan::control
