// Stitcher exports and the flow-chart layout live in the preview and export
// modules of the library, which are built on the imaging layer. Until they
// are part of this build the project reports that it cannot export.
#include "VELDANPanorama/PanoramaProject.h"

bool VELDANPanoramaProject::ExportPTgui(const wchar_t*, bool) { return false; }

bool VELDANPanoramaProject::ExportAutopano(const wchar_t*, bool) { return false; }

bool VELDANPanoramaProject::UpdateDisplayPositions(double, double, double, double&, double&, double&, double&) {
    return false;
}

void VELDANPanoramaTile::ComputeWarpedBoundingBox() {}
