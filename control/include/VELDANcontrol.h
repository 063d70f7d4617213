/*
 * VELDANcontrol: plain C interface to the motorised panorama head.
 *
 * A program initialises the head from the user's configuration with one of
 * the three initialisation entries, receives a handle, then moves the head,
 * runs shooting scripts and reads the head's state, and finally calls
 * VELDANcontrol_deinit.
 *
 * Conventions
 * - Every entry point that takes a handle accepts a null handle and then
 *   returns its error value without any effect.
 * - Integer results: 0 for success, -1 for failure. Doubles: 0 when not
 *   available. 64-bit results: all bits set ((uint64_t)-1) when not available.
 * - Text is wide text (wchar_t). Buffers passed in are only read during the
 *   call and stay the caller's; the library never writes into them and keeps
 *   no pointer to them after the call returns.
 * - No C++ type and no exception crosses this interface.
 *
 * See docs/control.md for the complete description of every entry point.
 */
#ifndef VELDANCONTROL_H
#define VELDANCONTROL_H

#include <stddef.h>
#include <stdint.h>
#include <wchar.h>

#if defined(VELDANCONTROL_BUILDING)
#define VELDANCONTROL_EXPORT __attribute__((visibility("default")))
#else
#define VELDANCONTROL_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Opaque handle of one initialisation. */
typedef struct VELDANcontrolRecord* ControlHandle;

/* A window handle of the platform's window registry (opaque). */
typedef void* VELDANcontrol_Window;

/* Receives every progress line: a wide printf-style format and its
 * arguments (C library meaning: %ls wide text, %d int, %.02f double).
 * Called from whichever thread produces the line (the caller's thread or the
 * library's script runner thread). The return value is ignored. */
typedef int (*OutputFunction)(const wchar_t* format, ...);

/* Window message posted to the main window on every change of the status
 * word (WM_APP + 10; wParam 0, lParam 0). */
#define VELDANCONTROL_WM_STATUS (0x8000u + 10u)

/* Status word: the high half in the upper 32 bits, the low half in the
 * lower 32 bits. */
typedef uint64_t StatusWord;
#define VELDANCONTROL_STATUS_READY      (UINT64_C(0x20000000) << 32) /* device initialisation succeeded */
#define VELDANCONTROL_STATUS_BUSY       (UINT64_C(0x40000000) << 32) /* initialisation, operation or run in progress */
#define VELDANCONTROL_STATUS_FAILED     (UINT64_C(0x80000000) << 32) /* a run could not be prepared */
#define VELDANCONTROL_STATUS_LOADING    UINT64_C(0x00000001)         /* configuration is being loaded */
#define VELDANCONTROL_STATUS_CONFIGURED UINT64_C(0x00000010) /* configuration loaded, device not yet initialised */
#define VELDANCONTROL_STATUS_RUNNING    UINT64_C(0x00000100) /* a script runs */
#define VELDANCONTROL_STATUS_PAUSED     UINT64_C(0x00001000) /* the running script is paused */

/* LabVIEW string array, as LabVIEW passes it (our own definition of the
 * layout): a handle to a block of an int32 element count followed by that
 * many string handles; each string is an int32 byte count followed by the
 * bytes (narrow UTF-8 text, not zero-terminated). */
typedef struct {
    int32_t cnt;
    unsigned char str[1]; /* cnt bytes */
} VELDANcontrol_LStr, *VELDANcontrol_LStrPtr, **VELDANcontrol_LStrHandle;

typedef struct {
    int32_t dimSize;
    VELDANcontrol_LStrHandle elt[1]; /* dimSize handles */
} VELDANcontrol_LStrArray, *VELDANcontrol_LStrArrayPtr, **VELDANcontrol_LStrArrayHandle;

/* ---- Library, initialisation and shutdown ---------------------------- */

/* Writes 1, 5, 0 into the pointers that are not null. */
VELDANCONTROL_EXPORT void VELDANcontrol_version(int* major, int* minor, int* build);
/* 1: all text of the interface is wide text. */
VELDANCONTROL_EXPORT int VELDANcontrol_charset(void);

/* Initialise with start switches (argv[0..argc-1], wide texts). Blocks until
 * the bus is open and the devices have been found. Null on failure
 * (including "-h", "-?" and "-V", which only print). */
VELDANCONTROL_EXPORT ControlHandle VELDANcontrol_init(int argc, const wchar_t* const* argv);
/* The same, with progress lines going to `output` (null: the default writer). */
VELDANCONTROL_EXPORT ControlHandle VELDANcontrol_init_redirect(int argc, const wchar_t* const* argv,
                                                               OutputFunction output);
/* The same as VELDANcontrol_init with a LabVIEW string array of switches. */
VELDANCONTROL_EXPORT ControlHandle VELDANcontrol_init_LabView(VELDANcontrol_LStrArrayHandle args);

