// veldan capture against the virtual head: a whole run, bad arguments, and
// Ctrl-C in the middle of a run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "TestSupport.h"
#include "VELDANPanoramaProject.h"
#include "VirtualHead.h"

namespace veldan::test {

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
        if (VirtualHead::Program().empty()) GTEST_SKIP() << "veldan-headsim is not built";
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
        ASSERT_EQ(
            RunProgram(VELDAN_TOOL,
                       {"plan", "--focal", "50", "--sensor", "36x24", "--fov", "0:120:-10:10", "-o", project.string()},
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

    TempHome home;
    fs::path docs = home.Dir() / "Documents";
    fs::path captures = home.Dir() / "captures";
    fs::path project = home.Dir() / "pano.vpp";
    fs::path output = home.Dir() / "out.txt";
    VirtualHead head;
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
    EXPECT_EQ(RunProgram(VELDAN_TOOL, {"capture", project.string()}, out), 2);
    EXPECT_EQ(RunProgram(VELDAN_TOOL, {"capture", project.string(), "--com", "0"}, out), 2);
    EXPECT_EQ(RunProgram(VELDAN_TOOL, {"capture", project.string(), "--com", "5", "--mode", "x"}, out), 2);
    EXPECT_EQ(RunProgram(VELDAN_TOOL, {"capture", (home.Dir() / "none.vpp").string(), "--com", "5"}, out), 1);
    // No head on COM200: initialisation fails and the project is untouched.
    const std::string before = ReadFile(project);
    const pid_t pid = Spawn({"capture", project.string(), "--com", "200"});
    EXPECT_EQ(Wait(pid), 1) << ReadFile(output);
    EXPECT_NE(ReadFile(output).find("ERROR: UNABLE TO INITIALIZE DEVICE"), std::string::npos) << ReadFile(output);
    EXPECT_EQ(ReadFile(project), before);
}

namespace {

// The files the saved project names, one per image (empty: none).
std::vector<std::wstring> NamedFiles(VELDANPanoramaProject& p) {
    std::vector<std::wstring> names;
    for (uint32_t t = 0; t < p.TileCount(); ++t)
        for (uint32_t b = 0; b < p.Tile(t)->bracketings.GetItemCount(); ++b)
            for (uint32_t i = 0; i < p.Tile(t)->Bracketing(b)->GetImageCnt(); ++i) {
                const wchar_t* name = p.Tile(t)->Bracketing(b)->GetImage(i)->GetFilename();
                names.push_back(name ? name : L"");
            }
    return names;
}

size_t JpegsIn(const fs::path& folder) {
    size_t n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) n += e.path().extension() == ".JPG" ? 1 : 0;
    return n;
}

}  // namespace

TEST_F(CaptureCommand, FilesEveryImageFromTheCaptureFolderIntoTheProject) {
    VELDANPanoramaProject planned;
    ASSERT_TRUE(planned.LoadFromFile(project.wstring().c_str()));
    const size_t images = NamedFiles(planned).size();
    ASSERT_GT(images, 1u);
    const pid_t pid = Spawn({"capture", project.string(), "--com", std::to_string(kCom), "--mode", "manual",
                             "--capture-dir", captures.string()});
    EXPECT_EQ(Wait(pid), 0) << ReadFile(output);
    const std::string out = ReadFile(output);
    EXPECT_EQ(out.find("needs the capture-folder monitor"), std::string::npos) << out;
    EXPECT_NE(out.find("Starting file system monitoring..."), std::string::npos) << out;
    EXPECT_NE(out.find("Found new image file: "), std::string::npos) << out;
    // Every camera file left the capture folder for the project's folder, and
    // the saved project names each under its image.
    EXPECT_EQ(JpegsIn(captures), 0u) << out;
    EXPECT_EQ(JpegsIn(project.parent_path()), images) << out;
    VELDANPanoramaProject saved;
    ASSERT_TRUE(saved.LoadFromFile(project.wstring().c_str()));
    std::set<std::wstring> distinct;
    for (const std::wstring& name : NamedFiles(saved)) {
        ASSERT_FALSE(name.empty()) << out;
        EXPECT_EQ(fs::path(name).parent_path(), project.parent_path());
        EXPECT_TRUE(fs::is_regular_file(name));
        distinct.insert(name);
    }
    EXPECT_EQ(distinct.size(), images);
}

TEST_F(CaptureCommand, InterruptKeepsTheImagesFiledSoFar) {
    const pid_t pid = Spawn({"capture", project.string(), "--com", std::to_string(kCom), "--mode", "manual",
                             "--capture-dir", captures.string()});
    // Interrupt once at least one file has reached the project folder.
    ASSERT_TRUE(Eventually([&] { return JpegsIn(project.parent_path()) >= 1; })) << ReadFile(output);
    kill(pid, SIGINT);
    EXPECT_EQ(Wait(pid), 130) << ReadFile(output);
    const std::string out = ReadFile(output);
    VELDANPanoramaProject saved;
    ASSERT_TRUE(saved.LoadFromFile(project.wstring().c_str()));
    size_t named = 0;
    for (const std::wstring& name : NamedFiles(saved)) {
        if (name.empty()) continue;
        ++named;
        EXPECT_TRUE(fs::is_regular_file(name)) << out;
    }
    EXPECT_GE(named, 1u) << out;
    // Every file that reached the project folder is named by the project.
    EXPECT_EQ(named, JpegsIn(project.parent_path())) << out;
}

}  // namespace veldan::test
