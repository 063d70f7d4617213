// The exported entry points of the control library. Each one checks its
// handle, calls the part that does the work and keeps every exception inside
// the library, turning it into the entry point's error value.
#include <cstdint>
#include <string>
#include <vector>

#include "ConfigurationLoader.h"
#include "ControlHandle.h"
#include "DeviceSession.h"
#include "LabViewArray.h"
#include "Operations.h"
#include "Pelkor.h"
#include "RemoteControl.h"
#include "ScriptRunner.h"
#include "ScriptStore.h"
#include "StartupTexts.h"
#include "VELDANcontrol.h"
#include "platform/Window.h"
#include "settings/VELDANsettings.h"

using namespace veldan::control;

namespace {

template <typename R, typename F>
R Guarded(R error, F&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return error;
    }
}

ControlHandle Initialise(int argc, const wchar_t* const* argv, OutputFunction output) {
    ControlHandle h = CreateHandle();
    if (!h) return nullptr;
    if (output) h->output.Set(output);
    h->status.SetHigh(kHighBusy);
    h->status.SetLow(kLowLoading);
    if (LoadConfiguration(h, argc, argv) != 0 || !InitDevice(h)) {
        DestroyHandle(h);
        return nullptr;
    }
    h->status.SetHigh(kHighReady);
    h->status.ClearLow(kLowConfigured);
    h->status.ClearHigh(kHighBusy);
    return h;
}

// Wide switches of a LabVIEW array with a pointer table into them.
struct WideArguments {
    explicit WideArguments(VELDANcontrol_LStrArrayHandle array) : texts(WideStringsFromLabView(array)) {
        for (const std::wstring& t : texts) pointers.push_back(t.c_str());
    }
    int Count() const { return static_cast<int>(pointers.size()); }
    const wchar_t* const* Data() const { return pointers.empty() ? nullptr : pointers.data(); }
    std::vector<std::wstring> texts;
    std::vector<const wchar_t*> pointers;
};

// A single operation: requires ready and busy clear, holds busy meanwhile.
template <typename F>
int SingleOperation(ControlHandle h, F&& work) {
    if (!h || !h->config || !h->enclosure || !h->Ready()) return -1;
    if (!h->status.TryClaimBusy()) return -1;
    bool ok = false;
    try {
        HeadOperations ops(h);
        ok = work(ops);
    } catch (...) {
        ok = false;
    }
    h->status.ClearHigh(kHighBusy);
    return ok ? 0 : -1;
}

// The timing setters: store milliseconds / 1000 as seconds, return the
// previous value in milliseconds.
double SwapSeconds(ControlHandle h, double CVeldanConfig::*field, double milliseconds) {
    if (!h || !h->config) return 0.0;
    double& seconds = h->config.get()->*field;
    const double previous = seconds * 1000.0;
    seconds = milliseconds / 1000.0;
    return previous;
}

}  // namespace

