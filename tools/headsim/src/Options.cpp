// The command line of veldan-headsim and its usage text.
#include "Options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace veldan::headsim {

namespace {
bool ParseInt(const std::string& text, long min, long max, int& out) {
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || errno || v < min || v > max) return false;
    out = static_cast<int>(v);
    return true;
}

bool ParseDouble(const std::string& text, double min, double max, double& out) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end || !(v >= min && v <= max)) return false;
    out = v;
    return true;
}

bool ParsePair(const std::string& text, double& a, double& b) {
    auto x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return ParseDouble(text.substr(0, x), 1e-3, 1e6, a) && ParseDouble(text.substr(x + 1), 1e-3, 1e6, b);
}

// The scene is written as JPEG only; a name that promises another format is refused.
bool IsJpegName(const std::string& name) {
    const size_t dot = name.find_last_of("./");
    if (dot == std::string::npos || name[dot] != '.') return false;
    std::string ext = name.substr(dot + 1);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == "jpg" || ext == "jpeg";
}

bool ParseSize(const std::string& text, int& w, int& h) {
    auto x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return ParseInt(text.substr(0, x), 2, 30000, w) && ParseInt(text.substr(x + 1), 2, 30000, h);
}
}  // namespace

const char* UsageText() {
    return "Usage: veldan-headsim --com N [options]\n"
           "       veldan-headsim --write-scene OUT.jpg [--size WxH]\n"
           "\n"
           "The virtual VELDAN head: its bus modules on a pseudo-terminal linked as\n"
           "<documents>/VELDANmodular/ports/COM<N>, and a camera on the shutter relay\n"
           "that renders views of an equirectangular panorama into a capture folder.\n"
           "Prints \"<terminal> ready\" when it is up; runs until SIGINT or SIGTERM,\n"
           "then removes the link and the control socket.\n"
           "\n"
           "Line and bus:\n"
           "  --com N                 COM number of the link (1..255), required\n"
           "  --baud B                every byte takes its time on the line (8N1), e.g. 19200;\n"
           "                          default: no byte timing\n"
           "  --h-addr A              bus address of the horizontal drive (default 1)\n"
           "  --v-addr A              bus address of the vertical drive (default 2)\n"
           "  --ctrl-addr A           bus address of the control module (default 3)\n"
           "  --steps-per-turn N      steps for 360 degrees, both drives (default 36000)\n"
           "  --speed-base N          fastest speed value, steps/s, both drives (default 4000)\n"
           "  --min-accel T           shortest acceleration time, tenths of a second (default 3)\n"
           "  --start-h DEG           horizontal angle at power-on (default 0)\n"
           "  --start-v DEG           vertical angle at power-on (default 0)\n"
           "  --voltage V             battery voltage (default 12.60)\n"
           "  --shutter-relay R       relay wired to the shutter (default 1)\n"
           "  --focus-relay R         relay wired to the focus contact (default 0)\n"
           "  --time-scale F          simulated time runs F times as fast as real time (default 1)\n"
           "  --paused-clock          start with simulated time standing still (control socket:\n"
           "                          clock advance MS)\n"
           "  --seed N                seed of the injected faults (default 1)\n"
           "  --socket PATH           control socket (default <documents>/VELDANmodular/headsim.sock)\n"
           "  --documents DIR         documents folder (default: the user's, XDG_DOCUMENTS_DIR)\n"
           "\n"
           "Camera:\n"
           "  --capture-dir DIR       folder the camera writes into (default: pictures are taken\n"
           "                          but not stored)\n"
           "  --subdir NAME           write into this sub-folder of the capture folder\n"
           "  --tmp-rename            write IMG_nnnn.tmp first, then rename it to IMG_nnnn.JPG\n"
           "  --aeb COUNT             frames per press, exposures 0, -1, +1, -2, +2 ... steps\n"
           "  --aeb-step EV           exposure step of the bracket in stops (default 1)\n"
           "  --panorama IMAGE        source equirectangular picture (JPEG or PNG); default: the\n"
           "                          generated test scene\n"
           "  --scene-size WxH        size of the generated scene (default 3600x1800)\n"
           "  --focal MM              focal length (default 50)\n"
           "  --sensor WxH            sensor size in mm, long side first (default 36x24)\n"
           "  --orientation O         landscape or portrait (portrait files are stored turned, as a\n"
           "                          turned camera stores them: turn a quarter counter-clockwise)\n"
           "  --resolution WxH        pixels of the stored file, long side first (default 1500x1000)\n"
           "  --quality Q             JPEG quality 1..100 (default 90)\n"
           "  --write-delay MS        pause while writing each file, real milliseconds (default 0)\n"
           "\n"
           "Other:\n"
           "  --write-scene OUT.jpg   write the generated test scene and exit\n"
           "  --size WxH              size for --write-scene (default 3600x1800)\n"
           "  --help                  this text\n"
           "\n"
           "Control socket: one command per line, one reply line (\"OK ...\" or \"ERR ...\").\n"
           "Send \"help\" for the list; docs/headsim.md describes every command.\n";
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    SimOptions& o = cl.sim;
    bool haveCom = false;
    auto fail = [&](const std::string& message) {
        cl.action = Action::Fail;
        cl.error = message;
        return cl;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string v;
        auto needs = [&](const char* what) { return "option " + a + " needs " + what; };
        int address = 0;
        if (a == "--help" || a == "-h") {
            cl.action = Action::Help;
            return cl;
        } else if (a == "--com") {
            if (!value(v) || !ParseInt(v, 1, 255, o.com)) return fail(needs("a COM number 1..255"));
            haveCom = true;
        } else if (a == "--baud") {
            if (!value(v) || !ParseInt(v, 50, 4000000, o.baud)) return fail(needs("a baud rate"));
        } else if (a == "--h-addr" || a == "--v-addr" || a == "--ctrl-addr") {
            if (!value(v) || !ParseInt(v, 0, 31, address)) return fail(needs("a bus address 0..31"));
            (a == "--h-addr"   ? o.head.horizontal.address
             : a == "--v-addr" ? o.head.vertical.address
                               : o.head.control.address) = static_cast<uint8_t>(address);
        } else if (a == "--steps-per-turn" || a == "--speed-base" || a == "--min-accel") {
            int n = 0;
            if (!value(v) || !ParseInt(v, a == "--min-accel" ? 0 : 1, 9999999, n))
                return fail(needs("a positive number"));
            for (DriveConfig* d : {&o.head.horizontal, &o.head.vertical}) {
                if (a == "--steps-per-turn")
                    d->stepsPerTurn = n;
                else if (a == "--speed-base")
                    d->speedBase = n;
                else
                    d->minAccelTenths = n;
            }
        } else if (a == "--start-h" || a == "--start-v") {
            double deg;
            if (!value(v) || !ParseDouble(v, -3600, 3600, deg)) return fail(needs("an angle in degrees"));
            (a == "--start-h" ? o.head.horizontal : o.head.vertical).startAngle = deg;
        } else if (a == "--voltage") {
            if (!value(v) || !ParseDouble(v, 0, 99, o.head.control.voltage)) return fail(needs("a voltage 0..99"));
        } else if (a == "--shutter-relay" || a == "--focus-relay") {
            if (!value(v) || !ParseInt(v, 0, 9, a == "--shutter-relay" ? o.shutterRelay : o.focusRelay))
                return fail(needs("a relay 0..9"));
        } else if (a == "--time-scale") {
            if (!value(v) || !ParseDouble(v, 1e-3, 1e6, o.timeScale)) return fail(needs("a factor > 0"));
        } else if (a == "--paused-clock") {
            o.clockPaused = true;
        } else if (a == "--seed") {
            int seed = 0;
            if (!value(v) || !ParseInt(v, 0, 2147483647, seed)) return fail(needs("a number"));
            o.seed = static_cast<uint64_t>(seed);
        } else if (a == "--socket") {
            if (!value(v) || v.empty()) return fail(needs("a path"));
            o.socket = v;
        } else if (a == "--documents") {
            if (!value(v) || v.empty()) return fail(needs("a folder"));
            o.documents = v;
        } else if (a == "--capture-dir") {
            if (!value(v) || v.empty()) return fail(needs("a folder"));
            o.camera.captureDir = v;
        } else if (a == "--subdir") {
            if (!value(v) || v.empty() || v.find("..") != std::string::npos || v[0] == '/')
                return fail(needs("a relative folder name without \"..\""));
            o.camera.subdir = v;
        } else if (a == "--tmp-rename") {
            o.camera.tmpRename = true;
        } else if (a == "--aeb") {
            if (!value(v) || !ParseInt(v, 1, 9, o.camera.aeb)) return fail(needs("a frame count 1..9"));
        } else if (a == "--aeb-step") {
            if (!value(v) || !ParseDouble(v, 0, 5, o.camera.aebStepEv)) return fail(needs("a step 0..5 stops"));
        } else if (a == "--panorama") {
            if (!value(v) || v.empty()) return fail(needs("a picture file"));
            o.panorama = v;
        } else if (a == "--scene-size") {
            if (!value(v) || !ParseSize(v, o.sceneWidth, o.sceneHeight)) return fail(needs("WxH"));
        } else if (a == "--focal") {
            if (!value(v) || !ParseDouble(v, 0.5, 5000, o.camera.lens.focalMm))
                return fail(needs("a focal length in mm"));
        } else if (a == "--sensor") {
            if (!value(v) || !ParsePair(v, o.camera.lens.sensorWidthMm, o.camera.lens.sensorHeightMm))
                return fail(needs("WxH in millimetres"));
        } else if (a == "--orientation") {
            if (!value(v) || (v != "landscape" && v != "portrait")) return fail(needs("landscape or portrait"));
            o.camera.lens.portrait = v == "portrait";
        } else if (a == "--resolution") {
            if (!value(v) || !ParseSize(v, o.camera.lens.width, o.camera.lens.height))
                return fail(needs("WxH in pixels"));
        } else if (a == "--quality") {
            if (!value(v) || !ParseInt(v, 1, 100, o.camera.quality)) return fail(needs("a quality 1..100"));
        } else if (a == "--write-delay") {
            if (!value(v) || !ParseInt(v, 0, 60000, o.camera.writeDelayMs)) return fail(needs("milliseconds"));
        } else if (a == "--write-scene") {
            if (!value(v) || v.empty()) return fail(needs("a file name"));
            if (!IsJpegName(v)) return fail("--write-scene writes a JPEG picture: name it .jpg or .jpeg");
            cl.sceneOut = v;
        } else if (a == "--size") {
            if (!value(v) || !ParseSize(v, cl.sceneWidth, cl.sceneHeight)) return fail(needs("WxH"));
        } else {
            return fail("unknown option " + a + " (see --help)");
        }
    }
    if (!cl.sceneOut.empty()) {
        cl.action = Action::WriteScene;
        return cl;
    }
    if (!haveCom) return fail("--com N is required (see --help)");
    cl.action = Action::Run;
    return cl;
}

}  // namespace veldan::headsim
