#pragma once
// A head assembly: display name, description and the default shooting
// pattern (rows of shots), read from the assembly text format
// (docs/formats.md, files "*.asm").
#include <string>
#include <vector>
#include "platform/Export.h"

struct DynStream;

class VELDAN_API CVeldanAssembly {
public:
    // One row of the default shooting pattern: `shots` positions evenly
    // spread over a full turn at the vertical angle, the first at `start`.
    struct _ROW {
        double vertical = 0.0;
        int shots = 1;
        double start = 0.0;
    };
    static constexpr size_t kMaxLineLength = 4096;
    static constexpr size_t kMaxFileSize = 1024 * 1024;
    static constexpr int kMaxRows = 64;
    static constexpr int kMaxShotsPerRow = 360;

    CVeldanAssembly();
    virtual ~CVeldanAssembly();
    CVeldanAssembly(const CVeldanAssembly& other);
    CVeldanAssembly& operator=(const CVeldanAssembly& other);

    // Replaces name, description and pattern by the stream's. On any error
    // returns false and keeps the previous contents.
    virtual bool Load(DynStream* stream);
    // Writes the whole assembly; false when a write failed.
    virtual bool Save(DynStream* stream);

    // Display name (UTF-8) or null when the file names none.
    const char* name = nullptr;
    // Free description or null.
    const char* description = nullptr;

    int GetRowCnt() const { return static_cast<int>(rows_.size()); }
    const _ROW* GetRow(int index) const;
    // False when the row is out of range or the pattern is full.
    bool AddRow(const _ROW& row);
    void ClearRows() { rows_.clear(); }
    // False for texts with control characters or invalid UTF-8.
    bool SetName(const char* text);
    bool SetDescription(const char* text);
    std::string GetLoadError() const { return error_; }

private:
    void Repoint();
    std::string name_, description_;
    bool hasName_ = false, hasDescription_ = false;
    std::vector<_ROW> rows_;
    std::string error_;
};
