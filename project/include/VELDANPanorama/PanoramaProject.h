#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "VELDANPanorama/PanoramaModel.h"
#include "VELDANPanorama/Records.h"
#include "memblock/MemBlockDesc.h"
#include "memblock/MemoryBlock.h"
#include "platform/Export.h"

// One spherical panorama: meta records, the tiles (the list's items, in
// planning order) and the shooting path.
class VELDAN_API VELDANPanoramaProject : public CMemoryBlock {
public:
    // One owned wide string, absent (null) until set.
    class VELDAN_API _STRING {
    public:
        _STRING();
        _STRING(const _STRING& other);
        _STRING& operator=(const _STRING& other);
        virtual ~_STRING();
        virtual bool Save(void* writer, const char* name);
        virtual bool Load(void* reader, const char* name);

        // Stores a copy of text; null leaves the string absent.
        void Set(const wchar_t* text);
        const wchar_t* Get() const { return text_.get(); }

    private:
        std::unique_ptr<wchar_t[]> text_;
    };

    // Local calendar time.
    class VELDAN_API _DATE {
    public:
        uint8_t hour = 0;
        uint8_t minute = 0;
        uint8_t second = 0;
        uint8_t day = 0;
        uint8_t month = 0;
        uint16_t year = 0;

        _DATE() = default;
        _DATE(const _DATE&) = default;
        _DATE& operator=(const _DATE&) = default;
        virtual ~_DATE();
        // False (nothing changed) when the system time cannot be read.
        virtual bool SetCurrentTime();
        virtual bool Save(void* writer);
        virtual bool Load(void* reader);
    };

    class VELDAN_API _LENS {
    public:
        double focal_length = 0;
        _STRING manufacturer;
        _STRING model;

        _LENS() = default;
        _LENS(const _LENS&) = default;
        _LENS& operator=(const _LENS&) = default;
        virtual ~_LENS();
        virtual bool Save(void* writer);
        virtual bool Load(void* reader);
    };

    class VELDAN_API _CAMERA {
    public:
        _STRING manufacturer;
        _STRING model;
        // 1: the sensor's dimension_x runs horizontally; 0: the camera is
        // turned so that dimension_y does.
        uint32_t orientation = 0;

        _CAMERA() = default;
        _CAMERA(const _CAMERA&) = default;
        _CAMERA& operator=(const _CAMERA&) = default;
        virtual ~_CAMERA();
        virtual bool Save(void* writer);
        virtual bool Load(void* reader);
    };

    class VELDAN_API _SENSOR {
    public:
        _STRING manufacturer;
        _STRING model;
        _STRING type;
        double dimension_x = 0;
        double dimension_y = 0;
        int32_t resolution_x = 0;
        int32_t resolution_y = 0;

        _SENSOR() = default;
        _SENSOR(const _SENSOR&) = default;  // copies the type too
        virtual ~_SENSOR();
        // Copies names, dimensions and resolutions; the target keeps its type.
        virtual _SENSOR& operator=(const _SENSOR& other);
        virtual bool Save(void* writer);
        virtual bool Load(void* reader);
        virtual bool IsBuiltIn() const;
    };

    // Exposure bracketing settings; ev and step count in thirds of a stop.
    class VELDAN_API _HDRI {
    public:
        bool enabled = false;
        uint32_t count = 3;
        int32_t step = 3;
        uint8_t order = 1;
        uint8_t shutter = 1;

        _HDRI() = default;
        _HDRI(const _HDRI&) = default;
        _HDRI& operator=(const _HDRI&) = default;
        virtual ~_HDRI();
        virtual bool Save(void* writer);
        virtual bool Load(void* reader);
    };

    class VELDAN_API _OPTIONS {
    public:
        bool multirow_optimization = false;
        bool legacy_arrangement = false;
        double overlap = 0.1;
        uint32_t path = 0;

        _OPTIONS() = default;
        _OPTIONS(const _OPTIONS&) = default;
        _OPTIONS& operator=(const _OPTIONS&) = default;
        virtual ~_OPTIONS();
        virtual bool Save(void* writer);
        virtual bool Load(void* reader);
    };

