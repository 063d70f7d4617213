// One picture file of a bracketing: name, size, exposure, orientation, the
// loaded picture and thumbnails (imaging-layer bitmaps, 24-bit BGR), the
// thumbnail worker job and the project-file form of an image.
#include "VELDANPanorama/PanoramaImage.h"

#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <span>

#include "ImageJobs.h"
#include "VELDANPanorama/PanoramaProject.h"
#include "VELDANPanorama/ThreadPool.h"
#include "XmlIo.h"
#include "imaging/Decode.h"
#include "imaging/Jpeg.h"
#include "imaging/Png.h"
#include "imaging/Rotate.h"
#include "imaging/Scale.h"
#include "platform/Text.h"

using namespace veldan::project::xml;

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

using veldan::imaging::Bitmap;

Bitmap* AsBitmap(void* p) { return static_cast<Bitmap*>(p); }

void Destroy(void* p) { delete AsBitmap(p); }

// Only regular files are handed to the decoders: a FIFO or device named as a
// picture would block or never end.
bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A picture of a project file: PNG, or JPEG (encoder defaults) when the PNG
// data is larger than 32768 bytes. Empty when encoding fails.
std::vector<uint8_t> EncodeStoredPicture(const Bitmap& bitmap) {
    auto png = veldan::imaging::EncodePng(bitmap);
    if (png && png->size() <= 0x8000) return std::move(png).value();
    auto jpeg = veldan::imaging::EncodeJpeg(bitmap);
    if (jpeg) return std::move(jpeg).value();
    return png ? std::move(png).value() : std::vector<uint8_t>{};
}

// Decodes a picture stored in a project file (any format the imaging layer
// reads, within the picture limits); null when it cannot be decoded.
Bitmap* DecodeStoredPicture(const char* base64,
                            veldan::imaging::PixelLayout layout = veldan::imaging::PixelLayout::kBgr24) {
    uint32_t length = 0;
    void* bytes = VELDANPanoramaProject::DecodeBase64(const_cast<char*>(base64), length);
    if (!bytes) return nullptr;
    veldan::imaging::DecodeOptions options;
    options.layout = layout;
    auto decoded =
        veldan::imaging::DecodeImage(std::span<const uint8_t>(static_cast<const uint8_t*>(bytes), length), options);
    std::free(bytes);
    if (!decoded || decoded->Empty()) return nullptr;
    return new Bitmap(std::move(decoded).value());
}

// Clockwise quarter turns that show a picture upright for an image
// orientation (1: a quarter turn counter-clockwise, 2: half, 3: clockwise).
veldan::imaging::QuarterTurns TurnFor(uint8_t orientation) {
    switch (orientation) {
        case 1: return veldan::imaging::QuarterTurns::k270;
        case 2: return veldan::imaging::QuarterTurns::k180;
        case 3: return veldan::imaging::QuarterTurns::k90;
        default: return veldan::imaging::QuarterTurns::k0;
    }
}

std::unique_ptr<wchar_t[]> Duplicate(const wchar_t* text) {
    if (!text) return nullptr;
    const size_t n = std::wcslen(text);
    auto copy = std::make_unique<wchar_t[]>(n + 1);
    std::wmemcpy(copy.get(), text, n + 1);
    return copy;
}

}  // namespace

// ---- VELDANPanoramaWarpedImage

namespace {
void* CloneBitmap(const void* p) {
    if (!p) return nullptr;
    auto copy = static_cast<const Bitmap*>(p)->Clone();
    return copy ? new Bitmap(std::move(copy).value()) : nullptr;
}
}  // namespace

VELDANPanoramaWarpedImage::VELDANPanoramaWarpedImage() = default;

VELDANPanoramaWarpedImage::VELDANPanoramaWarpedImage(const VELDANPanoramaWarpedImage& other)
    : weights(other.weights), fov(other.fov) {
    ReadHold src(const_cast<AccessControl&>(other.lock));
    if (src) bitmap = CloneBitmap(other.bitmap);
}

VELDANPanoramaWarpedImage& VELDANPanoramaWarpedImage::operator=(const VELDANPanoramaWarpedImage& other) {
    if (this == &other) return *this;
    void* copy = nullptr;
    {
        ReadHold src(const_cast<AccessControl&>(other.lock));
        if (src) copy = CloneBitmap(other.bitmap);
    }
    WriteHold hold(lock);
    if (!hold) {
        Destroy(copy);
        return *this;
    }
    weights = other.weights;
    fov = other.fov;
    Destroy(bitmap);
    bitmap = copy;
    return *this;
}

