#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "VELDANPanorama/AccessControl.h"
#include "VELDANPanorama/Records.h"
#include "memblock/MemBlockDesc.h"
#include "platform/CriticalSection.h"
#include "platform/Export.h"
#include "platform/Window.h"

// Status codes of the picture calls.
constexpr uint32_t VELDAN_IMAGE_OK = 0x100;
constexpr uint32_t VELDAN_IMAGE_CANNOT_LOAD = 0x20000100;
constexpr uint32_t VELDAN_IMAGE_FAILURE = 0x2FFFFF00;

// The warped copy of an image for the panorama preview. Its bitmap and weight
// map are produced by the preview warping; the project file keeps its angular
// extent and, when present, its encoded picture.
class VELDAN_API VELDANPanoramaWarpedImage {
public:
    AccessControl lock;
    // Warped picture (an imaging-layer bitmap, 32-bit ARGB: 0 outside the
    // image, opaque copies of source pixels inside), owned; none until warped
    // or read from a project file.
    void* bitmap = nullptr;
    // One 16-bit weight per warped pixel, row by row: 0xFFFF outside the
    // image, else floor(50000 * distance from the image centre).
    MemBlockDesc weights;
    _FOV fov;  // angular extent of the warped picture
    // Lets one warp of this image run at a time, so that two warping threads
    // never both wait to turn their read access into write access.
    veldan::platform::CriticalSection warp_section;

    VELDANPanoramaWarpedImage();
    VELDANPanoramaWarpedImage(const VELDANPanoramaWarpedImage& other);
    VELDANPanoramaWarpedImage& operator=(const VELDANPanoramaWarpedImage& other);
    ~VELDANPanoramaWarpedImage();

    // Releases the bitmap and empties the weight map (under write access).
    void Clear();
    bool Load(void* reader);
    bool Save(void* writer);
};

struct VELDANImageJobs;
struct VELDANPanoramaImageTestAccess;

// One picture file of a bracketing: file name, size as displayed, exposure
// offset in thirds of a stop, orientation, taken flag and notification target.
// Every member from `access` on is guarded by `access`.
class VELDAN_API VELDANPanoramaImage final {
public:
    int32_t ev = 0;
    uint32_t taken = 0;
    // Turn needed to show the picture upright: 0 none, 1 a quarter turn
    // counter-clockwise, 2 a half turn, 3 a quarter turn clockwise.
    uint8_t orientation = 0;
    VELDANPanoramaWarpedImage warped;
    AccessControl access;
    veldan::platform::HWND notify_window = nullptr;
    veldan::platform::UINT notify_message = 0;
    veldan::platform::WPARAM notify_wparam = 0;
    veldan::platform::LPARAM notify_lparam = 0;

    VELDANPanoramaImage();
    VELDANPanoramaImage(const VELDANPanoramaImage& other);
    ~VELDANPanoramaImage();
    // Under write access of the target: SetFilename(source's name), then
    // width, height, ev, taken flag and orientation.
    VELDANPanoramaImage& operator=(const VELDANPanoramaImage& other);

    // Drops every derived picture, stores a copy of name (null: no name) and
    // reads the picture size from the file (0 x 0 when it cannot be read; the
    // taken flag becomes 1 when both are known).
    void SetFilename(const wchar_t* name);
    // The image's own string, valid until the next SetFilename; null when
    // there is none or the lock is refused.
    const wchar_t* GetFilename();
    uint32_t GetWidth();
    uint32_t GetHeight();
    // Both have a file name and the names are equal ignoring case.
    bool operator==(VELDANPanoramaImage& other);

    virtual bool Save(void* writer);
    virtual bool Load(void* reader);

    // Decodes the picture (preview: the file's embedded preview, turned
    // upright) unless one is loaded. A full load also takes the decoded size.
    bool LoadImage(bool preview);
    void UnloadImage();
    // The preview's access to a picture: w = h = 0 gives the full picture;
    // otherwise the best existing thumbnail (may be null) while a worker job
    // makes one of exactly the wanted size. Pictures are imaging-layer
    // bitmaps owned by the image. Returns VELDAN_IMAGE_OK,
    // VELDAN_IMAGE_CANNOT_LOAD or VELDAN_IMAGE_FAILURE (null picture).
    uint32_t GetImage(void** picture, uint32_t w, uint32_t h);
    // Makes a w x h thumbnail unless one exists or a generation of this image
    // runs already; posts the notification when one was added. `name` is not
    // used: the image's own file is.
    void GenerateThumb(const wchar_t* name, uint32_t w, uint32_t h);
    void DeleteThumb(void* thumbnail);
    void DeleteThumb(uint32_t w, uint32_t h);
    void DeleteAllThumbs();
    // Writes the best thumbnail for w x h (generated first when needed) as a
    // JPEG file; false when there is none or the file cannot be written.
    bool SaveThumbAs(const wchar_t* path, uint32_t w, uint32_t h);

protected:
    friend struct VELDANPanoramaImageTestAccess;
    friend class VELDANPanoramaStitcher;  // background warps share the job bookkeeping

    void AddThumb(void* thumbnail);
    void* GetThumb(uint32_t w, uint32_t h);
    uint32_t GetThumbnailCount();
    // Full picture, unturned; null on failure.
    void* LoadWIC(const wchar_t* path);
    // Preview picture turned by `orientation`; null on failure.
    void* LoadPrevWIC(const wchar_t* path);
    // Reads the picture size from the file header (as displayed: swapped for
    // orientation 1 and 3). False when the file cannot be read.
    bool LoadParamsWIC(const wchar_t* path, uint32_t& w, uint32_t& h);
    static uint32_t EnterLoadingSection() { return 0; }
    static void LeaveLoadingSection(uint32_t) {}

private:
    static void ThumbJob(void* context);
    void* LoadPreview(const wchar_t* path, uint8_t turn, uint32_t want_w, uint32_t want_h);
    void ReleasePictures();

    std::unique_ptr<wchar_t[]> filename;
    uint32_t width = 0;
    uint32_t height = 0;
    void* picture = nullptr;   // loaded picture (imaging layer), none until loaded
    void* thumbnails[3] = {};  // null-terminated, newest first, at most two
    veldan::platform::CriticalSection generation_lock;
    // Counts renames, so that a thumbnail made from the previous file is not
    // added after a rename.
    uint64_t serial_ = 0;
    // Lifetime of the image as seen by its worker jobs (shared with them).
    std::shared_ptr<VELDANImageJobs> jobs_;
};
