// The view's preview warping and composite through the project library's
// stitcher.
#include "preview/view/ViewWarping.h"
#include "VELDANPanoramaProject.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::preview {
namespace {

// The warping and the composite belong to the project library's stitcher.
// This adapter is the only place the view reaches them; where the library
// answers without a rectangle or picture the view draws its stand-ins
// (placeholder boxes, an empty composite).
class LibraryWarping final : public ViewWarping {
public:
    bool GetDrawingRect(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, uint32_t W, uint32_t H, int32_t& left,
                        int32_t& top, uint32_t& width, uint32_t& height) override {
        return VELDANPanoramaStitcher::GetDrawingRect(project, tile, W, H, left, top, width, height);
    }
    uint32_t WarpImage(VELDANPanoramaProject* project, VELDANPanoramaTile* tile, VELDANPanoramaImage* image, uint32_t W,
                       uint32_t H, uint32_t flags) override {
        return VELDANPanoramaStitcher::WarpImage(project, tile, image, W, H, flags);
    }
    void* GetComposite(CVELDANpreviewDoc& doc, uint32_t W, uint32_t H, uint32_t flags, uint32_t index, uint32_t x,
                       uint32_t y, uint32_t w, uint32_t h) override {
        return doc.Stitcher().GetImage(W, H, flags, index, x, y, w, h);
    }
};

}  // namespace

ViewWarping& DefaultViewWarping() {
    static LibraryWarping warping;
    return warping;
}

}  // namespace veldan::preview
