// A bracketing: the slots of one shot set and its project-file form.
#include <cstdint>

#include "PlannedBracketing.h"
#include "VELDANPanorama/PanoramaModel.h"
#include "XmlIo.h"

using namespace veldan::project::xml;

using veldan::project::plan::kMaxImagesPerBracketing;

VELDANPanoramaBracketing::VELDANPanoramaBracketing() = default;

VELDANPanoramaBracketing::VELDANPanoramaBracketing(const VELDANPanoramaBracketing& other) : CMemoryItem() {
    *this = other;
}

VELDANPanoramaBracketing& VELDANPanoramaBracketing::operator=(const VELDANPanoramaBracketing& other) {
    if (this == &other) return *this;
    SetImageCnt(other.count);
    if (!images || !other.images) return *this;
    for (uint32_t i = 0; i < count; ++i) {
        if (other.images[i])
            images[i] = std::make_unique<VELDANPanoramaImage>(*other.images[i]);
        else
            images[i].reset();
    }
    return *this;
}

VELDANPanoramaBracketing::~VELDANPanoramaBracketing() { CleanUp(); }

void VELDANPanoramaBracketing::CleanUp() {
    images.reset();
    count = 0;
}

void VELDANPanoramaBracketing::SetImageCnt(uint32_t n) {
    if (n != count) {
        CleanUp();
        if (n > 0) images = std::make_unique<std::unique_ptr<VELDANPanoramaImage>[]>(n);
    }
    count = n;
}

bool VELDANPanoramaBracketing::SetImage(uint32_t i, const VELDANPanoramaImage* image) {
    if (i >= count || !images) return false;
    if (!images[i]) images[i] = std::make_unique<VELDANPanoramaImage>();
    if (image && image != images[i].get()) *images[i] = *image;
    return true;
}

VELDANPanoramaImage* VELDANPanoramaBracketing::GetImage(uint32_t i) {
    if (i >= count || !images) return nullptr;
    if (!images[i]) images[i] = std::make_unique<VELDANPanoramaImage>();
    return images[i].get();
}

void VELDANPanoramaBracketing::DeleteImage(uint32_t i) {
    if (i < count && images) images[i].reset();
}

bool VELDANPanoramaBracketing::operator==(const VELDANPanoramaBracketing& other) const {
    if (!images || !other.images || count != other.count) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (images[i].get() != other.images[i].get()) return false;
    return true;
}

bool VELDANPanoramaBracketing::Save(void* writer) {
    if (!images || count == 0) return false;
    if (!WriteAttr(writer, "images", "%u", count)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        if (!StartElement(writer, "IMAGE")) return false;
        if (images[i] && !images[i]->Save(writer)) return false;
        if (!EndElement(writer)) return false;
    }
    return true;
}

bool VELDANPanoramaBracketing::Load(void* reader) {
    auto n = IntAttr(reader, "images");
    if (!n || *n <= 0 || *n > static_cast<int64_t>(kMaxImagesPerBracketing)) return false;
    SetImageCnt(static_cast<uint32_t>(*n));
    uint32_t next = 0;
    ReadContent(reader, [&](void* r) {
        if (next >= count || !NameIs(r, "IMAGE")) return;
        auto image = std::make_unique<VELDANPanoramaImage>();
        image->Load(r);
        images[next++] = std::move(image);
    });
    return true;
}