extern "C" {

VELDANCONTROL_EXPORT void VELDANcontrol_version(int* major, int* minor, int* build) {
    if (major) *major = kVersionMajor;
    if (minor) *minor = kVersionMinor;
    if (build) *build = kVersionBuild;
}

VELDANCONTROL_EXPORT int VELDANcontrol_charset(void) { return 1; }

VELDANCONTROL_EXPORT ControlHandle VELDANcontrol_init(int argc, const wchar_t* const* argv) {
    return Guarded<ControlHandle>(nullptr, [&] { return Initialise(argc, argv, nullptr); });
}

VELDANCONTROL_EXPORT ControlHandle VELDANcontrol_init_redirect(int argc, const wchar_t* const* argv,
                                                               OutputFunction output) {
    return Guarded<ControlHandle>(nullptr, [&] { return Initialise(argc, argv, output); });
}

VELDANCONTROL_EXPORT ControlHandle VELDANcontrol_init_LabView(VELDANcontrol_LStrArrayHandle args) {
    return Guarded<ControlHandle>(nullptr, [&] {
        WideArguments a(args);
        return VELDANcontrol_init(a.Count(), a.Data());
    });
}

VELDANCONTROL_EXPORT int VELDANcontrol_reload(ControlHandle handle, int argc, const wchar_t* const* argv) {
    return Guarded(-1, [&] { return LoadConfiguration(handle, argc, argv); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_reload_LabView(ControlHandle handle, VELDANcontrol_LStrArrayHandle args) {
    return Guarded(-1, [&] {
        if (!handle) return -1;
        if (!args) return 0;
        WideArguments a(args);
        return VELDANcontrol_reload(handle, a.Count(), a.Data());
    });
}

VELDANCONTROL_EXPORT int VELDANcontrol_deinit(ControlHandle handle) {
    return Guarded(-1, [&] {
        if (!handle) return -1;
        const bool ready = handle->Ready() && handle->config && handle->enclosure;
        // A running script ends (also an endless one) before the bus closes.
        StopRunner(handle);
        if (ready) ShutdownDevice(handle);
        DestroyHandle(handle);
        return ready ? 0 : -1;
    });
}

VELDANCONTROL_EXPORT intptr_t VELDANcontrol_set_main_window(ControlHandle handle, VELDANcontrol_Window window) {
    return Guarded<intptr_t>(-1, [&]() -> intptr_t {
        if (!handle) return -1;
        auto w = static_cast<veldan::platform::HWND>(window);
        if (w && !veldan::platform::IsWindow(w)) return -1;
        veldan::platform::HWND previous = handle->mainWindow.exchange(w);
        handle->forwardNotifications = w != nullptr;
        if (handle->enclosure) handle->enclosure->notifyWindow = w;
        return reinterpret_cast<intptr_t>(previous);
    });
}

VELDANCONTROL_EXPORT double VELDANcontrol_set_time_recover(ControlHandle handle, double milliseconds) {
    return SwapSeconds(handle, &CVeldanConfig::recoverTime, milliseconds);
}

VELDANCONTROL_EXPORT double VELDANcontrol_set_time_preshot(ControlHandle handle, double milliseconds) {
    return SwapSeconds(handle, &CVeldanConfig::preshotTime, milliseconds);
}

VELDANCONTROL_EXPORT double VELDANcontrol_set_time_exposure(ControlHandle handle, double milliseconds) {
    return SwapSeconds(handle, &CVeldanConfig::exposureTime, milliseconds);
}

VELDANCONTROL_EXPORT double VELDANcontrol_set_global_speed(ControlHandle handle, double factor) {
    if (!handle || !handle->config) return 0.0;
    const double previous = handle->config->globalSpeed;
    handle->config->globalSpeed = factor;
    return previous;
}

VELDANCONTROL_EXPORT int VELDANcontrol_scr_clear(ControlHandle handle) {
    return Guarded(-1, [&] { return ClearScript(handle); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_scr_load(ControlHandle handle, const wchar_t* path) {
    return Guarded(-1, [&] { return LoadScript(handle, path); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_scr_save(ControlHandle handle, const wchar_t* path) {
    return Guarded(-1, [&] { return SaveScript(handle, path); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_scr_add(ControlHandle handle, const wchar_t* text) {
    return Guarded(-1, [&] { return AddScriptLines(handle, text); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_cmd_run(ControlHandle handle) {
    return Guarded(-1, [&] { return RunOnePass(handle); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_cmd_run_sync(ControlHandle handle) {
    return Guarded(-1, [&] { return RunSynchronous(handle); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_cmd_run_endless(ControlHandle handle) {
    return Guarded(-1, [&] { return RunEndless(handle); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_cmd_break(ControlHandle handle) { return BreakRun(handle); }
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_resume(ControlHandle handle) { return ResumeRun(handle); }
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_abort(ControlHandle handle) { return AbortRun(handle); }

VELDANCONTROL_EXPORT int VELDANcontrol_op_wait(ControlHandle handle, int milliseconds) {
    return SingleOperation(handle, [&](OperationSet& ops) { return ops.Wait(milliseconds); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_op_wait_recover(ControlHandle handle, int milliseconds) {
    return SingleOperation(handle, [&](OperationSet& ops) { return ops.WaitRecover(milliseconds); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_op_preshoot(ControlHandle handle) {
    return SingleOperation(handle, [](OperationSet& ops) { return ops.Preshoot(); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_op_shoot(ControlHandle handle) {
    return SingleOperation(handle, [](OperationSet& ops) { return ops.Shoot(); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_op_release(ControlHandle handle) {
    return SingleOperation(handle, [](OperationSet& ops) { return ops.Release(); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_op_h_angle(ControlHandle handle, double degrees) {
    return SingleOperation(handle, [&](OperationSet& ops) { return ops.MoveHorizontal(degrees); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_op_v_angle(ControlHandle handle, double degrees) {
    return SingleOperation(handle, [&](OperationSet& ops) { return ops.MoveVertical(degrees); });
}

VELDANCONTROL_EXPORT int VELDANcontrol_acquire(ControlHandle handle) {
    if (!handle || !handle->config) return -1;
    if (!handle->Ready()) return 0;
    const CVeldanConfig& c = *handle->config;
    const int recover = static_cast<int>(c.recoverTime * 1000.0);
    const int preshot = static_cast<int>(c.preshotTime * 1000.0);
    const int exposure = static_cast<int>(c.exposureTime * 1000.0);
    if (VELDANcontrol_op_wait_recover(handle, recover) != 0) return -1;
    if (VELDANcontrol_op_preshoot(handle) != 0) return -1;
    if (VELDANcontrol_op_wait(handle, preshot) != 0) return -1;
    if (VELDANcontrol_op_shoot(handle) != 0) return -1;
    if (VELDANcontrol_op_wait(handle, exposure) != 0) return -1;
    if (VELDANcontrol_op_release(handle) != 0) return -1;
    return 0;
}

VELDANCONTROL_EXPORT int VELDANcontrol_goto(ControlHandle handle, double horizontal, double vertical) {
    if (VELDANcontrol_op_h_angle(handle, horizontal) != 0) return -1;
    if (VELDANcontrol_op_v_angle(handle, vertical) != 0) return -1;
    if (VELDANcontrol_op_wait(handle, -1) != 0) return -1;
    return 0;
}

VELDANCONTROL_EXPORT int VELDANcontrol_cmd_park(ControlHandle handle) {
    if (!handle) return 0;
    if (!handle->config) return -1;
    const CVeldanConfig& c = *handle->config;
    auto enabled = [&](int address) {
        return address >= 0 && address < CVeldanConfig::kBusAddressCount && c.parkingEnabled[address];
    };
    int result = 0;
    if (enabled(c.hDriveAddress) && VELDANcontrol_op_h_angle(handle, c.parkingAngle[c.hDriveAddress]) != 0) result = -1;
    if (enabled(c.vDriveAddress) && VELDANcontrol_op_v_angle(handle, c.parkingAngle[c.vDriveAddress]) != 0) result = -1;
    return result;
}

VELDANCONTROL_EXPORT int VELDANcontrol_rc_goleft(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteTurn(handle, Turn::Left); });
}
VELDANCONTROL_EXPORT int VELDANcontrol_rc_goright(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteTurn(handle, Turn::Right); });
}
VELDANCONTROL_EXPORT int VELDANcontrol_rc_goup(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteTilt(handle, Tilt::Up); });
}
VELDANCONTROL_EXPORT int VELDANcontrol_rc_godown(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteTilt(handle, Tilt::Down); });
}
VELDANCONTROL_EXPORT int VELDANcontrol_rc_halt(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteHalt(handle); });
}
VELDANCONTROL_EXPORT int VELDANcontrol_rc_abort(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteAbort(handle); });
}
VELDANCONTROL_EXPORT int VELDANcontrol_rc_set_zero(ControlHandle handle) {
    return Guarded(-1, [&] { return RemoteSetZero(handle); });
}

VELDANCONTROL_EXPORT double VELDANcontrol_h_pos(ControlHandle handle) {
    return Guarded(0.0, [&] { return HorizontalPosition(handle); });
}
VELDANCONTROL_EXPORT double VELDANcontrol_v_pos(ControlHandle handle) {
    return Guarded(0.0, [&] { return VerticalPosition(handle); });
}

VELDANCONTROL_EXPORT StatusWord VELDANcontrol_status(ControlHandle handle) {
    return handle ? handle->status.Value() : UINT64_MAX;
}

VELDANCONTROL_EXPORT int32_t VELDANcontrol_battery_state(ControlHandle handle) {
    return Guarded<int32_t>(-1, [&] { return BatteryPercent(handle); });
}

VELDANCONTROL_EXPORT uint64_t VELDANcontrol_device_busy_state(ControlHandle handle) {
    return Guarded<uint64_t>(UINT64_MAX, [&] { return BusyMask(handle); });
}

}  // extern "C"
