// veldan capture: shoots a project on the head without a screen, with the
// same head control and capture run as the desktop program. The head
// control's window and the log window are message queues that this loop
// empties; Ctrl-C cancels the run, returns the head to 0°/0°, saves the
// project and switches the head off. The capture-folder monitor runs with
// the head and files each image the camera writes into the capture folder
// (--capture-dir) into the project folder; the project is saved as images
// are filed.
#include <stdlib.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "Arguments.h"
#include "Commands.h"
#include "ConsoleMonitorUi.h"
#include "VELDANPanoramaProject.h"
#include "platform/Profile.h"
#include "platform/Text.h"
#include "platform/Window.h"
#include "preview/DocumentList.h"
#include "preview/HeadFolderMonitor.h"
#include "preview/LogText.h"
#include "preview/VELDANpreviewDoc.h"
#include "preview/VRHeadControl.h"

namespace veldan::cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;
extern "C" void OnInterrupt(int) { g_interrupted = 1; }

constexpr int kExitInterrupted = 130;

void PrintLog(MessageQueueWindow& logWindow) {
  Message m;
  while (logWindow.GetMessage(m, 0)) {
    if (m.message != preview::WM_LOG_TEXT) continue;
    std::wstring text = preview::TakeLogText(m.wParam).get();
    // The library writes some lines in pieces ("Opening ... " and "OK\n");
    // a text that ends a sentence of its own gets its line break here.
    if (!text.empty() && text.back() != L'\n' && text.back() != L' ' && !text.ends_with(L"..."))
      text += L'\n';
    std::fputs(ToUtf8(text).c_str(), stdout);
  }
  std::fflush(stdout);
}

// The monitor reads its capture folder from a profile. This run's folder
// goes into a profile of its own in a temporary directory, which leaves the
// user's stored settings untouched; it is removed at the end.
class RunProfile {
public:
  bool Create(const std::filesystem::path& captureDirectory, std::string& error) {
    std::string pattern = (std::filesystem::temp_directory_path() / "veldan-capture-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
      error = "cannot create a temporary folder for the run's settings";
      return false;
    }
    dir_ = pattern;
    profile_ = std::make_unique<Profile>(dir_ / "capture.ini");
    if (!captureDirectory.empty() &&
        !profile_->WriteString(L"settings", L"CAPTURE_DIRECTORY",
                               std::filesystem::absolute(captureDirectory).wstring())) {
      error = "cannot write the run's settings";
      return false;
    }
    return true;
  }
  ~RunProfile() {
    profile_.reset();
    std::error_code ec;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, ec);
  }
  Profile& Get() { return *profile_; }

private:
  std::filesystem::path dir_;
  std::unique_ptr<Profile> profile_;
};

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

  MessageQueueWindow headWindow, logWindow, viewWindow;
  preview::SetLogWindow(logWindow.Handle());
  preview::HeadControlOptions options;
  options.extraSwitches = {L"-o", L"port=" + std::to_wstring(port)};
  RunProfile runProfile;
  if (!runProfile.Create(captureDir, error)) return Fail(kExitFailure, error);
  ConsoleMonitorUi monitorUi;
  // Declared before the head control, which stops it and goes first.
  preview::HeadFolderMonitor monitor(monitorUi, runProfile.Get());
  preview::CVRHeadControl head(documents, options);
  head.SetWindow(headWindow.Handle());
  head.SetMonitor(&monitor);

  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);

  auto save = [&] {
    std::string saveError;
    if (!doc.OnSaveDocument(path, &saveError)) std::fprintf(stderr, "veldan: %s\n", saveError.c_str());
  };
  enum class Phase { Starting, Capturing, Stopping, Done } phase = Phase::Starting;
  bool failed = false;
  bool cancelled = false;
  head.OnOnOff();
  bool sawStart = false;
  while (phase != Phase::Done) {
    Message m;
    if (headWindow.GetMessage(m, 50)) {
      // The start thread posts a refresh once it left Off: a start that
      // fails at once is seen even when the loop never samples Starting.
      if (m.message == preview::WM_HEAD_REFRESH) sawStart = true;
      head.HandleMessage(m);
    }
    bool tileChanged = false;
    while (viewWindow.GetMessage(m, 0)) tileChanged |= m.message == preview::WM_TILE_CHANGED;
    PrintLog(logWindow);
    // A shooting mark or a filed image: the project on disk follows.
    if (tileChanged) save();
    const preview::HeadState state = head.State();
    if (state != preview::HeadState::Off) sawStart = true;
    if (g_interrupted && !cancelled) {
      cancelled = true;
      if (phase == Phase::Capturing) head.OnStop();
    }
    switch (phase) {
      case Phase::Starting:
        if (sawStart && state == preview::HeadState::Off) {
          failed = true;
          phase = Phase::Done;
        } else if (state == preview::HeadState::Ready) {
          if (cancelled) {
            head.OnOnOff();
            phase = Phase::Stopping;
            break;
          }
          preview::HeadView view{viewWindow.Handle(), &doc};
          head.SetView(&view);
          head.OnStart();
          phase = Phase::Capturing;
        }
        break;
      case Phase::Capturing:
        if (state == preview::HeadState::Ready) {
          head.JoinWorkers();
          // The run ends with the move back to 0/0 under way; switching
          // off now would halt it.
          if (preview::ControlHandle h = head.Handle()) head.Entries().op_wait(h, -1);
          save();
          head.OnOnOff();
          phase = Phase::Stopping;
        }
        break;
      case Phase::Stopping:
        if (state == preview::HeadState::Off) phase = Phase::Done;
        break;
      case Phase::Done:
        break;
    }
  }
  head.JoinWorkers();
  PrintLog(logWindow);
  {
    // Images the monitor filed while the head was switched off.
    bool tileChanged = false;
    Message m;
    while (viewWindow.GetMessage(m, 0)) tileChanged |= m.message == preview::WM_TILE_CHANGED;
    if (tileChanged && !failed) save();
  }
  preview::SetLogWindow(nullptr);
  if (failed) return Fail(kExitFailure, "the head could not be initialised");
  return cancelled ? kExitInterrupted : kExitOk;
}

}  // namespace veldan::cli
