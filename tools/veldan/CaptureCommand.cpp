// veldan capture: shoots a project on the head without a screen, with the
// same head control and capture run as the desktop program. The head
// control's window and the log window are message queues that this loop
// empties; Ctrl-C cancels the run, returns the head to 0°/0°, saves the
// project and switches the head off. The capture-folder monitor runs with
// the head and files each image the camera writes into the capture folder
// (--capture-dir) into the project folder; the project is saved as images
// are filed.
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "VELDANPanoramaProject.h"
#include "platform/Text.h"
#include "preview/capture/HeadlessCapture.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::cli {

using platform::ToUtf8;

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }

constexpr int kExitInterrupted = 130;

void PrintLog(std::wstring text) {
    // The library writes some lines in pieces ("Opening ... " and "OK\n");
    // a text that ends a sentence of its own gets its line break here.
    if (!text.empty() && text.back() != L'\n' && text.back() != L' ' && !text.ends_with(L"...")) text += L'\n';
    std::fputs(ToUtf8(text).c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

int CaptureCommand(const std::vector<std::string>& args) {
    std::string file, com, captureDir, mode;
    if (const auto usage = OptionReader()
                               .Value({"--com"}, com)
                               .Value({"--capture-dir"}, captureDir)
                               .Value({"--mode"}, mode)
                               .Unknown([](const std::string& a) { return "unknown option " + a; })
                               .Positional(file, [](const std::string&) { return "more than one project file given"; })
                               .Read(args))
        return Fail(kExitUsage, *usage);
    if (file.empty()) return Fail(kExitUsage, "no project file given");
    if (com.empty()) return Fail(kExitUsage, "--com N or --com auto is required");
    int port = -1;
    if (com != "auto") {
        const std::optional<int64_t> n = ParseInteger(com);
        if (!n || *n < 1 || *n > 255) return Fail(kExitUsage, "--com takes 1..255 or auto");
        port = static_cast<int>(*n);
    }
    if (!mode.empty() && mode != "manual" && mode != "burst" && mode != "dslr")
        return Fail(kExitUsage, "--mode takes manual, burst or dslr");
    if (!captureDir.empty() && !std::filesystem::is_directory(captureDir))
        return Fail(kExitUsage, "capture folder " + captureDir + " does not exist");

    preview::DocumentList documents;
    CVELDANpreviewDoc doc(documents);
    std::string error;
    const std::filesystem::path path = file;
    if (!doc.OnOpenDocument(path, &error)) return Fail(kExitFailure, error);
    VELDANPanoramaProject& project = doc.Project();
    if (project.TileCount() == 0 || project.path.GetItemCount() == 0)
        return Fail(kExitFailure, file + " has no tiles to shoot");
    // The mode is stored with the project, which records how it was shot.
    if (mode == "manual") project.hdri.shutter = 1;
    if (mode == "burst") project.hdri.enabled = true, project.hdri.shutter = 2;
    if (mode == "dslr") project.hdri.enabled = true, project.hdri.shutter = 3;

    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    preview::HeadlessCaptureOptions options;
    options.port = port;
    options.captureDirectory = captureDir;
    options.log = PrintLog;
    options.save = [&] {
        std::string saveError;
        if (!doc.OnSaveDocument(path, &saveError)) std::fprintf(stderr, "veldan: %s\n", saveError.c_str());
    };
    options.cancelRequested = [] { return g_interrupted != 0; };
    switch (preview::RunHeadlessCapture(documents, doc, options, error)) {
        case preview::HeadlessCaptureStatus::Done: return kExitOk;
        case preview::HeadlessCaptureStatus::Cancelled: return kExitInterrupted;
        case preview::HeadlessCaptureStatus::NoProfile:
        case preview::HeadlessCaptureStatus::HeadFailed: break;
    }
    return Fail(kExitFailure, error);
}

}  // namespace veldan::cli
