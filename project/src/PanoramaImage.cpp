// One picture file of a bracketing: name, size, exposure, orientation and
// the project-file form of an image.
#include "VELDANPanorama/PanoramaImage.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>

#include "PictureSize.h"
#include "VELDANPanorama/PanoramaProject.h"
#include "VELDANPanorama/ThreadPool.h"
#include "XmlIo.h"
#include "platform/Text.h"

using namespace veldan::projectxml;

namespace {

// Holds an AccessControl hold for a scope when it was granted.
class ReadHold {
public:
    explicit ReadHold(AccessControl& lock) : lock_(lock), held_(lock.EnterReadAccess()) {}
    ~ReadHold() {
        if (held_) lock_.LeaveReadAccess();
    }
    explicit operator bool() const { return held_; }

private:
    AccessControl& lock_;
    bool held_;
};

class WriteHold {
public:
    explicit WriteHold(AccessControl& lock) : lock_(lock), held_(lock.EnterWriteAccess()) {}
    ~WriteHold() {
        if (held_) lock_.LeaveWriteAccess();
    }
    explicit operator bool() const { return held_; }

private:
    AccessControl& lock_;
    bool held_;
};

std::unique_ptr<wchar_t[]> Duplicate(const wchar_t* text) {
    if (!text) return nullptr;
    const size_t n = std::wcslen(text);
    auto copy = std::make_unique<wchar_t[]>(n + 1);
    std::wmemcpy(copy.get(), text, n + 1);
    return copy;
}

}  // namespace

// ---- VELDANPanoramaWarpedImage

VELDANPanoramaWarpedImage::VELDANPanoramaWarpedImage() = default;

VELDANPanoramaWarpedImage::VELDANPanoramaWarpedImage(const VELDANPanoramaWarpedImage& other)
    : weights(other.weights), fov(other.fov), encoded_(other.encoded_) {}

VELDANPanoramaWarpedImage& VELDANPanoramaWarpedImage::operator=(const VELDANPanoramaWarpedImage& other) {
    if (this == &other) return *this;
    WriteHold hold(lock);
    if (!hold) return *this;
    weights = other.weights;
    fov = other.fov;
    encoded_ = other.encoded_;
    return *this;
}

VELDANPanoramaWarpedImage::~VELDANPanoramaWarpedImage() { lock.PreDestruct(); }

void VELDANPanoramaWarpedImage::Clear() {
    WriteHold hold(lock);
    if (!hold) return;
    bitmap = nullptr;
    encoded_.clear();
    weights.Delete();
}

bool VELDANPanoramaWarpedImage::Save(void* writer) {
    if (!writer) return false;
    ReadHold hold(lock);
    if (!hold) return false;
    if (!fov.Save(writer)) return false;
    if (!encoded_.empty()) return WriteBase64Attr(writer, "IMAGE", encoded_.data(), encoded_.size());
    return true;
}

bool VELDANPanoramaWarpedImage::Load(void* reader) {
    if (!reader || !NameIs(reader, "WARPED_IMAGE")) return false;
    WriteHold hold(lock);
    if (!hold) return false;
    if (!fov.Load(reader)) return false;
    bitmap = nullptr;
    encoded_.clear();
    if (auto value = Attr(reader, "IMAGE")) {
        uint32_t length = 0;
        void* bytes = VELDANPanoramaProject::DecodeBase64(value->data(), length);
        if (bytes) {
            const auto* b = static_cast<const unsigned char*>(bytes);
            encoded_.assign(b, b + length);
            std::free(bytes);
        }
    }
    return true;
}

// ---- VELDANPanoramaImage

VELDANPanoramaImage::VELDANPanoramaImage() = default;

VELDANPanoramaImage::VELDANPanoramaImage(const VELDANPanoramaImage& other) : VELDANPanoramaImage() { *this = other; }

VELDANPanoramaImage::~VELDANPanoramaImage() {
    CancelJobs(this);
    // Waits for a running thumbnail generation of this image.
    generation_lock.Enter();
    access.PreDestruct();
    ReleasePictures();
    filename.reset();
    generation_lock.Leave();
}

void VELDANPanoramaImage::ReleasePictures() {
    // Pictures and thumbnails are made by the imaging layer; none exist yet
    // in this build, so there is nothing to release beyond the pointers.
    picture = nullptr;
    thumbnails = nullptr;
    stored_thumb_.clear();
}