VELDANPanoramaWarpedImage::~VELDANPanoramaWarpedImage() {
    lock.PreDestruct();
    Destroy(bitmap);
    bitmap = nullptr;
}

void VELDANPanoramaWarpedImage::Clear() {
    WriteHold hold(lock);
    if (!hold) return;
    Destroy(bitmap);
    bitmap = nullptr;
    weights.Delete();
}

bool VELDANPanoramaWarpedImage::Save(void* writer) {
    if (!writer) return false;
    ReadHold hold(lock);
    if (!hold) return false;
    if (!fov.Save(writer)) return false;
    if (bitmap) {
        const auto bytes = EncodeStoredPicture(*AsBitmap(bitmap));
        if (!bytes.empty()) return WriteBase64Attr(writer, "IMAGE", bytes.data(), bytes.size());
    }
    return true;
}

bool VELDANPanoramaWarpedImage::Load(void* reader) {
    if (!reader || !NameIs(reader, "WARPED_IMAGE")) return false;
    WriteHold hold(lock);
    if (!hold) return false;
    if (!fov.Load(reader)) return false;
    Destroy(bitmap);
    bitmap = nullptr;
    if (auto value = Attr(reader, "IMAGE"))
        bitmap = DecodeStoredPicture(value->c_str(), veldan::imaging::PixelLayout::kArgb32);
    return true;
}

namespace {
struct ThumbRequest {
    std::shared_ptr<VELDANImageJobs> jobs;
    VELDANPanoramaImage* image;
    uint32_t w, h;
};
void DisposeThumbRequest(void* context) { delete static_cast<ThumbRequest*>(context); }
}  // namespace

// ---- VELDANPanoramaImage

VELDANPanoramaImage::VELDANPanoramaImage() : jobs_(std::make_shared<VELDANImageJobs>()) {}

VELDANPanoramaImage::VELDANPanoramaImage(const VELDANPanoramaImage& other) : VELDANPanoramaImage() { *this = other; }

VELDANPanoramaImage::~VELDANPanoramaImage() {
    CancelJobs(this);
    {
        // A job already taken from the queue either sees the image gone or is
        // waited for here.
        std::unique_lock<std::mutex> hold(jobs_->lock);
        jobs_->alive = false;
        jobs_->idle.wait(hold, [this] { return jobs_->running == 0; });
    }
    // Waits for a running thumbnail generation of this image (SaveThumbAs on
    // another thread).
    generation_lock.Enter();
    access.PreDestruct();
    ReleasePictures();
    filename.reset();
    generation_lock.Leave();
}

void VELDANPanoramaImage::ReleasePictures() {
    Destroy(picture);
    picture = nullptr;
    for (void*& t : thumbnails) {
        Destroy(t);
        t = nullptr;
    }
}