/* Re-reads the configuration, assembly and script with new switches while
 * no script runs; the bus is not re-initialised. 0 or -1. */
VELDANCONTROL_EXPORT int VELDANcontrol_reload(ControlHandle handle, int argc, const wchar_t* const* argv);
/* The same with a LabVIEW string array; a null array gives 0. */
VELDANCONTROL_EXPORT int VELDANcontrol_reload_LabView(ControlHandle handle, VELDANcontrol_LStrArrayHandle args);

/* Stops a running script, parks the head (unless "-n"), closes the bus and
 * frees the handle. 0, or -1 when the device was not ready (the handle is
 * freed in both cases and must not be used again). */
VELDANCONTROL_EXPORT int VELDANcontrol_deinit(ControlHandle handle);

/* Registers the window that receives VELDANCONTROL_WM_STATUS and the bus
 * notifications (null detaches). Returns the previous window as an integer;
 * -1 for a null handle or a window the registry does not know. */
VELDANCONTROL_EXPORT intptr_t VELDANcontrol_set_main_window(ControlHandle handle, VELDANcontrol_Window window);

/* Timing and speed setters: store the new value, return the previous one
 * (milliseconds for the times); 0 without handle. */
VELDANCONTROL_EXPORT double VELDANcontrol_set_time_recover(ControlHandle handle, double milliseconds);
VELDANCONTROL_EXPORT double VELDANcontrol_set_time_preshot(ControlHandle handle, double milliseconds);
VELDANCONTROL_EXPORT double VELDANcontrol_set_time_exposure(ControlHandle handle, double milliseconds);
VELDANCONTROL_EXPORT double VELDANcontrol_set_global_speed(ControlHandle handle, double factor);

/* ---- Shooting scripts -------------------------------------------------- */

VELDANCONTROL_EXPORT int VELDANcontrol_scr_clear(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_scr_load(ControlHandle handle, const wchar_t* path);
VELDANCONTROL_EXPORT int VELDANcontrol_scr_save(ControlHandle handle, const wchar_t* path);
/* Appends one operation per line of `text`; every control character ends a
 * line, and text after the last one is not used. `text` is only read. */
VELDANCONTROL_EXPORT int VELDANcontrol_scr_add(ControlHandle handle, const wchar_t* text);

/* ---- Runs ---------------------------------------------------------------- */

VELDANCONTROL_EXPORT int VELDANcontrol_cmd_run(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_run_sync(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_run_endless(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_break(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_resume(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_abort(ControlHandle handle);

/* ---- Single operations --------------------------------------------------- */

VELDANCONTROL_EXPORT int VELDANcontrol_op_wait(ControlHandle handle, int milliseconds);
VELDANCONTROL_EXPORT int VELDANcontrol_op_wait_recover(ControlHandle handle, int milliseconds);
VELDANCONTROL_EXPORT int VELDANcontrol_op_preshoot(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_op_shoot(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_op_release(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_op_h_angle(ControlHandle handle, double degrees);
VELDANCONTROL_EXPORT int VELDANcontrol_op_v_angle(ControlHandle handle, double degrees);
/* One whole exposure with the configured recover, pre-shot and exposure
 * times; 0 without effect when the device is not ready. */
VELDANCONTROL_EXPORT int VELDANcontrol_acquire(ControlHandle handle);

/* ---- Direct moves and remote control ------------------------------------ */

/* Moves both axes and returns when both drives stand still. */
VELDANCONTROL_EXPORT int VELDANcontrol_goto(ControlHandle handle, double horizontal, double vertical);
/* Starts the parking moves; 0 for a null handle. */
VELDANCONTROL_EXPORT int VELDANcontrol_cmd_park(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_goleft(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_goright(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_goup(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_godown(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_halt(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_abort(ControlHandle handle);
VELDANCONTROL_EXPORT int VELDANcontrol_rc_set_zero(ControlHandle handle);

/* ---- Status ------------------------------------------------------------- */

VELDANCONTROL_EXPORT double VELDANcontrol_h_pos(ControlHandle handle);
VELDANCONTROL_EXPORT double VELDANcontrol_v_pos(ControlHandle handle);
/* The status word; (uint64_t)-1 for a null handle. */
VELDANCONTROL_EXPORT StatusWord VELDANcontrol_status(ControlHandle handle);
/* Battery charge in percent (may exceed 100); -1 when not available. */
VELDANCONTROL_EXPORT int32_t VELDANcontrol_battery_state(ControlHandle handle);
/* Bit n set while the device at bus address n is busy; (uint64_t)-1 when
 * not available. */
VELDANCONTROL_EXPORT uint64_t VELDANcontrol_device_busy_state(ControlHandle handle);

#ifdef __cplusplus
}
#endif

#endif /* VELDANCONTROL_H */
