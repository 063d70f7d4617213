#pragma once
#include <cstdint>
#include <memory>
#include "VELDANPanorama/PanoramaImage.h"
#include "VELDANPanorama/Records.h"
#include "memblock/MemBlockDesc.h"
#include "memblock/MemoryBlock.h"
#include "platform/Export.h"

// One set of exposures shot at one tile position: `count` slots, each empty
// or holding an owned image.
class VELDAN_API VELDANPanoramaBracketing : public CMemoryItem {
public:
    uint32_t count = 0;
    std::unique_ptr<std::unique_ptr<VELDANPanoramaImage>[]> images;

    VELDANPanoramaBracketing();
    // The copy gets its own copies of the images.
    VELDANPanoramaBracketing(const VELDANPanoramaBracketing& other);
    VELDANPanoramaBracketing& operator=(const VELDANPanoramaBracketing& other);
    ~VELDANPanoramaBracketing() override;

    virtual bool Save(void* writer);
    virtual bool Load(void* reader);

    // A different n destroys every image and leaves n empty slots.
    void SetImageCnt(uint32_t n);
    uint32_t GetImageCnt() const { return count; }
    // Assigns image to slot i (filling an empty slot first); false past the end.
    bool SetImage(uint32_t i, const VELDANPanoramaImage* image);
    // The slot's image (created blank when the slot is empty); null past the end.
    VELDANPanoramaImage* GetImage(uint32_t i);
    void DeleteImage(uint32_t i);
    void CleanUp();
    // Identity: both have slots, equal counts and every slot names the very
    // same image object (or both are empty).
    bool operator==(const VELDANPanoramaBracketing& other) const;
};

// Owning list of bracketings (the variants of a tile).
class VELDAN_API VELDANPanoramaBracketingList : public CMemoryBlock {
public:
    VELDANPanoramaBracketingList();
    VELDANPanoramaBracketingList(const VELDANPanoramaBracketingList& other);
    VELDANPanoramaBracketingList& operator=(const VELDANPanoramaBracketingList& other);
    ~VELDANPanoramaBracketingList() override;
    VELDANPanoramaBracketing* Bracketing(uint32_t index) {
        return static_cast<VELDANPanoramaBracketing*>(GetItem(index, false));
    }
};

// One head position with its variants.
class VELDAN_API VELDANPanoramaTile : public CMemoryItem {
public:
    double pos_x = 0;  // azimuth of the frame centre, degrees
    double pos_y = 0;  // elevation of the frame centre, degrees
    double fov_x = 0;  // horizontal opening angle, degrees
    double fov_y = 0;  // vertical opening angle, degrees
    _FOV warped_fov;   // warped bounding box
    // Display data of the preview and the flow-chart layout.
    double display_x = 0;
    double display_y = 0;
    double display_left = 0;
    double display_right = 0;
    double display_top = 0;
    double display_bottom = 0;
    uint32_t display_flags = 0;  // 1 hovered, 2 selected, 4 being shot
    double display_scale = 0;
    double height_factor = 1.0;
    double aspect_ratio = 1.0;
    uint8_t fixed = 0;
    VELDANPanoramaBracketingList bracketings;
    uint32_t variant = 0;  // index of the selected bracketing

    VELDANPanoramaTile();
    VELDANPanoramaTile(const VELDANPanoramaTile& other);
    VELDANPanoramaTile& operator=(const VELDANPanoramaTile& other);
    ~VELDANPanoramaTile() override;

    virtual bool Save(void* writer);
    virtual bool Load(void* reader);
    // Exactly equal position; nothing else is compared.
    virtual bool operator==(const VELDANPanoramaTile& other) const;
    // Appends copies of the other tile's bracketings that this tile does not
    // hold already (nothing when this tile has no bracketings).
    virtual void operator+=(const VELDANPanoramaTile& other);

    void ComputeWarpedBoundingBox();
    static long double Distance(const VELDANPanoramaTile& a, const VELDANPanoramaTile& b);
    static long double MovingDistance(const VELDANPanoramaTile& a, const VELDANPanoramaTile& b);

    VELDANPanoramaBracketing* Bracketing(uint32_t index) { return bracketings.Bracketing(index); }
};

class VELDAN_API VELDANPanoramaPathNode : public CMemoryItem {
public:
    int32_t tile_nr = 0;

    VELDANPanoramaPathNode();
    VELDANPanoramaPathNode(const VELDANPanoramaPathNode& other);
    VELDANPanoramaPathNode& operator=(const VELDANPanoramaPathNode& other);
    ~VELDANPanoramaPathNode() override;
    virtual bool Save(void* writer);
    virtual bool Load(void* reader);
};

// The shooting order: path nodes naming tiles by index.
class VELDAN_API VELDANPanoramaPath : public CMemoryBlock {
public:
    VELDANPanoramaPath();
    VELDANPanoramaPath(const VELDANPanoramaPath& other);
    VELDANPanoramaPath& operator=(const VELDANPanoramaPath& other);
    ~VELDANPanoramaPath() override;
    virtual bool Save(void* writer);
    virtual bool Load(void* reader);

    VELDANPanoramaPathNode* Node(uint32_t index) { return static_cast<VELDANPanoramaPathNode*>(GetItem(index, false)); }
    // Appends a node naming tile_nr.
    void Append(int32_t tile_nr);
};
