// Bytes from the host, as the virtual head reads them: every frame that can be
// cut out is handed to the modules; nothing may crash or hang, and every
// answer must be a well-formed frame.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "FaultDice.h"
#include "Frame.h"
#include "HeadBus.h"
#include "SimClock.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static veldan::headsim::SimClock clock;
    static veldan::headsim::FaultDice dice;
    veldan::headsim::HeadBus bus(veldan::headsim::HeadConfig{}, clock, dice);
    veldan::headsim::FrameDecoder decoder;
    decoder.Feed(data, size);
    while (auto frame = decoder.Next()) {
        auto result = bus.Receive(*frame);
        for (const auto& bytes : result.frames) {
            if (bytes.size() < 2 || !(bytes.front() & 0x80) || bytes.back() != 0x0D) std::abort();
            for (size_t i = 1; i + 1 < bytes.size(); ++i)
                if ((bytes[i] & 0x80) || bytes[i] == 0x0D) std::abort();
        }
        clock.Advance(137.0);
    }
    return 0;
}
