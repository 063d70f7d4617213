// Giving a set of image files to the images of a project in shooting order.
#include <algorithm>

#include "VELDANPanorama/PanoramaProject.h"

uint32_t VELDANAssignImageFiles(VELDANPanoramaProject& project, std::vector<std::wstring> files) {
    // Ascending by plain code-unit comparison (case-sensitive): the order
    // in which a camera's numbered files sort as text.
    std::stable_sort(files.begin(), files.end());
    uint32_t k = 0;
    const uint32_t tiles = project.TileCount();
    for (uint32_t t = 0; t < tiles && k < files.size(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) break;
        const uint32_t brackets = tile->bracketings.GetItemCount();
        for (uint32_t b = 0; b < brackets && k < files.size(); ++b) {
            VELDANPanoramaBracketing* bracketing = tile->Bracketing(b);
            if (!bracketing) return k;
            for (uint32_t i = 0; i < bracketing->GetImageCnt() && k < files.size(); ++i) {
                VELDANPanoramaImage* image = bracketing->GetImage(i);
                if (!image) return k;
                image->SetFilename(files[k].c_str());
                ++k;
                const uint32_t w = image->GetWidth(), h = image->GetHeight();
                if (w && h) tile->aspect_ratio = static_cast<double>(w) / h;
            }
        }
    }
    return k;
}
