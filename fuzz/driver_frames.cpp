// Feeds random bytes, in random chunks, to the frame decoder of the bus and
// checks what comes out: every decoded frame is a header with a payload free
// of terminators and header bytes, re-encodes to exactly its bytes, and the
// decoder never keeps more than the bytes it was given.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "Pelkor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    // The first byte chooses the chunk length, the rest is the line.
    const size_t chunk = 1 + data[0] % 64;
    DynamicQueue line;
    size_t fed = 0, decoded = 0;
    for (size_t at = 1; at < size; at += chunk) {
        const size_t n = std::min(chunk, size - at);
        line.Push(data + at, n);
        fed += n;
        for (;;) {
            PelkorPacket packet;
            if (!packet.StreamIn(&line)) break;
            const uint32_t length = packet.PayloadLength();
            for (uint32_t k = 0; k < length; ++k) {
                const uint8_t b = packet.payload.data[k];
                if (b == 0x0D || (b & 0x80)) std::abort();
            }
            if (packet.busId > 31 || (packet.kind & 0x1F) != 0) std::abort();
            decoded += length + 2;
            if (length > 0) {
                DynamicQueue again;
                if (!packet.StreamOut(&again)) std::abort();
                PelkorPacket copy;
                if (!copy.StreamIn(&again) || !(copy == packet) || copy.busId != packet.busId ||
                    copy.kind != packet.kind || again.GetLength() != 0)
                    std::abort();
            }
            (void)packet.LogLine(1);
        }
        if (decoded + line.GetLength() > fed) std::abort();
    }
    return 0;
}
