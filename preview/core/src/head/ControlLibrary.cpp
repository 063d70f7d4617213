// BindControlLibrary: loading the control library by name and looking up its
// entry points.
#include "preview/head/ControlLibrary.h"
#include <memory>
#include <string>
#include "preview/app/KeptModules.h"

namespace veldan::preview {

using platform::DynamicLibrary;

namespace {

template <typename F>
bool Look(const DynamicLibrary& library, const char* name, F& slot, bool required, std::string* reason) {
    slot = library.Function<F>(name);
    if (!slot && required && reason) *reason = std::string("entry ") + name + " is missing";
    return slot != nullptr || !required;
}

}  // namespace

bool BindControlLibrary(ControlEntries& e, const std::string& fileName, std::string* reason) {
    e = ControlEntries{};
    std::string error;
    std::unique_ptr<DynamicLibrary> owned = DynamicLibrary::Load(fileName, &error);
    if (!owned) {
        if (reason) *reason = error.empty() ? fileName + " cannot be loaded" : error;
        return false;
    }
    const DynamicLibrary& lib = *owned;
    KeepLoaded(std::move(owned));

    if (!Look(lib, "VELDANcontrol_version", e.version, true, reason)) return false;
    int major = 0, minor = 0;
    e.version(&major, &minor, nullptr);
    if (major != 1 || minor < 5) {
        if (reason)
            *reason = "interface version " + std::to_string(major) + "." + std::to_string(minor) + " is not supported";
        return false;
    }
    if (!Look(lib, "VELDANcontrol_charset", e.charset, true, reason)) return false;
    if (e.charset() != 1) {
        if (reason) *reason = "the library does not use wide text";
        return false;
    }
    bool ok = true;
    ok = ok && Look(lib, "VELDANcontrol_init", e.init, false, reason);
    ok = ok && Look(lib, "VELDANcontrol_init_redirect", e.init_redirect, false, reason);
    ok = ok && Look(lib, "VELDANcontrol_reload", e.reload, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_set_time_recover", e.set_time_recover, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_set_time_preshot", e.set_time_preshot, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_set_time_exposure", e.set_time_exposure, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_set_global_speed", e.set_global_speed, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_set_main_window", e.set_main_window, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_deinit", e.deinit, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_status", e.status, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_battery_state", e.battery_state, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_device_busy_state", e.device_busy_state, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_run", e.cmd_run, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_run_sync", e.cmd_run_sync, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_run_endless", e.cmd_run_endless, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_break", e.cmd_break, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_resume", e.cmd_resume, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_abort", e.cmd_abort, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_cmd_park", e.cmd_park, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_scr_clear", e.scr_clear, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_scr_load", e.scr_load, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_scr_save", e.scr_save, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_scr_add", e.scr_add, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_wait", e.op_wait, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_wait_recover", e.op_wait_recover, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_preshoot", e.op_preshoot, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_shoot", e.op_shoot, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_release", e.op_release, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_h_angle", e.op_h_angle, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_op_v_angle", e.op_v_angle, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_h_pos", e.h_pos, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_v_pos", e.v_pos, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_goto", e.go_to, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_acquire", e.acquire, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_goleft", e.rc_goleft, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_goright", e.rc_goright, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_goup", e.rc_goup, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_godown", e.rc_godown, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_halt", e.rc_halt, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_abort", e.rc_abort, true, reason);
    ok = ok && Look(lib, "VELDANcontrol_rc_set_zero", e.rc_set_zero, true, reason);
    return ok;
}

}  // namespace veldan::preview
