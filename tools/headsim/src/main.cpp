// veldan-headsim: the virtual head on a pseudo-terminal.
#include <pthread.h>
#include <csignal>
#include <cstdio>

#include "HeadSimulator.h"
#include "Options.h"
#include "PictureIo.h"
#include "TestScene.h"

using veldan::headsim::Action;
using veldan::headsim::CommandLine;
using veldan::headsim::HeadSimulator;
using veldan::headsim::MakeTestScene;
using veldan::headsim::ParseCommandLine;
using veldan::headsim::SaveJpeg;
using veldan::headsim::UsageText;

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    CommandLine cl = ParseCommandLine(args);
    switch (cl.action) {
        case Action::Help: std::fputs(UsageText(), stdout); return 0;
        case Action::Fail: std::fprintf(stderr, "veldan-headsim: %s\n", cl.error.c_str()); return 2;
        case Action::WriteScene: {
            std::string error;
            if (!SaveJpeg(cl.sceneOut, MakeTestScene(cl.sceneWidth, cl.sceneHeight), 92, error)) {
                std::fprintf(stderr, "veldan-headsim: %s\n", error.c_str());
                return 1;
            }
            return 0;
        }
        case Action::Run: break;
    }

    // SIGINT and SIGTERM are taken by sigwait below; every thread started
    // from here on inherits the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    HeadSimulator simulator(cl.sim);
    std::string error;
    if (!simulator.Start(error)) {
        std::fprintf(stderr, "veldan-headsim: %s\n", error.c_str());
        return 1;
    }
    std::fprintf(stderr, "veldan-headsim: COM%d is %s, control socket %s\n", cl.sim.com, simulator.LinkPath().c_str(),
                 simulator.SocketPath().c_str());
    std::printf("%s ready\n", simulator.SlavePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    simulator.Stop();
    std::fprintf(stderr, "veldan-headsim: stopped (signal %d)\n", signal);
    return 0;
}
