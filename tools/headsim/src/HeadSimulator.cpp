// HeadSimulator: the terminal, bus, camera and control socket of the virtual
// head, and the socket's commands.
#include "HeadSimulator.h"

#include <cstdio>
#include <sstream>
#include <stdexcept>

#include "PictureIo.h"
#include "TestScene.h"
#include "platform/Folders.h"

namespace veldan::headsim {

namespace fs = std::filesystem;

namespace {
std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Degrees(double value) { return Format("%.4f", value); }

// Rate argument 0..1.
bool ParseRate(const std::string& text, double& rate) {
    try {
        size_t used = 0;
        rate = std::stod(text, &used);
        return used == text.size() && rate >= 0.0 && rate <= 1.0;
    } catch (...) {
        return false;
    }
}

bool ParseNumber(const std::string& text, double& value) {
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

bool ParseAddress(const std::string& text, uint8_t& address) {
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    int value = std::stoi(text);
    if (value > 31) return false;
    address = static_cast<uint8_t>(value);
    return true;
}

bool ParseSwitch(const std::string& text, bool& on) {
    if (text == "on" || text == "1")
        on = true;
    else if (text == "off" || text == "0")
        on = false;
    else
        return false;
    return true;
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

const char* kHelp =
    "OK commands: state, angles, drive ADDR, relays, voltage [V], port, stats, faults, seed N, "
    "clock [pause|resume|advance MS|scale F], camera ping|press|release [S]|wait N [S]|last|files, "
    "fault noise R|drop R|echo-loss R|mute ADDR|unmute ADDR|error ADDR on|off|camera-nofiles on|off|"
    "camera-disconnect on|off|vanish|restore|clear, quit";
}  // namespace

HeadSimulator::HeadSimulator(SimOptions options)
    : options_(std::move(options)), dice_(options_.seed), line_(dice_, options_.baud) {
    clock_.SetScale(options_.timeScale);
    if (options_.clockPaused) clock_.Pause();
}

HeadSimulator::~HeadSimulator() { Stop(); }

fs::path HeadSimulator::LinkPath() const { return PortLink::LinkPath(documents_, options_.com); }

bool HeadSimulator::Start(std::string& error) {
    if (started_) return true;
    documents_ = options_.documents.empty() ? veldan::platform::DocumentsFolder() : options_.documents;
    if (documents_.empty()) {
        error = "no documents folder (set HOME or XDG_DOCUMENTS_DIR)";
        return false;
    }
    if (options_.com < 1 || options_.com > 255) {
        error = "the COM number must be 1..255";
        return false;
    }
    const int relays[] = {options_.shutterRelay, options_.focusRelay};
    for (int r : relays) {
        if (r < 0 || r >= ControlModule::kRelayCount) {
            error = "relay numbers must be 0..9";
            return false;
        }
    }
    try {
        bus_ = std::make_unique<HeadBus>(options_.head, clock_, dice_);
    } catch (const std::invalid_argument& e) {
        error = e.what();
        return false;
    }
    auto panorama = std::make_shared<RgbImage>();
    if (options_.panorama.empty()) {
        *panorama = MakeTestScene(options_.sceneWidth, options_.sceneHeight);
    } else if (!LoadPicture(options_.panorama, *panorama, error)) {
        return false;
    }
    camera_ = std::make_unique<VirtualCamera>(options_.camera, panorama);

    if (!OpenLine(error)) {
        camera_.reset();
        return false;
    }
    socketPath_ = options_.socket.empty() ? documents_ / "VELDANmodular" / "headsim.sock" : options_.socket;
    if (!socket_.Open(
            socketPath_, [this](const std::string& line) { return HandleCommand(line); }, error)) {
        link_.Remove();
        line_.Close();
        camera_.reset();
        return false;
    }
    started_ = true;
    return true;
}

bool HeadSimulator::OpenLine(std::string& error) {
    if (!line_.Open(error)) return false;
    if (!link_.Create(documents_, options_.com, line_.SlavePath(), error)) {
        line_.Close();
        return false;
    }
    decoder_ = FrameDecoder();
    line_.Start([this](const uint8_t* data, size_t size) { OnBytes(data, size); });
    return true;
}

void HeadSimulator::Stop() {
    if (!started_) return;
    started_ = false;
    camera_->CancelWaits();  // a client waiting for a picture must not hold up the stop
    socket_.Close();
    {
        std::lock_guard guard(lineLock_);
        line_.Close();
        link_.Remove();
    }
    camera_.reset();
}

void HeadSimulator::OnBytes(const uint8_t* data, size_t size) {
    decoder_.Feed(data, size);
    while (auto frame = decoder_.Next()) {
        HeadBus::Result result = bus_->Receive(*frame);
        for (const auto& bytes : result.frames) line_.Send(bytes);
        for (const RelayChange& change : result.relays) {
            if (change.address == options_.head.control.address && change.relay == options_.shutterRelay && change.on)
                PressShutter();
        }
    }
}

uint64_t HeadSimulator::PressShutter() {
    HeadBus::Angles angles = bus_->AnglesNow();
    return camera_->Press(angles.horizontal, angles.vertical);
}

void HeadSimulator::Vanish() {
    std::lock_guard guard(lineLock_);
    if (vanished_.load()) return;
    line_.Close();
    link_.Remove();
    vanished_.store(true);
}

bool HeadSimulator::Restore(std::string& error) {
    std::lock_guard guard(lineLock_);
    if (!vanished_.load()) return true;
    if (!OpenLine(error)) return false;
    vanished_.store(false);
    return true;
}

std::string HeadSimulator::StateLine() {
    HeadBus::Angles a = bus_->AnglesNow();
    std::string relays;
    for (bool on : bus_->Relays()) relays += on ? '1' : '0';
    std::ostringstream out;
    out << "OK h=" << Degrees(a.horizontal) << " v=" << Degrees(a.vertical) << " relays=" << relays
        << " presses=" << camera_->Presses() << " files=" << camera_->FramesWritten()
        << " voltage=" << Format("%.2f", bus_->Voltage()) << " camera=" << camera_->Ping()
        << " port=" << (vanished_.load() ? std::string("vanished") : line_.SlavePath());
    return out.str();
}

std::string HeadSimulator::FaultsLine() {
    std::ostringstream out;
    out << "OK noise=" << line_.NoiseRate() << " drop=" << line_.DropRate() << " echo-loss=" << bus_->EchoLossRate()
        << " muted=";
    auto muted = bus_->MutedModules();
    for (size_t i = 0; i < muted.size(); ++i) out << (i ? "," : "") << int(muted[i]);
    if (muted.empty()) out << '-';
    out << " errors=";
    {
        std::lock_guard guard(faultLock_);
        bool first = true;
        for (uint8_t a : errorModules_) out << (first ? "" : ",") << int(a), first = false;
        if (errorModules_.empty()) out << '-';
    }
    out << " camera-nofiles=" << (camera_->Delivering() ? 0 : 1)
        << " camera-disconnect=" << (camera_->Disconnected() ? 1 : 0) << " vanished=" << (vanished_.load() ? 1 : 0);
    return out.str();
}

std::string HeadSimulator::FaultCommand(const std::string& args) {
    auto w = Words(args);
    if (w.empty()) return "ERR fault needs a kind";
    const std::string& kind = w[0];
    double rate = 1.0;
    if (kind == "noise" || kind == "drop" || kind == "echo-loss") {
        if (w.size() > 2 || (w.size() == 2 && !ParseRate(w[1], rate))) return "ERR the rate must be 0..1";
        if (kind == "noise")
            line_.SetNoiseRate(rate);
        else if (kind == "drop")
            line_.SetDropRate(rate);
        else
            bus_->SetEchoLossRate(rate);
        return "OK " + kind + " " + Format("%g", rate);
    }
    if (kind == "mute" || kind == "unmute") {
        uint8_t address;
        if (w.size() != 2 || !ParseAddress(w[1], address)) return "ERR " + kind + " needs a bus address";
        if (!bus_->SetMuted(address, kind == "mute")) return "ERR no module at address " + w[1];
        return "OK " + kind + " " + w[1];
    }
    if (kind == "error") {
        uint8_t address;
        bool on;
        if (w.size() != 3 || !ParseAddress(w[1], address) || !ParseSwitch(w[2], on))
            return "ERR usage: fault error ADDR on|off";
        if (!bus_->SetModuleError(address, on)) return "ERR no module at address " + w[1];
        std::lock_guard guard(faultLock_);
        if (on)
            errorModules_.insert(address);
        else
            errorModules_.erase(address);
        return "OK error " + w[1] + " " + w[2];
    }
    if (kind == "camera-nofiles" || kind == "camera-disconnect") {
        bool on = true;
        if (w.size() > 2 || (w.size() == 2 && !ParseSwitch(w[1], on))) return "ERR usage: fault " + kind + " on|off";
        if (kind == "camera-nofiles")
            camera_->SetDelivering(!on);
        else
            camera_->SetDisconnected(on);
        return "OK " + kind + (on ? " on" : " off");
    }
    if (kind == "vanish") {
        Vanish();
        return "OK vanished";
    }
    if (kind == "restore" || kind == "clear") {
        if (kind == "clear") {
            line_.SetNoiseRate(0);
            line_.SetDropRate(0);
            bus_->SetEchoLossRate(0);
            for (uint8_t a : bus_->MutedModules()) bus_->SetMuted(a, false);
            std::lock_guard guard(faultLock_);
            for (uint8_t a : errorModules_) bus_->SetModuleError(a, false);
            errorModules_.clear();
            camera_->SetDelivering(true);
            camera_->SetDisconnected(false);
        }
        std::string error;
        if (!Restore(error)) return "ERR " + error;
        return "OK " + line_.SlavePath();
    }
    return "ERR unknown fault " + kind;
}

std::string HeadSimulator::CameraCommand(const std::string& args) {
    auto w = Words(args);
    if (w.empty()) return "ERR camera needs a sub-command";
    auto seconds = [&](size_t index, double fallback) {
        double s = fallback;
        if (w.size() > index && (!ParseNumber(w[index], s) || s < 0)) s = -1;
        return s;
    };
    if (w[0] == "ping") return "OK " + std::to_string(camera_->Ping());
    if (w[0] == "press") {
        uint64_t press = PressShutter();
        if (!press) return "ERR 2 camera disconnected";
        return "OK " + std::to_string(press);
    }
    if (w[0] == "release" || w[0] == "wait") {
        uint64_t press = 0;
        double timeout;
        if (w[0] == "release") {
            timeout = seconds(1, 60);
            if (timeout < 0) return "ERR the time-out must be seconds >= 0";
            int state = camera_->Ping();
            if (state != 0) return state == 2 ? "ERR 2 camera disconnected" : "ERR 3 camera busy";
            press = PressShutter();
            if (!press) return "ERR 2 camera disconnected";
        } else {
            if (w.size() < 2) return "ERR usage: camera wait PRESS [SECONDS]";
            try {
                press = std::stoull(w[1]);
            } catch (...) {
                return "ERR bad press number";
            }
            timeout = seconds(2, 60);
            if (timeout < 0) return "ERR the time-out must be seconds >= 0";
        }
        fs::path file;
        if (!camera_->WaitForPress(press, std::chrono::milliseconds(static_cast<int64_t>(timeout * 1000.0)), file))
            return "ERR 4 no picture arrived";
        return "OK " + file.string();
    }
    if (w[0] == "last") {
        fs::path last = camera_->LastFile();
        return "OK " + (last.empty() ? std::string("-") : last.string());
    }
    if (w[0] == "files") return "OK " + std::to_string(camera_->FramesWritten());
    return "ERR unknown camera command " + w[0];
}

std::string HeadSimulator::ClockCommand(const std::string& args) {
    auto w = Words(args);
    double value = 0;
    if (w.empty()) {
    } else if (w[0] == "pause" && w.size() == 1) {
        clock_.Pause();
    } else if (w[0] == "resume" && w.size() == 1) {
        clock_.Resume();
    } else if (w[0] == "advance" && w.size() == 2 && ParseNumber(w[1], value) && value >= 0) {
        clock_.Advance(value);
    } else if (w[0] == "scale" && w.size() == 2 && ParseNumber(w[1], value) && value > 0) {
        clock_.SetScale(value);
    } else {
        return "ERR usage: clock [pause|resume|advance MS|scale F]";
    }
    return "OK " + Format("%.3f", clock_.NowMs()) + " scale=" + Format("%g", clock_.Scale()) +
           " paused=" + (clock_.IsPaused() ? "1" : "0");
}

std::string HeadSimulator::HandleCommand(const std::string& line) {
    auto w = Words(line);
    if (w.empty()) return "ERR empty command";
    const std::string& command = w[0];
    const std::string rest = line.substr(std::min(line.size(), line.find(command) + command.size()));
    if (command == "help") return kHelp;
    if (command == "state") return StateLine();
    if (command == "angles") {
        HeadBus::Angles a = bus_->AnglesNow();
        return "OK " + Degrees(a.horizontal) + " " + Degrees(a.vertical);
    }
    if (command == "drive") {
        uint8_t address;
        DriveState s;
        if (w.size() != 2 || !ParseAddress(w[1], address)) return "ERR usage: drive ADDR";
        if (!bus_->DriveStateNow(address, s)) return "ERR no drive at address " + w[1];
        std::ostringstream out;
        out << "OK angle=" << Degrees(s.angle) << " counter=" << s.counter << " moving=" << s.moving
            << " referencing=" << s.referencing << " target=" << s.target << " speed=" << s.speed
            << " accel=" << s.accelTenths << " hold=" << s.holdPower << " run=" << s.runPower;
        return out.str();
    }
    if (command == "relays") {
        std::string relays;
        for (bool on : bus_->Relays()) relays += on ? '1' : '0';
        return "OK " + relays;
    }
    if (command == "voltage") {
        double volts;
        if (w.size() == 2) {
            if (!ParseNumber(w[1], volts) || volts < 0 || volts > 99) return "ERR the voltage must be 0..99 V";
            bus_->SetVoltage(volts);
        } else if (w.size() > 2) {
            return "ERR usage: voltage [V]";
        }
        return "OK " + Format("%.2f", bus_->Voltage());
    }
    if (command == "port") {
        if (vanished_.load()) return "OK vanished " + LinkPath().string();
        return "OK " + line_.SlavePath() + " " + LinkPath().string();
    }
    if (command == "stats") {
        std::ostringstream out;
        out << "OK rx_bytes=" << line_.BytesIn() << " tx_bytes=" << line_.BytesOut()
            << " rx_frames=" << bus_->FramesReceived() << " tx_frames=" << bus_->FramesSent()
            << " dropped=" << line_.BytesDropped() << " corrupted=" << line_.BytesCorrupted()
            << " echoes_lost=" << bus_->EchoesLost();
        return out.str();
    }
    if (command == "faults") return FaultsLine();
    if (command == "seed") {
        try {
            if (w.size() != 2) throw std::invalid_argument("seed");
            dice_.Seed(std::stoull(w[1]));
        } catch (...) {
            return "ERR usage: seed N";
        }
        return "OK seed " + w[1];
    }
    if (command == "clock") return ClockCommand(rest);
    if (command == "camera") return CameraCommand(rest);
    if (command == "fault") return FaultCommand(rest);
    return "ERR unknown command " + command + " (try help)";
}

}  // namespace veldan::headsim
