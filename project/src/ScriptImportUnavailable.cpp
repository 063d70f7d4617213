// Build without the settings library's script class: script import reports
// failure and leaves the project unchanged.
#include "VELDANPanorama/PanoramaProject.h"

bool VELDANPanoramaProject::ImportVELDANscript(void*, int32_t) { return false; }
bool VELDANPanoramaProject::ImportVELDANscript(const wchar_t*, int32_t) { return false; }
