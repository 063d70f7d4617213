#pragma once
#include <cstdint>
#include <memory>
#include <vector>
#include "MemBlockDesc.h"
#include "VELDANPanorama/AccessControl.h"
#include "VELDANPanorama/Records.h"
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
    void* bitmap = nullptr;  // warped picture (imaging layer), none until warped
    MemBlockDesc weights;    // one 16-bit weight per warped pixel
    _FOV fov;

    VELDANPanoramaWarpedImage();
    VELDANPanoramaWarpedImage(const VELDANPanoramaWarpedImage& other);
    VELDANPanoramaWarpedImage& operator=(const VELDANPanoramaWarpedImage& other);
    ~VELDANPanoramaWarpedImage();

    // Releases the bitmap and empties the weight map (under write access).
    void Clear();
    bool Load(void* reader);
    bool Save(void* writer);

private:
    // Encoded picture bytes as read from a project file, kept until a
    // decoder turns them into the bitmap.
    std::vector<unsigned char> encoded_;
};

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
    veldan::HWND notify_window = nullptr;
    veldan::UINT notify_message = 0;
    veldan::WPARAM notify_wparam = 0;
    veldan::LPARAM notify_lparam = 0;

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

    // Encoded bytes of the thumbnail read from a project file; written back on
    // save while the image holds no generated thumbnail.
    const std::vector<unsigned char>& StoredThumbnail() const { return stored_thumb_; }
    void SetStoredThumbnail(std::vector<unsigned char> bytes);

protected:
    // Reads the picture size from the file header (as displayed: swapped for
    // orientation 1 and 3). False when the file cannot be read.
    bool LoadParamsWIC(const wchar_t* path, uint32_t& w, uint32_t& h);

private:
    void ReleasePictures();

    std::unique_ptr<wchar_t[]> filename;
    uint32_t width = 0;
    uint32_t height = 0;
    void* picture = nullptr;     // loaded picture (imaging layer), none until loaded
    void** thumbnails = nullptr;  // null-terminated, newest first, at most two
    veldan::CriticalSection generation_lock;
    std::vector<unsigned char> stored_thumb_;
};
