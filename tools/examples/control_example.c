// control_example: the smallest complete user of libVELDANcontrol.
//
//   control_example [--goto H V] [--script FILE] [switches...]
//
// Initialises the head with the remaining command-line switches (for
// example -v, -n, -c my.cfg), moves it to H/V degrees, takes one exposure
// with the configured times, runs a script file once and shuts down.
// Exit status: 0 success, 1 initialisation failed, 2 an operation failed.
#include <locale.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "VELDANcontrol.h"

/* The output function: formats the wide text and prints it in the
 * terminal's encoding. Called from the library's threads as well. */
static int print_progress(const wchar_t* format, ...) {
    wchar_t text[2048];
    va_list args;
    va_start(args, format);
    int n = vswprintf(text, sizeof text / sizeof text[0], format, args);
    va_end(args);
    if (n < 0) return 0;
    char narrow[8192];
    size_t bytes = wcstombs(narrow, text, sizeof narrow - 1);
    if (bytes == (size_t)-1) return 0;
    fwrite(narrow, 1, bytes, stdout);
    fflush(stdout);
    return n;
}

/* A narrow command-line text as a newly allocated wide text. */
static wchar_t* widen(const char* text) {
    size_t n = mbstowcs(NULL, text, 0);
    if (n == (size_t)-1) return NULL;
    wchar_t* wide = malloc((n + 1) * sizeof(wchar_t));
    if (wide) mbstowcs(wide, text, n + 1);
    return wide;
}

int main(int argc, char** argv) {
    setlocale(LC_ALL, "");

    int major, minor, build;
    VELDANcontrol_version(&major, &minor, &build);
    if (major != 1 || VELDANcontrol_charset() != 1) {
        fprintf(stderr, "unexpected control library %d.%d.%d\n", major, minor, build);
        return 1;
    }

    int do_goto = 0;
    double h = 0.0, v = 0.0;
    const char* script = NULL;
    const wchar_t** switches = calloc((size_t)argc + 1, sizeof *switches);
    int count = 0;
    if (!switches) return 1;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--goto") == 0 && i + 2 < argc) {
            do_goto = 1;
            h = atof(argv[++i]);
            v = atof(argv[++i]);
        } else if (strcmp(argv[i], "--script") == 0 && i + 1 < argc) {
            script = argv[++i];
        } else {
            wchar_t* wide = widen(argv[i]);
            if (!wide) {
                fprintf(stderr, "argument %d is not valid text\n", i);
                return 1;
            }
            switches[count++] = wide;
        }
    }

    /* Blocks until the bus is open and the modules are known. */
    ControlHandle head = VELDANcontrol_init_redirect(count, switches, print_progress);
    for (int i = 0; i < count; ++i) free((void*)switches[i]);
    free(switches);
    if (!head) {
        fprintf(stderr, "the head could not be initialised\n");
        return 1;
    }

    int failed = 0;
    /* The drives home themselves after power-on: wait until they stand. */
    if (VELDANcontrol_op_wait(head, -1) != 0) failed = 1;
    if (!failed && do_goto && VELDANcontrol_goto(head, h, v) != 0) {
        fprintf(stderr, "the move to %.2f/%.2f failed\n", h, v);
        failed = 1;
    }
    if (!failed && VELDANcontrol_acquire(head) != 0) {
        fprintf(stderr, "the exposure failed\n");
        failed = 1;
    }
    if (!failed && script) {
        wchar_t* path = widen(script);
        if (!path || VELDANcontrol_scr_load(head, path) != 0 || VELDANcontrol_cmd_run_sync(head) != 0) {
            fprintf(stderr, "the script %s could not be run\n", script);
            failed = 1;
        }
        free(path);
    }
    printf("position %.2f %.2f, battery %d%%, status %016llx\n", VELDANcontrol_h_pos(head), VELDANcontrol_v_pos(head),
           (int)VELDANcontrol_battery_state(head), (unsigned long long)VELDANcontrol_status(head));

    /* Parks the head unless -n was given and closes the bus. */
    if (VELDANcontrol_deinit(head) != 0) failed = 1;
    return failed ? 2 : 0;
}
