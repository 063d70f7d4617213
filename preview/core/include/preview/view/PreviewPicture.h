#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "VELDANPanoramaProject.h"
#include "imaging/Bitmap.h"

namespace veldan::preview {

// A thumbnail that a picture of the preview needs: image and wanted size.
struct ThumbnailJob {
    VELDANPanoramaImage* image;
    uint32_t w, h;
};

// Makes the thumbnails on as many threads as there are processors and waits
// for them: the view shows them as they arrive, a picture file has to wait
// for all of them.
void MakeThumbnails(const std::vector<ThumbnailJob>& jobs);

// The shown image of a tile (ShownImage of the view) when it names a file.
VELDANPanoramaImage* ShownPicture(VELDANPanoramaTile* tile, uint32_t index);

// A thumbnail of wanted size as GetImage asks for it: limited to the picture.
ThumbnailJob ThumbJob(VELDANPanoramaImage* image, uint64_t w, uint64_t h);

// The warped (or blended) equirectangular preview of exposure `index` at
// W x H, as the preview view composes it: every tile's thumbnail at twice its
// drawn size is made first (skipped where it exists), then the stitcher
// composes from scratch. Null when no picture could be made. Needs the
// global worker pool.
std::unique_ptr<imaging::Bitmap> ComposePreview(VELDANPanoramaProject& project, uint32_t W, uint32_t H, uint32_t index,
                                                bool blend);

}  // namespace veldan::preview