    _FOV fov;
    _HDRI hdri;
    _OPTIONS options;
    _STRING description;
    _STRING project_path;
    _DATE capture_time;
    _DATE modification_time;
    _LENS lens;
    _CAMERA camera;
    _SENSOR sensor;
    VELDANPanoramaPath path;

    VELDANPanoramaProject();
    VELDANPanoramaProject(const VELDANPanoramaProject& other);
    VELDANPanoramaProject& operator=(const VELDANPanoramaProject& other);
    ~VELDANPanoramaProject() override;

    // Appends the project document to buffer; false (buffer unchanged) on
    // any writer error or a tile that cannot be written.
    virtual bool Save(MemBlockDesc* buffer);
    // Reads a project document and adds its content; false only for a null
    // buffer, a reader that cannot be created or a missing root element.
    virtual bool Load(MemBlockDesc* buffer);
    virtual bool ImportVELDANscript(void* script, int32_t images_per_tile);
    virtual bool ImportVELDANscript(const wchar_t* file_name, int32_t images_per_tile);
    virtual bool ExportVELDANscript(void* script);
    virtual bool ExportVELDANscript(const wchar_t* file_name);
    virtual bool ExportPTgui(const wchar_t* file_name, bool preview);
    virtual bool ExportAutopano(const wchar_t* file_name, bool preview);
    virtual uint32_t ComputeTiles(bool count_only);
    virtual bool ComputePath(uint8_t path_type);
    virtual bool MergeSimilarTiles();
    virtual bool UpdateDisplayPositions(double width, double height, double margin, double& left, double& right,
                                        double& top, double& bottom);
    // Hugin project (.pto) of the selected bracketings: every picture at the
    // head's angles with its own field of view, exposure values and stacks of
    // bracketed pictures, an equirectangular panorama over the project's
    // field of view. Appended after the older operations to keep their order.
    virtual bool ExportHugin(const wchar_t* file_name, bool preview);

    // Decodes Base64 text of a picture attribute in place into a new buffer
    // (release with free()); null for empty input. length receives its size.
    static void* DecodeBase64(char* text, uint32_t& length);

    // Convenience over Save/Load: the project file on disk. Saving replaces
    // the file atomically (temporary file, fsync, rename), so a failed save
    // leaves the previous file intact.
    bool SaveToFile(const wchar_t* file_name);
    bool LoadFromFile(const wchar_t* file_name);

    uint32_t TileCount() { return GetItemCount(); }
    VELDANPanoramaTile* Tile(uint32_t index) { return static_cast<VELDANPanoramaTile*>(GetItem(index, false)); }
    // Appends a tile (the project owns it).
    void AppendTile(VELDANPanoramaTile* tile);

protected:
    virtual bool SaveMetaInformation(void* writer);
    virtual bool LoadMetaInformation(void* reader);
};

// Exposure offset of slot i of a bracketing of n images (thirds of a stop).
VELDAN_API int32_t VELDANExposureOffset(uint32_t n, uint32_t i, int32_t step, uint32_t order);

// Sorts the image files ascending by plain code-unit comparison and gives
// file k to the k-th image in shooting order (tile 0, its bracketing 0,
// images 0, 1, ...; then bracketing 1; then the next tile). Each image gets
// SetFilename; when its size is known the tile's aspect ratio becomes
// width / height. Returns the number of files assigned.
VELDAN_API uint32_t VELDANAssignImageFiles(VELDANPanoramaProject& project, std::vector<std::wstring> files);

// Factories: count 0 gives null, 1 one object, more an array of count
// objects. Release one object with delete, an array with delete[].
VELDAN_API VELDANPanoramaProject* new_VELDANPanoramaProject(uint32_t count);
VELDAN_API VELDANPanoramaTile* new_VELDANPanoramaTile(uint32_t count);
VELDAN_API VELDANPanoramaBracketing* new_VELDANPanoramaBracketing(uint32_t count);
VELDAN_API VELDANPanoramaImage* new_VELDANPanoramaImage(uint32_t count);
VELDAN_API VELDANPanoramaPath* new_VELDANPanoramaPath(uint32_t count);
VELDAN_API VELDANPanoramaPathNode* new_VELDANPanoramaPathNode(uint32_t count);
