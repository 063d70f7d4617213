// One capture run of 24 tiles (3 rows of 8, one image each, manual shutter)
// through the head control on the virtual head at real motion speed and
// without byte timing, with the shortest waits (pre-shot 0, recover 0,
// exposure 1/1000, so every shot holds the described minimum of 100 ms).
//
// Prints the total time of the run, the sum of the configured waits, the
// time the simulated drives were moving (sampled over the control socket
// every 5 ms), and what remains per tile: the control path's overhead,
// mostly the drives' end-of-move detection (position polled every 500 ms,
// two equal answers) and the waits for an idle bus.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "VELDANPanoramaProject.h"
#include "VirtualHead.h"
#include "platform/Window.h"
#include "preview/document/DocumentList.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/head/VRHeadControl.h"

namespace fs = std::filesystem;
using namespace veldan::preview;
using Clock = std::chrono::steady_clock;

int main() {
    char pattern[] = "/tmp/bench-capture-XXXXXX";
    const fs::path root = mkdtemp(pattern);
    const fs::path docs = root / "Documents";
    fs::create_directories(docs / "VELDANmodular");
    setenv("HOME", root.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", docs.c_str(), 1);
    std::ofstream(docs / "VELDANmodular" / "settings.cfg")
        << "port = 59\nmax_device_id = 2\nhorizontal_drive = 0\nvertical_drive = 1\ncontrol_module = 2\n"
           "shutter_module = 2\nshutter_relay = 1\npreshot_module = 2\npreshot_relay = 0\n";
    veldan::test::VirtualHead head;
    std::string error;
    if (!head.Start(59, docs, {"--h-addr", "0", "--v-addr", "1", "--ctrl-addr", "2"}, error)) {
        std::fprintf(stderr, "virtual head: %s\n", error.c_str());
        return 1;
    }

    DocumentList documents;
    CVELDANpreviewDoc doc(documents);
    VELDANPanoramaProject& project = doc.Project();
    int tileNr = 0;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 8; ++col) {
            auto* tile = new VELDANPanoramaTile();
            tile->pos_x = (row % 2 ? 7 - col : col) * 45.0;
            tile->pos_y = -30.0 + row * 30.0;
            auto* bracketing = new VELDANPanoramaBracketing();
            bracketing->SetImageCnt(1);
            bracketing->GetImage(0);
            tile->bracketings.AddItem(bracketing, 0, true);
            project.AppendTile(tile);
            project.path.Append(tileNr++);
        }

    veldan::platform::MessageQueueWindow window, view;
    CVRHeadControl control(documents);
    control.SetWindow(window.Handle());
    auto pump = [&](auto done) {
        veldan::platform::Message m;
        while (!done())
            if (window.GetMessage(m, 10)) control.HandleMessage(m);
    };
    control.OnOnOff();
    pump([&] { return control.State() == HeadState::Ready && control.Handle(); });
    control.OnRecoverText(L"0");
    control.OnPreshotText(L"0");
    control.OnExposureText(L"1/1000");
    control.Entries().go_to(control.Handle(), 0, 0);  // homed before the clock starts
    HeadView bound{view.Handle(), &doc};
    control.SetView(&bound);

    std::atomic<bool> sampling{true};
    std::atomic<long> movingMs{0};
    std::thread sampler([&] {
        auto last = Clock::now();
        while (sampling) {
            const bool moving = head.Command("drive 0").find("moving=1") != std::string::npos ||
                                head.Command("drive 1").find("moving=1") != std::string::npos;
            const auto now = Clock::now();
            if (moving) movingMs += std::chrono::duration_cast<std::chrono::milliseconds>(now - last).count();
            last = now;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    const auto begin = Clock::now();
    control.OnStart();
    pump([&] { return control.State() == HeadState::Ready; });
    control.JoinWorkers();
    const double total = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    sampling = false;
    sampler.join();
    const int presses = std::atoi(head.StateValue("presses").c_str());
    const double waits = 24 * 100.0;  // P 0 + R 0 + max(100, 1 ms) per image
    const double moving = static_cast<double>(movingMs.load());
    std::printf("tiles %d, shots %d\n", tileNr, presses);
    std::printf("total run            %8.0f ms\n", total);
    std::printf("configured waits     %8.0f ms\n", waits);
    std::printf("head moving          %8.0f ms (sampled)\n", moving);
    std::printf("overhead per tile    %8.0f ms\n", (total - waits - moving) / tileNr);
    control.Queue().Clear();
    control.OnOnOff();
    pump([&] { return control.State() == HeadState::Off; });
    control.JoinWorkers();
    head.Stop();
    std::error_code ec;
    fs::remove_all(root, ec);
    return presses == tileNr ? 0 : 1;
}
