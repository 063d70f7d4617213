// Script import: the tiles and the path of a project from the positions at
// which a shooting script releases the shutter.
#include <cmath>
#include <memory>

#include "PlannedBracketing.h"
#include "VELDANPanorama/PanoramaProject.h"
#include "settings/VeldanScript.h"
#include "stream/DynStream.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr uint32_t kOpHorizontal = 1;
constexpr uint32_t kOpVertical = 2;
constexpr uint32_t kOpShoot = 32;
constexpr uint32_t kOpPosition = 1024;

}  // namespace

bool VELDANPanoramaProject::ImportVELDANscript(void* script_handle, int32_t images_per_tile) {
    auto* script = static_cast<CVeldanScript*>(script_handle);
    using veldan::project::plan::kMaxImagesPerBracketing;
    if (!script || images_per_tile > static_cast<int32_t>(kMaxImagesPerBracketing)) return false;
    const int ops = script->GetOpCnt();
    if (ops <= 0) return false;
    if (images_per_tile <= 0 && hdri.enabled && hdri.shutter != 1 && hdri.count > kMaxImagesPerBracketing) return false;
    int shots = 0;
    for (int k = 0; k < ops; ++k)
        if (const op* o = script->GetOp(k); o && o->kind == kOpShoot) ++shots;
    if (shots == 0) return false;

    DeleteAllItems();
    path.DeleteAllItems();

    double a, b;
    if (lens.focal_length == 0) {
        a = 0.48;  // a 24 x 36 frame at focal length 50
        b = 0.72;
    } else if (camera.orientation == 1) {
        a = sensor.dimension_x / lens.focal_length;
        b = sensor.dimension_y / lens.focal_length;
    } else {
        a = sensor.dimension_y / lens.focal_length;
        b = sensor.dimension_x / lens.focal_length;
    }
    const double fovX = 2.0 * std::atan(a / 2.0) * 180.0 / kPi;
    const double fovY = 2.0 * std::atan(b / 2.0) * 180.0 / kPi;

    const bool bracketed = images_per_tile <= 0 && hdri.enabled && hdri.shutter != 1;
    const uint32_t slots = images_per_tile > 0 ? static_cast<uint32_t>(images_per_tile) : (bracketed ? hdri.count : 1);

    auto current = std::make_unique<VELDANPanoramaTile>();
    current->fov_x = fovX;
    current->fov_y = fovY;
    for (int k = 0; k < ops; ++k) {
        const op* o = script->GetOp(k);
        if (!o) continue;
        switch (o->kind) {
            case kOpHorizontal: current->pos_x = o->angle; break;
            case kOpVertical: current->pos_y = o->angle; break;
            case kOpPosition:
                current->pos_x = o->angle;
                current->pos_y = o->angle2;
                break;
            case kOpShoot: {
                path.Append(static_cast<int32_t>(GetItemCount()));
                VELDANPanoramaTile* shot = current.release();
                AppendTile(shot);
                veldan::project::plan::AddPlannedBracketing(*shot, hdri, camera.orientation, slots, bracketed);
                current = std::make_unique<VELDANPanoramaTile>();
                current->pos_x = shot->pos_x;
                current->pos_y = shot->pos_y;
                current->fov_x = fovX;
                current->fov_y = fovY;
                break;
            }
            default: break;
        }
    }
    current.reset();  // the last position was never shot
    MergeSimilarTiles();
    return true;
}

bool VELDANPanoramaProject::ImportVELDANscript(const wchar_t* file_name, int32_t images_per_tile) {
    if (!file_name) return false;
    CVeldanScript script;
    DynStream* stream = dyn_wfopen(file_name, "rb");
    if (!stream) return false;
    const bool loaded = script.Load(stream);
    dyn_fclose(stream);
    if (!loaded || script.GetOpCnt() == 0) return false;
    return ImportVELDANscript(&script, images_per_tile);
}
