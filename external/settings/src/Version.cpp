// Version query of the settings library.
#include "settings/VELDANsettings.h"

void VELDANsettings_version(int* major, int* minor, int* build) {
    if (major) *major = VELDANSETTINGS_VERSION_MAJOR;
    if (minor) *minor = VELDANSETTINGS_VERSION_MINOR;
    if (build) *build = VELDANSETTINGS_VERSION_BUILD;
}
