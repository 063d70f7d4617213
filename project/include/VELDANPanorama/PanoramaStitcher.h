#pragma once
#include <cstdint>
#include "VELDANPanorama/AccessControl.h"
#include "VELDANPanorama/PanoramaImage.h"
#include "VELDANPanorama/PanoramaModel.h"
#include "VELDANPanorama/PanoramaProject.h"
#include "platform/Export.h"

// Preview flags of WarpImage and VELDANPanoramaStitcher::GetImage.
constexpr uint32_t PREVIEW_REFRESH = 0x1;     // redo even when a fitting result exists
constexpr uint32_t PREVIEW_BACKGROUND = 0x4;  // queue missing warps on the realtime queue
constexpr uint32_t PREVIEW_BLEND = 0x100;     // blend overlapping images instead of drawing over

// The equirectangular preview of a project: the project's field of view
// spread over W x H pixels, azimuth left to right, elevation top to bottom.
// Composes the warped images of all tiles into one picture, kept for the
// next call. Pictures are imaging-layer bitmaps (32-bit ARGB) passed as void*.
class VELDAN_API VELDANPanoramaStitcher {
public:
    VELDANPanoramaProject* project = nullptr;  // not owned; set by the owner
    AccessControl lock;                        // guards the composite
    void* composite = nullptr;                 // owned; the last picture made

    VELDANPanoramaStitcher();
    // A copy refers to the same project, has its own lock and its own copy of
    // the composite, so neither ever releases what the other still uses.
    VELDANPanoramaStitcher(const VELDANPanoramaStitcher& other);
    VELDANPanoramaStitcher& operator=(const VELDANPanoramaStitcher& other);
    virtual ~VELDANPanoramaStitcher();

    // The composite of W x H pixels; (x, y, w, h) is the region to
    // (re)compose, w or h 0 meaning up to the right or bottom edge. index
    // chooses the image of each tile's selected bracketing. The bitmap stays
    // owned by the stitcher and is valid until the next call; null when the
    // lock is refused or no picture can be made.
    void* GetImage(uint32_t W, uint32_t H, uint32_t flags, uint32_t index, uint32_t x, uint32_t y, uint32_t w,
                   uint32_t h);

    // The tile's rectangle in preview pixels (left and top may be negative,
    // the rectangle may reach past the picture; callers clip). Recomputes the
    // tile's warped bounding box. False for a null project or tile, an empty
    // preview size, a project field of view without extent, or a rectangle
    // beyond 32-bit coordinates.
    static bool GetDrawingRect(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, uint32_t W, uint32_t H,
                               int32_t& left, int32_t& top, uint32_t& width, uint32_t& height);

    // Warps `image` (an image of the tile) for a W x H preview into the
    // image's warped image. Returns VELDAN_IMAGE_OK (also when it was warped
    // already or the request was queued), VELDAN_IMAGE_FAILURE, or the
    // image's own code when it has no readable picture.
    static uint32_t WarpImage(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, VELDANPanoramaImage* image,
                              uint32_t W, uint32_t H, uint32_t flags);
};
