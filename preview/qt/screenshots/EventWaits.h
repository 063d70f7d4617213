#pragma once
// Waiting on the window thread of the screenshot programs: its events are
// processed meanwhile, and between two looks the thread sleeps a little
// instead of spinning, so that the head control, the monitor, the workers
// and the virtual head have the processors.
#include <functional>

namespace veldan::preview {
class CVELDANpreviewView;
}

namespace veldan::preview::demo {

// Until the condition holds; false after ms.
bool WaitFor(const std::function<bool()>& condition, int ms);

// Until nothing has changed in the view (when given) for quietMs, or until
// limitMs have passed.
void Settle(CVELDANpreviewView* view, int quietMs, int limitMs);

}  // namespace veldan::preview::demo