VELDANPanoramaImage& VELDANPanoramaImage::operator=(const VELDANPanoramaImage& other) {
    if (this == &other) return *this;
    // Copy the source's values under its read access first, so that the two
    // locks are never held at once in an order another thread could invert.
    std::unique_ptr<wchar_t[]> name;
    uint32_t w = 0, h = 0;
    {
        ReadHold src(const_cast<AccessControl&>(other.access));
        if (src) {
            name = Duplicate(other.filename.get());
            w = other.width;
            h = other.height;
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
    return *this;
}

void VELDANPanoramaImage::SetFilename(const wchar_t* name) {
    CancelJobs(this);
    WriteHold hold(access);
    if (!hold) return;
    auto copy = Duplicate(name);  // name may be our own string
    filename.reset();
    ++serial_;
    ReleasePictures();
    width = 0;
    height = 0;
    warped.Clear();
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
    return veldan::platform::EqualsNoCase(std::wstring_view(filename.get()), std::wstring_view(other.filename.get()));
}

// ---- decoders

void* VELDANPanoramaImage::LoadWIC(const wchar_t* path) {
    if (!path) return nullptr;
    const std::string file = veldan::platform::ToUtf8(path);
    if (!IsRegularFile(file)) return nullptr;
    auto decoded = veldan::imaging::DecodeImageFile(file);
    if (!decoded || decoded->Empty()) return nullptr;
    return new Bitmap(std::move(decoded).value());
}

void* VELDANPanoramaImage::LoadPreview(const wchar_t* path, uint8_t turn, uint32_t want_w, uint32_t want_h) {
    if (!path) return nullptr;
    const std::string file = veldan::platform::ToUtf8(path);
    if (!IsRegularFile(file)) return nullptr;
    veldan::imaging::DecodeOptions options;
    options.preview = true;
    // The wanted size is meant upright; the file stores it before the turn.
    if (turn == 1 || turn == 3) std::swap(want_w, want_h);
    options.want_width = want_w;
    options.want_height = want_h;
    auto decoded = veldan::imaging::DecodeImageFile(file, options);
    if (!decoded || decoded->Empty()) return nullptr;
    if (TurnFor(turn) == veldan::imaging::QuarterTurns::k0) return new Bitmap(std::move(decoded).value());
    auto turned = veldan::imaging::Rotate(*decoded, TurnFor(turn));
    return turned ? new Bitmap(std::move(turned).value()) : nullptr;
}

void* VELDANPanoramaImage::LoadPrevWIC(const wchar_t* path) { return LoadPreview(path, orientation, 0, 0); }

bool VELDANPanoramaImage::LoadParamsWIC(const wchar_t* path, uint32_t& w, uint32_t& h) {
    if (!path) return false;
    const std::string file = veldan::platform::ToUtf8(path);
    if (!IsRegularFile(file)) return false;
    auto info = veldan::imaging::ReadImageInfoFile(file);
    if (!info || info->width == 0 || info->height == 0) return false;
    w = info->width;
    h = info->height;
    if (orientation == 1 || orientation == 3) std::swap(w, h);  // the size as shown
    return true;
}

// ---- loaded picture

// Read access is given back before write access is taken, so that two
// threads loading at once never wait for each other's read hold.
bool VELDANPanoramaImage::LoadImage(bool preview) {
    std::unique_ptr<wchar_t[]> name;
    uint64_t serial = 0;
    {
        ReadHold hold(access);
        if (!hold) return false;
        if (picture) return true;
        name = Duplicate(filename.get());
        serial = serial_;
    }
    void* loaded = preview ? LoadPrevWIC(name.get()) : LoadWIC(name.get());
    if (!loaded) return false;
    if (AsBitmap(loaded)->Width() == 0 || AsBitmap(loaded)->Height() == 0) {
        Destroy(loaded);
        return false;
    }
    WriteHold write(access);
    if (!write || serial != serial_) {  // destroyed or renamed meanwhile
        Destroy(loaded);
        return false;
    }
    if (picture) {  // another thread was quicker
        Destroy(loaded);
        return true;
    }
    picture = loaded;
    if (!preview) {
        width = AsBitmap(loaded)->Width();
        height = AsBitmap(loaded)->Height();
    }
    return true;
}

void VELDANPanoramaImage::UnloadImage() {
    WriteHold hold(access);
    if (!hold) return;
    Destroy(picture);
    picture = nullptr;
}

uint32_t VELDANPanoramaImage::GetImage(void** out, uint32_t w, uint32_t h) {
    if (!out) return VELDAN_IMAGE_FAILURE;
    *out = nullptr;
    if (w == 0 && h == 0) {
        if (!LoadImage(false)) return VELDAN_IMAGE_CANNOT_LOAD;
        ReadHold hold(access);
        *out = hold ? picture : nullptr;
        return *out ? VELDAN_IMAGE_OK : VELDAN_IMAGE_CANNOT_LOAD;
    }
    std::unique_ptr<wchar_t[]> name;
    uint64_t serial = 0;
    {
        ReadHold hold(access);
        if (!hold) return VELDAN_IMAGE_CANNOT_LOAD;
        if ((width == 0 || height == 0) && !picture) {
            name = Duplicate(filename.get());
            serial = serial_;
            if (!name) return VELDAN_IMAGE_CANNOT_LOAD;
        }
    }
    if (name) {
        uint32_t fw = 0, fh = 0;
        if (!LoadParamsWIC(name.get(), fw, fh)) return VELDAN_IMAGE_CANNOT_LOAD;
        WriteHold write(access);
        if (!write) return VELDAN_IMAGE_CANNOT_LOAD;
        if (serial == serial_) {
            width = fw;
            height = fh;
        }
    }
    ReadHold hold(access);
    if (!hold) return VELDAN_IMAGE_CANNOT_LOAD;
    // A missing dimension follows the aspect (64-bit, so large requests
    // cannot wrap), then both are limited to the picture's size.
    uint64_t ww = w, hh = h;
    if (hh == 0) hh = width ? ww * height / width : 0;
    if (ww == 0) ww = height ? hh * width / height : 0;
    ww = std::min<uint64_t>(ww, width);
    hh = std::min<uint64_t>(hh, height);
    // A sliver picture still gets a thumbnail of at least one pixel.
    w = static_cast<uint32_t>(std::max<uint64_t>(ww, 1));
    h = static_cast<uint32_t>(std::max<uint64_t>(hh, 1));
    void* best = GetThumb(w, h);
    CancelJobs(this);
    auto* request = new ThumbRequest{jobs_, this, w, h};
    if (!InvokeWorker(&VELDANPanoramaImage::ThumbJob, request, reinterpret_cast<VELDANJobOwner>(this),
                      &DisposeThumbRequest))
        delete request;
    *out = best;
    return VELDAN_IMAGE_OK;
}

void VELDANPanoramaImage::ThumbJob(void* context) {
    std::unique_ptr<ThumbRequest> request(static_cast<ThumbRequest*>(context));
    VELDANImageJobs& jobs = *request->jobs;
    if (!jobs.Begin()) return;
    // COM initialisation of the original design has no counterpart here.
    request->image->GenerateThumb(nullptr, request->w, request->h);
    jobs.End();
}

// ---- thumbnails

void VELDANPanoramaImage::GenerateThumb(const wchar_t* /*name*/, uint32_t w, uint32_t h) {
    if (w == 0 || h == 0) return;
    std::unique_lock<veldan::platform::CriticalSection> generation(generation_lock, std::try_to_lock);
    if (!generation.owns_lock()) return;  // one generation per image at a time
    std::unique_ptr<wchar_t[]> name;
    uint64_t serial = 0;
    uint8_t turn = 0;
    void* made = nullptr;
    {
        ReadHold hold(access);
        if (!hold) return;
        if (void* best = GetThumb(w, h); best && AsBitmap(best)->Width() == w && AsBitmap(best)->Height() == h) return;
        serial = serial_;
        turn = orientation;
        if (picture) {
            // Scaled from the loaded picture while read access keeps it.
            auto scaled = veldan::imaging::ResizeArea(*AsBitmap(picture), w, h);
            if (!scaled) return;
            made = new Bitmap(std::move(scaled).value());
        } else {
            name = Duplicate(filename.get());
            if (!name) return;
        }
    }
    if (!made) {
        // Decoded without holding the image's access: the UI thread may rename
        // or query meanwhile; the serial check below drops a stale result.
        void* source = LoadPreview(name.get(), turn, w, h);
        if (!source) return;
        auto scaled = veldan::imaging::ResizeArea(*AsBitmap(source), w, h);
        Destroy(source);
        if (!scaled) return;
        made = new Bitmap(std::move(scaled).value());
    }
    veldan::platform::Message note;
    {
        WriteHold hold(access);
        if (!hold || serial != serial_) {  // destroyed or renamed meanwhile
            Destroy(made);
            return;
        }
        AddThumb(made);
        note = {notify_window, notify_message, notify_wparam, notify_lparam};
    }
    // The generation is over before the owner hears of it, so that a request
    // made in answer to the message is not turned away as "already running".
    generation.unlock();
    if (note.message != 0) veldan::platform::PostMessage(note.hwnd, note.message, note.wParam, note.lParam);
}

void VELDANPanoramaImage::AddThumb(void* thumbnail) {
    if (!thumbnail) return;
    const uint32_t w = AsBitmap(thumbnail)->Width(), h = AsBitmap(thumbnail)->Height();
    WriteHold hold(access);
    if (!hold) {  // being destroyed: the picture is not kept (unless listed)
        if (thumbnail != thumbnails[0] && thumbnail != thumbnails[1]) Destroy(thumbnail);
        return;
    }
    if (void* same = GetThumb(w, h); same && AsBitmap(same)->Width() == w && AsBitmap(same)->Height() == h) {
        if (same != thumbnail) Destroy(thumbnail);
        return;
    }
    // Newest first; of the old entries only the newest stays.
    Destroy(thumbnails[1]);
    thumbnails[1] = thumbnails[0];
    thumbnails[0] = thumbnail;
    thumbnails[2] = nullptr;
    warped.Clear();
}

void* VELDANPanoramaImage::GetThumb(uint32_t w, uint32_t h) {
    ReadHold hold(access);
    if (!hold) return nullptr;
    void* covering = nullptr;
    void* largest = nullptr;
    for (int i = 0; i < 2 && thumbnails[i]; ++i) {
        void* t = thumbnails[i];
        const Bitmap& b = *AsBitmap(t);
        if (b.Width() >= w && b.Height() >= h) {
            if (!covering || (b.Width() < AsBitmap(covering)->Width() && b.Height() < AsBitmap(covering)->Height()))
                covering = t;
        }
        if (!largest || (b.Width() > AsBitmap(largest)->Width() && b.Height() > AsBitmap(largest)->Height()))
            largest = t;
    }
    return covering ? covering : largest;
}

uint32_t VELDANPanoramaImage::GetThumbnailCount() {
    ReadHold hold(access);
    if (!hold) return 0;
    uint32_t n = 0;
    while (n < 2 && thumbnails[n]) ++n;
    return n;
}

void VELDANPanoramaImage::DeleteThumb(void* thumbnail) {
    if (!thumbnail) return;
    WriteHold hold(access);
    if (!hold) return;
    for (int i = 0; i < 2; ++i) {
        if (thumbnails[i] != thumbnail) continue;
        Destroy(thumbnails[i]);
        if (i == 0) thumbnails[0] = thumbnails[1];
        thumbnails[1] = nullptr;
        return;
    }
}

void VELDANPanoramaImage::DeleteThumb(uint32_t w, uint32_t h) {
    WriteHold hold(access);
    if (!hold) return;
    void* t = GetThumb(w, h);
    if (t && AsBitmap(t)->Width() == w && AsBitmap(t)->Height() == h) DeleteThumb(t);
}

void VELDANPanoramaImage::DeleteAllThumbs() {
    {
        WriteHold hold(access);
        if (!hold) return;
        for (void*& t : thumbnails) {
            Destroy(t);
            t = nullptr;
        }
    }
    warped.Clear();
}

bool VELDANPanoramaImage::SaveThumbAs(const wchar_t* path, uint32_t w, uint32_t h) {
    if (!path) return false;
    GenerateThumb(nullptr, w, h);
    ReadHold hold(access);
    if (!hold) return false;
    void* t = GetThumb(w, h);
    if (!t) return false;
    return veldan::imaging::SaveJpeg(*AsBitmap(t), veldan::platform::ToUtf8(path)).ok();
}

// ---- project file

bool VELDANPanoramaImage::Save(void* writer) {
    ReadHold hold(access);
    if (!hold) return false;
    if (filename) {
        const std::string utf8 = veldan::platform::ToUtf8(filename.get());
        if (!WriteAttr(writer, "filename", "%s", utf8.c_str())) return false;
    }
    if (!WriteAttr(writer, "width", "%u", width) || !WriteAttr(writer, "height", "%u", height) ||
        !WriteAttr(writer, "ev", "%d", ev) || !WriteAttr(writer, "orientation", "%u", unsigned(orientation)))
        return false;
    // The thumbnail of largest area; the first one on a tie.
    void* biggest = nullptr;
    for (int i = 0; i < 2 && thumbnails[i]; ++i) {
        const uint64_t area = uint64_t(AsBitmap(thumbnails[i])->Width()) * AsBitmap(thumbnails[i])->Height();
        if (!biggest || area > uint64_t(AsBitmap(biggest)->Width()) * AsBitmap(biggest)->Height())
            biggest = thumbnails[i];
    }
    if (biggest) {
        const auto bytes = EncodeStoredPicture(*AsBitmap(biggest));
        if (!bytes.empty()) WriteBase64Attr(writer, "THUMB", bytes.data(), bytes.size());
    }
    return true;
}

bool VELDANPanoramaImage::Load(void* reader) {
    if (!reader || !NameIs(reader, "IMAGE")) return false;
    WriteHold hold(access);
    if (!hold) return false;
    if (auto v = IntAttr(reader, "orientation")) orientation = (*v >= 0 && *v <= 3) ? static_cast<uint8_t>(*v) : 0;
    if (auto v = Attr(reader, "filename")) SetFilename(veldan::platform::FromUtf8(*v).c_str());
    if (width == 0 && height == 0) {
        if (auto v = IntAttr(reader, "width")) width = static_cast<uint32_t>(*v);
        if (auto v = IntAttr(reader, "height")) height = static_cast<uint32_t>(*v);
    }
    if (auto v = IntAttr(reader, "ev")) ev = static_cast<int32_t>(static_cast<uint32_t>(*v));
    if (auto v = Attr(reader, "THUMB")) AddThumb(DecodeStoredPicture(v->c_str()));
    ReadContent(reader, [this](void* r) {
        if (NameIs(r, "WARPED_IMAGE")) warped.Load(r);
    });
    return true;
}
