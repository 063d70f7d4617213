// The fixed texts of an initialisation (banner, usage, version lines) and the
// version checks of the driver and settings libraries.
#include "StartupTexts.h"

#include "OutputWriters.h"
#include "Pelkor.h"
#include "settings/VELDANsettings.h"

namespace veldan::control {

LibraryVersion SettingsLibraryVersion() {
    LibraryVersion v;
    VELDANsettings_version(&v.major, &v.minor, &v.build);
    return v;
}

LibraryVersion DriverLibraryVersion() {
    LibraryVersion v;
    int32_t major = 0, minor = 0, build = 0;
    Pelkor_version(&major, &minor, &build);
    v.major = major;
    v.minor = minor;
    v.build = build;
    return v;
}

bool SettingsVersionAccepted(const LibraryVersion& v) { return v.major == 1 && v.minor == 0; }
bool DriverVersionAccepted(const LibraryVersion& v) { return v.major == 2 && v.minor == 1; }

void WriteBanner() {
    WriteToStandardOutput(
        L"VELDANcontrol\n"
        L"Control library for the VELDAN motorised panorama head.\n"
        L"Provided as is, without warranty of any kind.\n"
        L"\n");
}

void WriteUsage(const Output& out) {
    static const wchar_t* const kLines[] = {
        L"VELDANcontrol_init parameters:\n",
        L"\n",
        L"-c <file>        Configuration file to be used instead of 'settings.cfg'.\n",
        L"-o <cfg>=<value> additional configuration\n",
        L"-h               Shows this usage information.\n",
        L"-n               Stay at the last position on shutting down.\n",
        L"-p               Do not go to parking position.\n",
        L"-s <file>        Userdefined script-file to be used.\n",
        L"-v               Be verbose.\n",
        L"-q               Be quiet. Doesn't output anything at all.\n",
        L"-V               Print version information.\n",
        L"-su              Suppress startup banner.\n",
        L"-swm             Suppress HAL notification messages\n",
        L"\nParameters are read from left to right and can overwrite each other.\n\n",
    };
    for (const wchar_t* line : kLines) out.Write(line);
}

void WriteVersionLines(const Output& out) {
    out.Write(L"VELDANcontrol library %d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionBuild);
    const LibraryVersion s = SettingsLibraryVersion();
    out.Write(L"VELDANsettings library %d.%d.%d ", s.major, s.minor, s.build);
    out.Write(SettingsVersionAccepted(s) ? L"[OK]\n" : L"[!!]\n");
    const LibraryVersion p = DriverLibraryVersion();
    out.Write(L"Pelkor library %d.%d.%d ", p.major, p.minor, p.build);
    out.Write(DriverVersionAccepted(p) ? L"[OK]\n" : L"[!!]\n");
}

}  // namespace veldan::control
