// Encoding bus frames and cutting them out of the received bytes.
#include "Frame.h"

#include <algorithm>

namespace veldan::headsim {

std::vector<uint8_t> EncodeFrame(uint8_t kind, uint8_t address, const std::string& payload) {
    std::vector<uint8_t> bytes;
    bytes.reserve(payload.size() + 2);
    bytes.push_back(static_cast<uint8_t>((kind & 0xE0) | (address & 0x1F)));
    for (char c : payload) {
        auto b = static_cast<uint8_t>(c);
        bytes.push_back((b & 0x80) || b == kTerminator ? uint8_t('?') : b);
    }
    bytes.push_back(kTerminator);
    return bytes;
}

void FrameDecoder::Feed(const uint8_t* data, size_t size) { buffer_.insert(buffer_.end(), data, data + size); }

std::optional<Frame> FrameDecoder::Next() {
    for (;;) {
        auto cr = std::find(buffer_.begin(), buffer_.end(), kTerminator);
        if (cr == buffer_.end()) return std::nullopt;
        auto header = buffer_.end();
        for (auto it = cr; it != buffer_.begin();) {
            --it;
            if (*it & 0x80) {
                header = it;
                break;
            }
        }
        if (header == buffer_.end()) {
            discarded_ += static_cast<uint64_t>(cr - buffer_.begin()) + 1;
            buffer_.erase(buffer_.begin(), cr + 1);
            continue;
        }
        Frame frame;
        frame.kind = *header & 0xE0;
        frame.address = *header & 0x1F;
        frame.payload.assign(header + 1, cr);
        discarded_ += static_cast<uint64_t>(header - buffer_.begin());
        buffer_.erase(buffer_.begin(), cr + 1);
        return frame;
    }
}

}  // namespace veldan::headsim
