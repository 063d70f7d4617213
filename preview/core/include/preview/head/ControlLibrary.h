#pragma once
#include <cstdint>
#include <string>

// The control library's entry points as the program binds them: the library
// is not linked but loaded by name at every device start, and each entry is
// looked up by its exported name.

namespace veldan::preview {

using ControlHandle = struct VELDANcontrolRecord*;
using ControlOutput = int (*)(const wchar_t* format, ...);

struct ControlEntries {
    void (*version)(int* major, int* minor, int* build) = nullptr;
    int (*charset)() = nullptr;
    ControlHandle (*init)(int, const wchar_t* const*) = nullptr;
    ControlHandle (*init_redirect)(int, const wchar_t* const*, ControlOutput) = nullptr;
    int (*reload)(ControlHandle, int, const wchar_t* const*) = nullptr;
    double (*set_time_recover)(ControlHandle, double) = nullptr;
    double (*set_time_preshot)(ControlHandle, double) = nullptr;
    double (*set_time_exposure)(ControlHandle, double) = nullptr;
    double (*set_global_speed)(ControlHandle, double) = nullptr;
    intptr_t (*set_main_window)(ControlHandle, void*) = nullptr;
    int (*deinit)(ControlHandle) = nullptr;
    uint64_t (*status)(ControlHandle) = nullptr;
    int32_t (*battery_state)(ControlHandle) = nullptr;
    uint64_t (*device_busy_state)(ControlHandle) = nullptr;
    int (*cmd_run)(ControlHandle) = nullptr;
    int (*cmd_run_sync)(ControlHandle) = nullptr;
    int (*cmd_run_endless)(ControlHandle) = nullptr;
    int (*cmd_break)(ControlHandle) = nullptr;
    int (*cmd_resume)(ControlHandle) = nullptr;
    int (*cmd_abort)(ControlHandle) = nullptr;
    int (*cmd_park)(ControlHandle) = nullptr;
    int (*scr_clear)(ControlHandle) = nullptr;
    int (*scr_load)(ControlHandle, const wchar_t*) = nullptr;
    int (*scr_save)(ControlHandle, const wchar_t*) = nullptr;
    int (*scr_add)(ControlHandle, const wchar_t*) = nullptr;
    int (*op_wait)(ControlHandle, int) = nullptr;
    int (*op_wait_recover)(ControlHandle, int) = nullptr;
    int (*op_preshoot)(ControlHandle) = nullptr;
    int (*op_shoot)(ControlHandle) = nullptr;
    int (*op_release)(ControlHandle) = nullptr;
    int (*op_h_angle)(ControlHandle, double) = nullptr;
    int (*op_v_angle)(ControlHandle, double) = nullptr;
    double (*h_pos)(ControlHandle) = nullptr;
    double (*v_pos)(ControlHandle) = nullptr;
    int (*go_to)(ControlHandle, double, double) = nullptr;  // VELDANcontrol_goto
    int (*acquire)(ControlHandle) = nullptr;
    int (*rc_goleft)(ControlHandle) = nullptr;
    int (*rc_goright)(ControlHandle) = nullptr;
    int (*rc_goup)(ControlHandle) = nullptr;
    int (*rc_godown)(ControlHandle) = nullptr;
    int (*rc_halt)(ControlHandle) = nullptr;
    int (*rc_abort)(ControlHandle) = nullptr;
    int (*rc_set_zero)(ControlHandle) = nullptr;
};

// The file name the program loads ("VELDANcontrol.dll" of the desktop).
constexpr const char* kControlLibraryName = "libVELDANcontrol.so";

// Clears every entry, loads the library by file name (program folder, then
// the installation's library folder) and looks the entries up in their
// order. Fails when the library cannot be loaded, its version is not 1.5 or
// a later 1.x, its charset is not 1, or a required entry is missing; why is
// written to `reason` when given. The library is never unloaded: later
// starts load it again, which only raises its reference count, and no
// thread it started can outlive its code.
bool BindControlLibrary(ControlEntries& entries, const std::string& fileName = kControlLibraryName,
                        std::string* reason = nullptr);

}  // namespace veldan::preview
