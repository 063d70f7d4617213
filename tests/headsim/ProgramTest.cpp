// The real program as a child process, and the DSLR Remote stand-in library.
#include <dlfcn.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "HeadsimTestSupport.h"
#include "PictureIo.h"

extern char** environ;

namespace headsim::test {
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

TEST(Program, HelpAndBadOptions) {
    Child help({"--help"});
    ASSERT_TRUE(help.Started());
    EXPECT_EQ(help.Stop(0), 0);
    std::string text = help.ReadAll();
    for (const char* option : {"--com", "--capture-dir", "--panorama", "--focal", "--sensor", "--orientation",
                               "--resolution", "--baud", "--socket", "--tmp-rename", "--subdir", "--aeb", "--voltage",
                               "--write-scene"})
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
}  // namespace headsim::test
