#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace veldan::headsim {

// Frame kinds, the upper three bits of the header byte.
constexpr uint8_t kKindAnswer = 0xA0;
constexpr uint8_t kKindCommand = 0xC0;
constexpr uint8_t kKindBroadcast = 0xE0;
constexpr uint8_t kTerminator = 0x0D;

// One frame of the bus: header byte (kind | address), ASCII payload, CR.
struct Frame {
    uint8_t kind = 0;     // header & 0xE0
    uint8_t address = 0;  // header & 0x1F
    std::string payload;  // without header and terminator
};

// The bytes of one frame. Payload bytes with bit 7 set or equal to CR cannot
// be framed; they are replaced by '?' so that a frame never breaks the line.
std::vector<uint8_t> EncodeFrame(uint8_t kind, uint8_t address, const std::string& payload);

// Cuts frames out of a byte stream the way the bus is read: a frame ends at
// CR and starts at the nearest byte before it with bit 7 set; bytes in front
// of that header are junk, and a terminator without a header drops everything
// up to it. Bytes of an unfinished frame stay until more arrive.
class FrameDecoder {
public:
    void Feed(const uint8_t* data, size_t size);
    std::optional<Frame> Next();
    size_t Pending() const { return buffer_.size(); }
    // Junk bytes discarded so far (line noise shows up here).
    uint64_t DiscardedBytes() const { return discarded_; }

private:
    std::vector<uint8_t> buffer_;
    uint64_t discarded_ = 0;
};

}  // namespace veldan::headsim
