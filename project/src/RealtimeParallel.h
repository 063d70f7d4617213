#pragma once
// Splits a loop over the realtime queue of the worker pool.
#include <cstdint>
#include <functional>

namespace veldan::project {

// Runs body(begin, end) over [0, count) in chunks of about `grain` items.
// The calling thread works on the chunks itself while realtime pool threads
// help; it returns when every chunk is done. Because the caller takes part,
// this never waits for a pool thread that is busy (or for a pool that does
// not run), so it may be called from a realtime job too.
void ParallelFor(uint32_t count, uint32_t grain, const std::function<void(uint32_t, uint32_t)>& body);

}  // namespace veldan::project
