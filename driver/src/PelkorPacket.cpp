// PelkorPacket: payload and timestamp, stream form, traffic log lines, and the
// library's version query.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "Pelkor.h"
#include "platform/Tick.h"

namespace {

// Frames are a few dozen bytes; a queue that holds this many bytes without a
// terminator holds line noise, not a frame in the making.
constexpr uint32_t kMaxPendingBytes = 1024;

const char* KindText(uint8_t kind) {
    switch (kind) {
        case PELKOR_KIND_ANSWER: return "ANS";
        case PELKOR_KIND_COMMAND: return "CMD";
        case PELKOR_KIND_BROADCAST: return "BRC";
        default: return "UDF";
    }
}

}  // namespace

PelkorPacket::PelkorPacket()
    : formatWord(PELKOR_PACKET_FORMAT),
      kind(0),
      busId(0),
      expectEcho(false),
      awaitAnswer(false),
      serialize(false),
      setsBusy(false),
      immediate(false),
      dueTime(0),
      sendCount(0) {}

PelkorPacket::PelkorPacket(const PelkorPacket& other) : CMemoryItem() { *this = other; }

PelkorPacket& PelkorPacket::operator=(const PelkorPacket& other) {
    if (this == &other) return *this;
    formatWord = other.formatWord;
    kind = other.kind;
    busId = other.busId;
    payload = other.payload;
    expectEcho = other.expectEcho;
    awaitAnswer = other.awaitAnswer;
    serialize = other.serialize;
    setsBusy = other.setsBusy;
    immediate = other.immediate;
    dueTime = other.dueTime;
    sendCount = other.sendCount;
    return *this;
}

PelkorPacket::~PelkorPacket() { payload.Delete(); }

bool PelkorPacket::operator==(const PelkorPacket& other) const {
    if (!IsValid() || !other.IsValid()) return false;
    if (payload.data == nullptr || other.payload.data == nullptr) return false;
    if (payload.length != other.payload.length) return false;
    return std::memcmp(payload.data, other.payload.data, payload.length) == 0;
}

bool PelkorPacket::StreamOut(DynamicQueue* queue) {
    if (!IsValid() || queue == nullptr) return false;
    formatWord = PELKOR_PACKET_FORMAT;
    if (payload.data == nullptr) return false;
    const uint32_t n = payload.length;
    std::vector<uint8_t> frame(n + 2);
    frame[0] = static_cast<uint8_t>(busId | kind);
    std::memcpy(frame.data() + 1, payload.data, n);
    frame[n + 1] = PELKOR_TERMINATOR;
    queue->Push(frame.data(), n + 2);
    return true;
}

bool PelkorPacket::StreamIn(DynamicQueue* queue) {
    if (!IsValid() || queue == nullptr) return false;
    formatWord = PELKOR_PACKET_FORMAT;
    std::vector<uint8_t> bytes;
    for (;;) {
        const uint32_t length = static_cast<uint32_t>(queue->GetLength());
        if (length == 0) return false;
        bytes.resize(length);
        if (!queue->GetAt(bytes.data(), 0, length)) return false;
        const void* found = std::memchr(bytes.data(), PELKOR_TERMINATOR, length);
        if (found == nullptr) {
            if (length > kMaxPendingBytes) {
                // Keep only what may still become a frame: the last header
                // byte and what follows it.
                uint32_t keep = 0;
                for (uint32_t k = length; k-- > 0;) {
                    if (bytes[k] & 0x80) {
                        keep = length - k;
                        break;
                    }
                }
                queue->Pop(nullptr, length - keep);
            }
            return false;
        }
        const uint32_t i = static_cast<uint32_t>(static_cast<const uint8_t*>(found) - bytes.data());
        int64_t h = -1;
        for (int64_t k = static_cast<int64_t>(i) - 1; k >= 0; --k) {
            if (bytes[static_cast<size_t>(k)] & 0x80) {
                h = k;
                break;
            }
        }
        if (h < 0) {
            // A frame whose header was lost: drop it with its terminator.
            queue->Pop(nullptr, i + 1);
            continue;
        }
        const uint8_t header = bytes[static_cast<size_t>(h)];
        queue->Pop(nullptr, static_cast<uint32_t>(h + 1));
        const uint32_t n = i - static_cast<uint32_t>(h) - 1;
        kind = header & 0xE0;
        busId = header & 0x1F;
        payload.Delete();
        if (n > 0) {
            std::vector<uint8_t> text(n);
            queue->Pop(text.data(), n);
            payload.Create(text.data(), n);
        }
        queue->Pop(nullptr, 1);
        return true;
    }
}

std::string PelkorPacket::LogLine(uint64_t tick) const {
    char flags[6] = {expectEcho ? 'E' : ' ', setsBusy ? 'D' : ' ',    immediate ? 'I' : ' ',
                     serialize ? 'S' : ' ',  awaitAnswer ? 'W' : ' ', 0};
    std::string tabs(static_cast<size_t>(busId) + 1, '\t');
    size_t textLength = 0;
    const char* text = static_cast<const char*>(static_cast<const void*>(payload.data));
    if (text) textLength = strnlen(text, payload.length);
    char head[96];
    std::snprintf(head, sizeof head, "%" PRId64 "\t%s\t[%s]\t%d", static_cast<int64_t>(tick), KindText(kind), flags,
                  static_cast<int>(busId));
    std::string line = head;
    line += tabs;
    if (text) line.append(text, textLength);
    return line;
}

bool PelkorPacket::LogToStream(DynStream* stream) {
    if (!IsValid() || stream == nullptr) return false;
    formatWord = PELKOR_PACKET_FORMAT;
    std::string line = LogLine(GetCurrentTimestamp());
    return dyn_fprintf(stream, "%s\r\n", line.c_str()) >= 0;
}

void PelkorPacket::SetTimestamp() {
    if (!IsValid()) return;
    dueTime = GetCurrentTimestamp() + 1000;
}

uint64_t PelkorPacket::GetCurrentTimestamp() { return veldan::platform::GetTickCount64(); }

void PelkorPacket::SetPayload(const char* text) {
    SetPayload(text, text ? static_cast<uint32_t>(std::strlen(text)) : 0);
}

void PelkorPacket::SetPayload(const void* data, uint32_t length) {
    payload.Delete();
    if (data && length > 0) payload.Create(data, length);
}

uint32_t PelkorPacket::PayloadLength() const { return payload.data ? static_cast<uint32_t>(payload.length) : 0; }

bool PelkorPacket::PayloadStartsWith(const char* prefix) const {
    const size_t n = std::strlen(prefix);
    if (PayloadLength() < n) return false;
    return std::memcmp(payload.data, prefix, n) == 0;
}

void Pelkor_version(int32_t* major, int32_t* minor, int32_t* build) {
    if (major) *major = 2;
    if (minor) *minor = 1;
    if (build) *build = 0;
}
