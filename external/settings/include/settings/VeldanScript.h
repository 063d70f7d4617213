#pragma once
// A shooting script: an ordered list of head operations, read from and
// written to the script text format (docs/formats.md).
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>
#include "platform/Export.h"

struct DynStream;

// Operation kinds (one bit each).
enum : uint32_t {
    VELDAN_OP_H_ANGLE = 1,       // "H <deg>": horizontal move to angle
    VELDAN_OP_V_ANGLE = 2,       // "V <deg>": vertical move to angle
    VELDAN_OP_WAIT = 4,          // "WAIT <ms>" / "WAIT READY" (ms = -1)
    VELDAN_OP_WAIT_RECOVER = 8,  // "RECOVER <ms>": ms since the last release
    VELDAN_OP_PRESHOT = 16,      // "PRESHOT": pre-shot (focus) contact on
    VELDAN_OP_SHOOT = 32,        // "SHOOT": shutter contact on
    VELDAN_OP_RELEASE = 64,      // "RELEASE": both contacts off
    VELDAN_OP_NOTE = 128,        // "NOTE": does nothing, carries its text
    VELDAN_OP_PAUSE = 256,       // "PAUSE": pause before the next operation
    VELDAN_OP_NOP = 512,         // "NOP": does nothing
    VELDAN_OP_POSITION = 1024,   // "POS <h> <v>": position mark, no move
};

// The operation record. `text` is null or a UTF-8 line shown when the
// operation runs; it stays valid while the operation is in its script.
struct op {
    uint32_t kind = 0;
    double angle = 0.0;   // kinds 1, 2: target; kind 1024: horizontal
    double angle2 = 0.0;  // kind 1024: vertical
    int32_t ms = 0;       // kinds 4 (-1 = until no device is busy), 8
    const char* text = nullptr;
};
using VeldanOp = op;

class VELDAN_API CVeldanScript {
public:
    // Limits of the file format; longer input is refused.
    static constexpr size_t kMaxLineLength = 4096;
    static constexpr size_t kMaxFileSize = 16u * 1024 * 1024;
    static constexpr int kMaxOps = 1000000;

    CVeldanScript();
    virtual ~CVeldanScript();
    CVeldanScript(const CVeldanScript&) = delete;
    CVeldanScript& operator=(const CVeldanScript&) = delete;

    // Replaces the operations by those of the stream. On any error (see
    // GetLoadError) returns false and keeps the previous operations.
    virtual bool Load(DynStream* stream);
    // Writes every operation, one per line; false when a write failed.
    // A stream opened with "w" is committed (the file is complete on true).
    virtual bool Save(DynStream* stream);
    virtual int GetOpCnt() const;
    // Null for an index out of range.
    virtual const op* GetOp(int index) const;
    // Parses one line of the script format and appends its operation.
    // True when the line is valid (a blank or comment line adds nothing);
    // false and nothing added when it is malformed.
    virtual bool AddOpFromString(const char* line);
    virtual void ClearOps();

    // Appends a copy of the record (its text copied). False for an unknown
    // kind, a non-finite or out-of-range value or a text that the format
    // cannot hold (control characters, invalid UTF-8).
    bool AddOp(const op& operation);
    // Replaces this script's operations by those of another script.
    void CopyFrom(const CVeldanScript& other);
    // The line that Save writes for an operation, without line feed.
    static std::string FormatOp(const op& operation);
    // Why the last Load or AddOpFromString failed ("line 3: ..."), else "".
    std::string GetLoadError() const;

    // Adding and reading may happen from different threads (a runner reads
    // while the caller appends); a record stays where it is until ClearOps,
    // Load or CopyFrom.
private:
    struct Entry;
    static std::unique_ptr<Entry> MakeEntry(const op& operation, const std::string& text, bool hasText);
    mutable std::mutex mutex_;
    std::vector<std::unique_ptr<Entry>> ops_;
    std::string error_;
};
