// veldan capture against the virtual head: a whole run, bad arguments, and
// Ctrl-C in the middle of a run.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "VirtualHead.h"

namespace fs = std::filesystem;

namespace {

constexpr int kCom = 63;

std::string ReadFile(const fs::path& f) {
  std::ifstream in(f);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

template <typename P>
bool Eventually(P predicate, int timeoutMs = 30000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class CaptureCommand : public ::testing::Test {
protected:
  void SetUp() override {
    if (veldan_test::VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
    fs::create_directories(docs / "VELDANmodular");
    fs::create_directories(captures);
    std::ofstream(docs / "VELDANmodular" / "settings.cfg")
        << "port = 1\nmax_device_id = 2\nhorizontal_drive = 0\nvertical_drive = 1\ncontrol_module = 2\n"
           "shutter_module = 2\nshutter_relay = 1\npreshot_module = 2\npreshot_relay = 0\n";
    std::string error;
    ASSERT_TRUE(head.Start(kCom, docs,
                           {"--h-addr", "0", "--v-addr", "1", "--ctrl-addr", "2", "--time-scale", "10",
                            "--capture-dir", captures.string(), "--resolution", "150x100"},
                           error))
        << error;
    std::string out;
    ASSERT_EQ(veldan_test::RunProgram(VELDAN_TOOL,
                                      {"plan", "--focal", "50", "--sensor", "36x24", "--fov", "0:120:-10:10", "-o",
                                       project.string()},
                                      out),
              0)
        << out;
  }
  void TearDown() override { head.Stop(); }

  // Starts the tool with its output in a file.
  pid_t Spawn(const std::vector<std::string>& args) {
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 1);
      dup2(fd, 2);
      std::vector<char*> argv;
      std::string tool = VELDAN_TOOL;
      argv.push_back(tool.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(tool.c_str(), argv.data());
      _exit(127);
    }
    return pid;
  }
  int Wait(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int Presses() { return std::atoi(head.StateValue("presses").c_str()); }
  bool HeadHome() {
    double h = 0, v = 0;
    if (!head.Angles(h, v)) return false;
    const double dh = std::fmod(std::fabs(h), 360.0);
    return std::min(dh, 360.0 - dh) < 0.1 && std::fabs(v) < 0.1;
  }

  projecttest::TempHome home;
  fs::path docs = home.Dir() / "Documents";
  fs::path captures = home.Dir() / "captures";
  fs::path project = home.Dir() / "pano.vpp";
  fs::path output = home.Dir() / "out.txt";
  veldan_test::VirtualHead head;
};

}  // namespace

TEST_F(CaptureCommand, ShootsEveryTileAndSwitchesOff) {
  VELDANPanoramaProject planned;
  ASSERT_TRUE(planned.LoadFromFile(project.wstring().c_str()));
  const int tiles = static_cast<int>(planned.TileCount());
  ASSERT_GT(tiles, 1);
  const pid_t pid = Spawn({"capture", project.string(), "--com", std::to_string(kCom)});
  EXPECT_EQ(Wait(pid), 0) << ReadFile(output);
  const std::string out = ReadFile(output);
  EXPECT_EQ(Presses(), tiles) << out;
  EXPECT_NE(out.find("Initializing VELDAN VR Head.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("Shutter is in manual mode...\n"), std::string::npos);
  EXPECT_NE(out.find("Uninitializing VELDAN VR Head."), std::string::npos);
  // The tool waits for the return move before it switches off.
  EXPECT_TRUE(HeadHome()) << head.Command("angles");
  VELDANPanoramaProject saved;
  EXPECT_TRUE(saved.LoadFromFile(project.wstring().c_str()));
  EXPECT_EQ(saved.TileCount(), planned.TileCount());
}

TEST_F(CaptureCommand, InterruptCancelsReturnsHomeAndSaves) {
  const pid_t pid = Spawn({"capture", project.string(), "--com", std::to_string(kCom), "--mode", "manual"});
  ASSERT_TRUE(Eventually([&] { return Presses() >= 1; })) << ReadFile(output);
  kill(pid, SIGINT);
  EXPECT_EQ(Wait(pid), 130) << ReadFile(output);
  const std::string out = ReadFile(output);
  EXPECT_NE(out.find("Uninitializing VELDAN VR Head."), std::string::npos) << out;
  EXPECT_TRUE(HeadHome()) << head.Command("angles");
  EXPECT_EQ(head.StateValue("relays").substr(0, 2), "00");  // shutter and focus released
  VELDANPanoramaProject saved;
  EXPECT_TRUE(saved.LoadFromFile(project.wstring().c_str()));
}

TEST_F(CaptureCommand, RefusesBadArgumentsAndAMissingHead) {
  std::string out;
  EXPECT_EQ(veldan_test::RunProgram(VELDAN_TOOL, {"capture", project.string()}, out), 2);
  EXPECT_EQ(veldan_test::RunProgram(VELDAN_TOOL, {"capture", project.string(), "--com", "0"}, out), 2);
  EXPECT_EQ(veldan_test::RunProgram(VELDAN_TOOL, {"capture", project.string(), "--com", "5", "--mode", "x"}, out), 2);
  EXPECT_EQ(veldan_test::RunProgram(VELDAN_TOOL, {"capture", (home.Dir() / "none.vpp").string(), "--com", "5"}, out),
            1);
  // No head on COM200: initialisation fails and the project is untouched.
  const std::string before = ReadFile(project);
  const pid_t pid = Spawn({"capture", project.string(), "--com", "200"});
  EXPECT_EQ(Wait(pid), 1) << ReadFile(output);
  EXPECT_NE(ReadFile(output).find("ERROR: UNABLE TO INITIALIZE DEVICE"), std::string::npos) << ReadFile(output);
  EXPECT_EQ(ReadFile(project), before);
}
