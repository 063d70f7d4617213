// The real program as a child process, and the DSLR Remote stand-in library.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>

#include "HeadsimTestSupport.h"
#include "Options.h"
#include "PictureIo.h"
#include "PortLink.h"

extern char** environ;

namespace veldan::test {

using namespace veldan::headsim;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// veldan-headsim started with the given arguments; its standard output is read
// through a pipe.
class Child {
public:
    explicit Child(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
        std::vector<std::string> all{HEADSIM_PROGRAM};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (auto& a : all) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, HEADSIM_PROGRAM, &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~Child() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }
    // The first line of standard output, or "" when none comes in time.
    std::string ReadLine(std::chrono::milliseconds timeout = 20000ms) {
        std::string line;
        auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline) {
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0) continue;
            char c;
            if (::read(out_, &c, 1) != 1) break;
            if (c == '\n') return line;
            line += c;
        }
        return {};
    }
    std::string ReadAll() {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(out_, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
        return text;
    }
    // Exit code after a signal (or by itself); -1 when it does not end in time.
    int Stop(int signal, std::chrono::milliseconds timeout = 10000ms) {
        if (signal) ::kill(pid_, signal);
        int status = 0;
        bool ended = WaitFor([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
};

// The DSLR Remote stand-in, loaded as the program loads it.
struct DslrLibrary {
    DslrLibrary() {
        handle = ::dlopen(HEADSIM_DSLR_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        ping = reinterpret_cast<int (*)()>(::dlsym(handle, "PingCamera"));
        release = reinterpret_cast<int (*)(int, char*, int)>(::dlsym(handle, "ReleaseShutter"));
    }
    ~DslrLibrary() {
        if (handle) ::dlclose(handle);
    }
    void* handle = nullptr;
    int (*ping)() = nullptr;
    int (*release)(int, char*, int) = nullptr;
};

TEST(CommandLine, OptionsReachTheSimulator) {
    CommandLine cl = ParseCommandLine({"--com",
                                       "9",
                                       "--capture-dir",
                                       "/tmp/cap",
                                       "--subdir",
                                       "DCIM/100",
                                       "--tmp-rename",
                                       "--aeb",
                                       "5",
                                       "--focal",
                                       "24",
                                       "--sensor",
                                       "23.5x15.6",
                                       "--orientation",
                                       "portrait",
                                       "--resolution",
                                       "600x400",
                                       "--baud",
                                       "19200",
                                       "--voltage",
                                       "11.1",
                                       "--h-addr",
                                       "4",
                                       "--socket",
                                       "/tmp/s.sock"});
    ASSERT_EQ(cl.action, Action::Run) << cl.error;
    EXPECT_EQ(cl.sim.com, 9);
    EXPECT_EQ(cl.sim.camera.subdir, "DCIM/100");
    EXPECT_TRUE(cl.sim.camera.tmpRename);
    EXPECT_EQ(cl.sim.camera.aeb, 5);
    EXPECT_EQ(cl.sim.camera.lens.focalMm, 24.0);
    EXPECT_EQ(cl.sim.camera.lens.sensorWidthMm, 23.5);
    EXPECT_EQ(cl.sim.camera.lens.sensorHeightMm, 15.6);
    EXPECT_TRUE(cl.sim.camera.lens.portrait);
    EXPECT_EQ(cl.sim.camera.lens.width, 600);
    EXPECT_EQ(cl.sim.baud, 19200);
    EXPECT_EQ(cl.sim.head.control.voltage, 11.1);
    EXPECT_EQ(cl.sim.head.horizontal.address, 4);
    EXPECT_EQ(cl.sim.socket, "/tmp/s.sock");
    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"--com", "256"},
                                                                              {"--com", "3", "--subdir", "../up"},
                                                                              {"--com", "3", "--subdir", "/abs"},
                                                                              {"--com", "3", "--aeb", "0"},
                                                                              {"--com", "3", "--sensor", "36"},
                                                                              {"--com", "3", "--orientation", "up"},
                                                                              {"--com", "3", "--resolution", "1x1"},
                                                                              {"--com", "3", "--h-addr", "32"},
                                                                              {"--com"},
                                                                              {"--com", "3", "--time-scale", "0"}})
        EXPECT_EQ(ParseCommandLine(bad).action, Action::Fail) << bad.back();
    EXPECT_EQ(ParseCommandLine({"--write-scene", "x.jpg"}).action, Action::WriteScene);
    EXPECT_EQ(ParseCommandLine({"--write-scene", "dir.v2/X.JPEG"}).action, Action::WriteScene);
    // The scene is JPEG; names that promise another format are refused, not
    // silently filled with JPEG bytes.
    for (const char* name : {"x.png", "x", "dir.jpg/x", "x.jpg.tif"}) {
        const CommandLine cl = ParseCommandLine({"--write-scene", name});
        EXPECT_EQ(cl.action, Action::Fail) << name;
        EXPECT_NE(cl.error.find("JPEG"), std::string::npos) << cl.error;
    }
}

TEST(Program, HelpAndBadOptions) {
    Child help({"--help"});
    ASSERT_TRUE(help.Started());
    EXPECT_EQ(help.Stop(0), 0);
    std::string text = help.ReadAll();
    for (const char* option :
         {"--com", "--capture-dir", "--panorama", "--focal", "--sensor", "--orientation", "--resolution", "--baud",
          "--socket", "--tmp-rename", "--subdir", "--aeb", "--voltage", "--write-scene"})
        EXPECT_NE(text.find(option), std::string::npos) << option;
    Child bad({"--com", "0"});
    EXPECT_EQ(bad.Stop(0), 2);
    Child unknown({"--com", "3", "--frobnicate"});
    EXPECT_EQ(unknown.Stop(0), 2);
    Child missing({"--capture-dir", "/tmp"});
    EXPECT_EQ(missing.Stop(0), 2);
}

TEST(Program, RunsLinksFiresThroughTheDslrLibraryAndCleansUpOnSigterm) {
    TempHome home;
    DslrLibrary dslr;
    ASSERT_TRUE(dslr.handle && dslr.ping && dslr.release) << ::dlerror();
    fs::path socket = home.Root() / "sim.sock";
    ::setenv("VELDAN_HEADSIM_SOCKET", socket.c_str(), 1);
    EXPECT_EQ(dslr.ping(), 1);  // no virtual head yet: "not running"

    Child child({"--com", "12", "--capture-dir", home.Capture().string(), "--socket", socket.string(), "--resolution",
                 "240x160", "--scene-size", "720x360", "--orientation", "portrait", "--voltage", "11.5"});
    ASSERT_TRUE(child.Started());
    std::string line = child.ReadLine();
    ASSERT_EQ(line.size() > 6 ? line.substr(line.size() - 6) : line, " ready") << line;
    std::string terminal = line.substr(0, line.size() - 6);
    fs::path link = home.Documents() / "VELDANmodular" / "ports" / "COM12";
    ASSERT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::read_symlink(link).string(), terminal);

    RawTerminal term(link);
    ASSERT_TRUE(term.IsOpen());
    auto frames = term.Ask(3, "x");
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[1].payload, "x1150");

    EXPECT_EQ(dslr.ping(), 0);
    char name[512];
    ASSERT_EQ(dslr.release(20, name, sizeof name), 0);
    fs::path expected = home.Capture() / "IMG_0001.JPG";
    EXPECT_EQ(std::string(name), expected.string());
    ASSERT_TRUE(fs::exists(expected));
    // Portrait is stored in the sensor's raster: 240 × 160.
    RgbImage shot;
    std::string error;
    ASSERT_TRUE(LoadPicture(expected, shot, error)) << error;
    EXPECT_EQ(shot.width, 240);
    EXPECT_EQ(shot.height, 160);
    // A small buffer gets a terminated, cut name; a null buffer nothing.
    char tiny[5];
    ASSERT_EQ(dslr.release(20, tiny, sizeof tiny), 0);
    EXPECT_EQ(std::string(tiny), expected.string().substr(0, 4));
    ASSERT_EQ(dslr.release(20, nullptr, 0), 0);
    ControlClient control(socket);
    EXPECT_EQ(Field(control.Ask("state"), "files"), "3");
    control.Ask("fault camera-disconnect on");
    EXPECT_EQ(dslr.ping(), 2);
    EXPECT_EQ(dslr.release(1, name, sizeof name), 2);

    EXPECT_EQ(child.Stop(SIGTERM), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_FALSE(fs::exists(fs::symlink_status(socket)));
    EXPECT_EQ(dslr.ping(), 1);
    ::unsetenv("VELDAN_HEADSIM_SOCKET");
}

