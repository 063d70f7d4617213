#include "preview/PreviewWarping.h"
#include "VELDANPanoramaProject.h"

namespace veldan::preview {
namespace {

// The warping and the composite belong to the project library's stitcher.
// This adapter is the only place the view reaches them; while the library
// answers without a rectangle or picture the view draws its stand-ins
// (placeholder boxes, an empty composite).
class LibraryWarping final : public PreviewWarping {
public:
  bool GetDrawingRect(VELDANPanoramaProject*, VELDANPanoramaTile*, uint32_t, uint32_t, int32_t&, int32_t&, uint32_t&,
                      uint32_t&) override {
    return false;
  }
  uint32_t WarpImage(VELDANPanoramaProject*, VELDANPanoramaTile*, VELDANPanoramaImage*, uint32_t, uint32_t,
                     uint32_t) override {
    return VELDAN_IMAGE_FAILURE;
  }
  void* GetComposite(CVELDANpreviewDoc&, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                     uint32_t) override {
    return nullptr;
  }
};

}  // namespace

PreviewWarping& DefaultPreviewWarping() {
  static LibraryWarping warping;
  return warping;
}

}  // namespace veldan::preview
