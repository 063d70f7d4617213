// Creating and destroying the record behind a ControlHandle; a running script
// ends before its configuration and enclosure go.
#include "ControlHandle.h"

#include <new>

#include "OutputWriters.h"
#include "Pelkor.h"
#include "settings/VELDANsettings.h"

VELDANcontrolRecord::VELDANcontrolRecord() = default;

VELDANcontrolRecord::~VELDANcontrolRecord() {
    // A runner still executing must end before the configuration and the
    // enclosure it uses are destroyed.
    stopRunner = true;
    abortEvent.Set();
    JoinRunner();
    enclosure.reset();
    config.reset();
}

void VELDANcontrolRecord::JoinRunner() {
    std::lock_guard lock(runnerLock);
    if (runnerThread.joinable() && runnerThread.get_id() != std::this_thread::get_id()) runnerThread.join();
}

namespace veldan::control {

ControlHandle CreateHandle() {
    std::unique_ptr<VELDANcontrolRecord> record;
    try {
        record = std::make_unique<VELDANcontrolRecord>();
        record->config = std::make_unique<CVeldanConfig>();
        record->enclosure = std::make_unique<CPelkorEnclosure>();
    } catch (...) {
        return nullptr;
    }
    if (LogFileRequested()) {
        record->output.Set(&LogFileWriter);
        record->verbose = true;
    } else {
        record->output.Set(&ConsoleWriter);
    }
    return record.release();
}

void DestroyHandle(ControlHandle handle) { delete handle; }

}  // namespace veldan::control
