// The project: construction, copying, the tile list and the factories.
#include "VELDANPanorama/PanoramaProject.h"

#include <new>

VELDANPanoramaProject::VELDANPanoramaProject() : CMemoryBlock(CreateMemoryItem<VELDANPanoramaTile>) {
    capture_time.SetCurrentTime();
    modification_time.SetCurrentTime();
    description.Set(L"VELDANmodular Panorama Project");
}

VELDANPanoramaProject::VELDANPanoramaProject(const VELDANPanoramaProject& other)
    : CMemoryBlock(other),
      fov(other.fov),
      hdri(other.hdri),
      options(other.options),
      description(other.description),
      project_path(other.project_path),
      capture_time(other.capture_time),
      modification_time(other.modification_time),
      lens(other.lens),
      camera(other.camera),
      sensor(other.sensor),
      path(other.path) {}

VELDANPanoramaProject& VELDANPanoramaProject::operator=(const VELDANPanoramaProject& other) {
    if (this == &other) return *this;
    CMemoryBlock::operator=(other);
    fov = other.fov;
    hdri = other.hdri;
    options = other.options;
    description = other.description;
    project_path = other.project_path;
    capture_time = other.capture_time;
    modification_time = other.modification_time;
    lens = other.lens;
    camera = other.camera;
    sensor = other.sensor;  // the sensor's own assignment: the type stays
    path = other.path;
    return *this;
}

// The tiles go first: destroying their images drops queued background warps
// and waits for running ones, which still read the project's field of view.
VELDANPanoramaProject::~VELDANPanoramaProject() { VELDANPanoramaProject::DeleteAllItems(); }

void VELDANPanoramaProject::AppendTile(VELDANPanoramaTile* tile) {
    if (tile) AddItem(tile, GetItemCount(), true);
}

bool VELDANPanoramaProject::ExportVELDANscript(void*) {
    // Filling a script from the tiles and the path is not defined; the
    // project offers import only.
    return false;
}

bool VELDANPanoramaProject::ExportVELDANscript(const wchar_t*) {
    // The script form never fills a script, so no file is created.
    return false;
}

namespace {
template <typename T>
T* MakeObjects(uint32_t count) {
    if (count == 0) return nullptr;
    if (count == 1) return new (std::nothrow) T();
    return new (std::nothrow) T[count];
}
}  // namespace

VELDANPanoramaProject* new_VELDANPanoramaProject(uint32_t count) { return MakeObjects<VELDANPanoramaProject>(count); }
VELDANPanoramaTile* new_VELDANPanoramaTile(uint32_t count) { return MakeObjects<VELDANPanoramaTile>(count); }
VELDANPanoramaBracketing* new_VELDANPanoramaBracketing(uint32_t count) {
    return MakeObjects<VELDANPanoramaBracketing>(count);
}
VELDANPanoramaImage* new_VELDANPanoramaImage(uint32_t count) { return MakeObjects<VELDANPanoramaImage>(count); }
VELDANPanoramaPath* new_VELDANPanoramaPath(uint32_t count) { return MakeObjects<VELDANPanoramaPath>(count); }
VELDANPanoramaPathNode* new_VELDANPanoramaPathNode(uint32_t count) {
    return MakeObjects<VELDANPanoramaPathNode>(count);
}