TEST(Program, SigintStopsItTooAndASecondHeadOnTheSameSocketIsRefused) {
    TempHome home;
    Child first({"--com", "4", "--scene-size", "360x180"});
    ASSERT_TRUE(first.Started());
    ASSERT_NE(first.ReadLine(), "");
    fs::path link = home.Documents() / "VELDANmodular" / "ports" / "COM4";
    ASSERT_TRUE(fs::is_symlink(link));
    // The default socket is taken: a second head on another port says so.
    Child second({"--com", "6", "--scene-size", "360x180"});
    EXPECT_EQ(second.Stop(0), 1);
    EXPECT_TRUE(fs::is_symlink(link));  // the first head's link survives
    EXPECT_FALSE(fs::exists(fs::symlink_status(home.Documents() / "VELDANmodular" / "ports" / "COM6")));
    EXPECT_EQ(first.Stop(SIGINT), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

TEST(PortLink, ReplacesStaleLinksOnlyAndRemovesOnlyItsOwn) {
    TempHome home;
    fs::path link = PortLink::LinkPath(home.Documents(), 8);
    fs::create_directories(link.parent_path());
    fs::create_symlink("/dev/pts/does-not-exist", link);  // left by a killed simulator
    std::string error;
    {
        PortLink ours;
        ASSERT_TRUE(ours.Create(home.Documents(), 8, "/dev/null", error)) << error;
        EXPECT_EQ(fs::read_symlink(link), "/dev/null");
        // Someone else links the port meanwhile: leaving does not take that away.
        fs::remove(link);
        fs::create_symlink("/dev/zero", link);
    }
    EXPECT_EQ(fs::read_symlink(link), "/dev/zero");
    fs::remove(link);
    { std::ofstream(link) << "a user's file"; }
    PortLink refused;
    EXPECT_FALSE(refused.Create(home.Documents(), 8, "/dev/null", error));
    EXPECT_NE(error.find("not a link"), std::string::npos) << error;
    EXPECT_TRUE(fs::is_regular_file(link));
    EXPECT_FALSE(refused.Create(home.Documents(), 256, "/dev/null", error));
}

TEST(Program, BadPanoramaIsAClearError) {
    TempHome home;
    fs::path bad = home.Root() / "broken.jpg";
    { std::ofstream(bad) << "this is not a picture"; }
    Child child({"--com", "3", "--panorama", bad.string()});
    EXPECT_EQ(child.Stop(0), 1);
    EXPECT_FALSE(fs::exists(fs::symlink_status(home.Documents() / "VELDANmodular" / "ports" / "COM3")));
    Child missing({"--com", "3", "--panorama", (home.Root() / "none.jpg").string()});
    EXPECT_EQ(missing.Stop(0), 1);
}

TEST(Program, WritesTheTestScene) {
    TempHome home;
    fs::path out = home.Root() / "scene.jpg";
    Child writer({"--write-scene", out.string(), "--size", "400x200"});
    EXPECT_EQ(writer.Stop(0), 0);
    RgbImage scene;
    std::string error;
    ASSERT_TRUE(LoadPicture(out, scene, error)) << error;
    EXPECT_EQ(scene.width, 400);
    EXPECT_EQ(scene.height, 200);
    // Distinct colours per direction: red-ish at 0°, green-ish at 120°, blue-ish at 240°.
    auto at = [&](double az) { return scene.At(static_cast<int>(az / 360.0 * 400) + 3, 60); };
    EXPECT_GT(at(0)[0], at(0)[2]);
    EXPECT_GT(at(120)[1], at(120)[0]);
    EXPECT_GT(at(240)[2], at(240)[1]);
}

}  // namespace
}  // namespace veldan::test
