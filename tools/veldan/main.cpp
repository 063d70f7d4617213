// veldan: plans, imports, describes, exports and previews panorama
// projects, makes picture thumbnails and shoots projects on the head from
// the command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "Commands.h"

namespace veldan::cli {

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "veldan: %s\n", message.c_str());
    if (status == kExitUsage) std::fprintf(stderr, "Try \"veldan --help\".\n");
    return status;
}

}  // namespace veldan::cli

namespace {

const char kHelp[] =
    "Usage: veldan COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  plan --focal MM --sensor WxH [options] -o FILE.vpp\n"
    "      Plans the tiles and the shooting path of a panorama and saves the\n"
    "      project. Prints the number of tiles.\n"
    "        --orientation landscape|portrait  sensor width horizontal (landscape,\n"
    "                                          the default) or camera turned\n"
    "        --fov T0:T1:P0:P1   azimuth T0..T1 (0..360) and elevation P0..P1\n"
    "                            (-90..90) in degrees; default 0:360:-90:90\n"
    "        --overlap F         share of a frame overlapping its neighbour\n"
    "                            (0..0.99, default 0.1)\n"
    "        --multirow          fewer frames in rows near the poles\n"
    "        --legacy            legacy arrangement (rows on the range ends)\n"
    "        --hdr COUNT:STEP:ORDER  exposure bracketing: images per tile, step\n"
    "                            in thirds of a stop, order 1 dark to bright,\n"
    "                            2 bright to dark, 3/4 normal first then up/down\n"
    "        --path TYPE         shooting order 0-7: bit 0 reverses the lines,\n"
    "                            bit 1 the direction within a line, bit 2 uses\n"
    "                            columns instead of rows (default 0)\n"
    "        --description TEXT  the project's description\n"
    "\n"
    "  import SCRIPT [--images IMAGE...] [options] -o FILE.vpp\n"
    "      Builds a project from a shooting script: every shot becomes a tile\n"
    "      (shots at one position become variants), in shooting order. The\n"
    "      images, sorted by name, go to the images in shooting order. Takes\n"
    "      the lens, sensor and bracketing options of plan.\n"
    "\n"
    "  info FILE.vpp [--json]\n"
    "      Summarises a project; --json prints an object with fov, hdri,\n"
    "      options, lens, camera, sensor, path (tile numbers) and tiles.\n"
    "\n"
    "  thumb FILE --size WxH -o OUT.jpg\n"
    "      Writes an upright JPEG thumbnail of a picture (JPEG, PNG, TIFF or\n"
    "      camera raw) that fits in W x H, as the project's previews are made.\n"
    "\n"
    "  export FILE.vpp --format FORMAT -o OUT\n"
    "      Writes the project for a stitcher: ptgui (.pts), ptgui-preview (with\n"
    "      small upright JPEG copies of the pictures beside them), autopano\n"
    "      (.pano), autopano-preview, or hugin (.pto).\n"
    "\n"
    "  preview FILE.vpp -o OUT.png|OUT.jpg --size WxH [--mode MODE] [--exposure N]\n"
    "      Renders what the desktop program's preview view shows: blended (the\n"
    "      default; overlapping pictures blended by distance from their\n"
    "      centres), warped (pictures drawn over each other in tile order;\n"
    "      transparent where nothing is covered in PNG, black in JPEG) or\n"
    "      flowchart (thumbnail boxes at the tiles' positions, at least\n"
    "      100x100). --exposure chooses the image of each bracketing (0 first).\n"
    "\n"
    "  capture FILE.vpp --com N|auto [--capture-dir DIR] [--mode manual|burst|dslr]\n"
    "      Switches the head on (port COM<N>, or searched with auto), shoots\n"
    "      every image of the project not yet taken, saves the project as the\n"
    "      images are shot and switches the head off. --mode overrides the\n"
    "      project's shutter mode. Ctrl-C stops the run: the head returns to\n"
    "      0/0, the project is saved, the head is switched off (status 130).\n"
    "\n"
    "Exit status: 0 success, 1 failure (files, projects), 2 bad arguments.\n";

}  // namespace

int main(int argc, char** argv) {
    using namespace veldan::cli;
    if (argc < 2) return Fail(kExitUsage, "no command given");
    const std::string command = argv[1];
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& a : args)
        if (a == "--help" || a == "-h") {
            std::fputs(kHelp, stdout);
            return kExitOk;
        }
    if (command == "plan") return PlanCommand(args);
    if (command == "import") return ImportCommand(args);
    if (command == "info") return InfoCommand(args);
    if (command == "thumb") return ThumbCommand(args);
    if (command == "export") return ExportCommand(args);
    if (command == "preview") return PreviewCommand(args);
    if (command == "capture") return CaptureCommand(args);
    return Fail(kExitUsage, "unknown command \"" + command + "\"");
}
