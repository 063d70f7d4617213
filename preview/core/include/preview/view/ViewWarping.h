#pragma once
#include <cstdint>
#include "VELDANPanorama/PanoramaStitcher.h"

class CVELDANpreviewDoc;
class VELDANPanoramaImage;
class VELDANPanoramaProject;
class VELDANPanoramaTile;

namespace veldan::preview {

// The view's one way to the project library's preview warping and
// composite (VELDANPanoramaStitcher): the tile's drawing rectangle, the
// warping of one image and the document's composite picture. Tests replace
// it to draw known warped pictures; the program uses DefaultViewWarping.
class ViewWarping {
public:
    virtual ~ViewWarping() = default;
    // The tile's rectangle in a W x H preview; false when there is none.
    virtual bool GetDrawingRect(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, uint32_t W, uint32_t H,
                                int32_t& left, int32_t& top, uint32_t& width, uint32_t& height) = 0;
    // Warps image into its warped image (status code of the picture calls).
    virtual uint32_t WarpImage(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, VELDANPanoramaImage* image,
                               uint32_t W, uint32_t H, uint32_t flags) = 0;
    // The document's composite of W x H (an imaging-layer bitmap owned by the
    // stitcher, valid until the next call) or null.
    virtual void* GetComposite(CVELDANpreviewDoc& doc, uint32_t W, uint32_t H, uint32_t flags, uint32_t index,
                               uint32_t x, uint32_t y, uint32_t w, uint32_t h) = 0;
};

// The project library's warping as the program uses it.
ViewWarping& DefaultViewWarping();

}  // namespace veldan::preview