VELDANPanoramaImage& VELDANPanoramaImage::operator=(const VELDANPanoramaImage& other) {
    if (this == &other) return *this;
    // Copy the source's values under its read access first, so that the two
    // locks are never held at once in an order another thread could invert.
    std::unique_ptr<wchar_t[]> name;
    uint32_t w = 0, h = 0;
    std::vector<unsigned char> thumb;
    {
        ReadHold src(const_cast<AccessControl&>(other.access));
        if (src) {
            name = Duplicate(other.filename.get());
            w = other.width;
            h = other.height;
            thumb = other.stored_thumb_;
        }
    }
    WriteHold hold(access);
    if (!hold) return *this;
    SetFilename(name.get());
    width = w;
    height = h;
    ev = other.ev;
    taken = other.taken;
    orientation = other.orientation;
    stored_thumb_ = std::move(thumb);
    return *this;
}

void VELDANPanoramaImage::SetFilename(const wchar_t* name) {
    CancelJobs(this);
    WriteHold hold(access);
    if (!hold) return;
    auto copy = Duplicate(name);  // name may be our own string
    filename.reset();
    picture = nullptr;
    width = 0;
    height = 0;
    warped.Clear();
    thumbnails = nullptr;
    stored_thumb_.clear();
    if (!copy) return;
    uint32_t w = 0, h = 0;
    if (!LoadParamsWIC(copy.get(), w, h)) w = h = 0;
    width = w;
    height = h;
    if (w && h) taken = 1;
    filename = std::move(copy);
}

const wchar_t* VELDANPanoramaImage::GetFilename() {
    ReadHold hold(access);
    return hold ? filename.get() : nullptr;
}

uint32_t VELDANPanoramaImage::GetWidth() {
    ReadHold hold(access);
    return hold ? width : 0;
}

uint32_t VELDANPanoramaImage::GetHeight() {
    ReadHold hold(access);
    return hold ? height : 0;
}

bool VELDANPanoramaImage::operator==(VELDANPanoramaImage& other) {
    ReadHold mine(access);
    if (!mine) return false;
    if (&other == this) return filename != nullptr;
    ReadHold theirs(other.access);
    if (!theirs) return false;
    if (!filename || !other.filename) return false;
    return veldan::EqualsNoCase(std::wstring_view(filename.get()), std::wstring_view(other.filename.get()));
}

void VELDANPanoramaImage::SetStoredThumbnail(std::vector<unsigned char> bytes) {
    WriteHold hold(access);
    if (hold) stored_thumb_ = std::move(bytes);
}

bool VELDANPanoramaImage::LoadParamsWIC(const wchar_t* path, uint32_t& w, uint32_t& h) {
    if (!path) return false;
    if (!veldan::projectpicture::ReadPictureSize(veldan::ToUtf8(path).c_str(), w, h)) return false;
    if (orientation == 1 || orientation == 3) std::swap(w, h);  // the size as shown
    return true;
}

bool VELDANPanoramaImage::Save(void* writer) {
    ReadHold hold(access);
    if (!hold) return false;
    if (filename) {
        const std::string utf8 = veldan::ToUtf8(filename.get());
        if (!WriteAttr(writer, "filename", "%s", utf8.c_str())) return false;
    }
    if (!WriteAttr(writer, "width", "%u", width) || !WriteAttr(writer, "height", "%u", height) ||
        !WriteAttr(writer, "ev", "%d", ev) || !WriteAttr(writer, "orientation", "%u", unsigned(orientation)))
        return false;
    if (!stored_thumb_.empty()) WriteBase64Attr(writer, "THUMB", stored_thumb_.data(), stored_thumb_.size());
    return true;
}

bool VELDANPanoramaImage::Load(void* reader) {
    if (!reader || !NameIs(reader, "IMAGE")) return false;
    WriteHold hold(access);
    if (!hold) return false;
    if (auto v = IntAttr(reader, "orientation")) orientation = (*v >= 0 && *v <= 3) ? static_cast<uint8_t>(*v) : 0;
    if (auto v = Attr(reader, "filename")) SetFilename(veldan::FromUtf8(*v).c_str());
    if (width == 0 && height == 0) {
        if (auto v = IntAttr(reader, "width")) width = static_cast<uint32_t>(*v);
        if (auto v = IntAttr(reader, "height")) height = static_cast<uint32_t>(*v);
    }
    if (auto v = IntAttr(reader, "ev")) ev = static_cast<int32_t>(static_cast<uint32_t>(*v));
    if (auto v = Attr(reader, "THUMB")) {
        uint32_t length = 0;
        void* bytes = VELDANPanoramaProject::DecodeBase64(v->data(), length);
        if (bytes) {
            const auto* b = static_cast<const unsigned char*>(bytes);
            stored_thumb_.assign(b, b + length);
            std::free(bytes);
        }
    }
    ReadContent(reader, [this](void* r) {
        if (NameIs(r, "WARPED_IMAGE")) warped.Load(r);
    });
    return true;
}
