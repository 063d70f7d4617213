// VirtualCamera: shutter presses, the worker thread rendering and writing the
// JPEG files, and bracketing.
#include "VirtualCamera.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "PictureIo.h"

namespace veldan::headsim {

namespace fs = std::filesystem;

void ApplyExposure(RgbImage& image, double ev) {
    if (ev == 0.0) return;
    std::array<uint8_t, 256> table{};
    const double factor = std::pow(2.0, ev);
    for (int i = 0; i < 256; ++i) {
        double linear = std::pow(i / 255.0, 2.2) * factor;
        table[static_cast<size_t>(i)] =
            static_cast<uint8_t>(std::lround(std::pow(std::fmin(1.0, linear), 1.0 / 2.2) * 255.0));
    }
    for (uint8_t& p : image.pixels) p = table[p];
}

namespace {
// Exposure offset of frame k of a bracket: 0, −1, +1, −2, +2, ... steps.
double BracketOffset(int k, double step) {
    if (k == 0) return 0.0;
    int n = (k + 1) / 2;
    return (k % 2 ? -n : n) * step;
}

unsigned HighestNumber(const fs::path& folder) {
    unsigned highest = 0;
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        // IMG_<4 to 9 digits>.JPG or .tmp, the extension in any case.
        std::string name = it->path().filename().string();
        auto dot = name.rfind('.');
        if (dot == std::string::npos || name.compare(0, 4, "IMG_") != 0) continue;
        std::string digits = name.substr(4, dot - 4);
        std::string ext = name.substr(dot + 1);
        for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        if (digits.size() < 4 || digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos ||
            (ext != "jpg" && ext != "tmp"))
            continue;
        highest = std::max<unsigned>(highest, static_cast<unsigned>(std::stoul(digits)));
    }
    return highest;
}

bool WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes, int delayMs, std::string& error) {
    // O_EXCL: a file that appeared meanwhile is never overwritten.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "cannot create " + path.string() + ": " + std::strerror(errno);
        return false;
    }
    // Two halves, as a camera or tethering program writes in pieces: a
    // watcher that takes a file before it is closed gets half a picture.
    size_t half = bytes.size() / 2;
    size_t done = 0;
    bool ok = true;
    while (done < bytes.size()) {
        size_t end = done < half ? half : bytes.size();
        ssize_t n = ::write(fd, bytes.data() + done, end - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
        if (done == half && delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    }
    if (::close(fd) != 0) ok = false;
    if (!ok) {
        error = "cannot write " + path.string() + ": " + std::strerror(errno);
        std::error_code ec;
        fs::remove(path, ec);
    }
    return ok;
}
}  // namespace

VirtualCamera::VirtualCamera(CameraConfig config, std::shared_ptr<const RgbImage> panorama)
    : config_(std::move(config)), panorama_(std::move(panorama)) {
    if (!config_.captureDir.empty()) {
        folder_ = config_.subdir.empty() ? config_.captureDir : config_.captureDir / config_.subdir;
        std::error_code ec;
        fs::create_directories(folder_, ec);
        nextNumber_ = HighestNumber(folder_) + 1;
    }
    if (config_.aeb < 1) config_.aeb = 1;
    worker_ = std::thread([this] { WorkerLoop(); });
}

VirtualCamera::~VirtualCamera() {
    {
        std::lock_guard guard(lock_);
        stopping_ = true;
        waitsCancelled_ = true;
    }
    changed_.notify_all();
    worker_.join();
}

uint64_t VirtualCamera::Press(double azimuthDeg, double elevationDeg) {
    if (disconnected_.load()) return 0;
    uint64_t press;
    {
        std::lock_guard guard(lock_);
        press = ++presses_;
        queue_.push_back({press, azimuthDeg, elevationDeg});
    }
    changed_.notify_all();
    return press;
}

int VirtualCamera::Ping() {
    if (disconnected_.load()) return 2;
    std::lock_guard guard(lock_);
    return queue_.empty() && !working_ ? 0 : 3;
}

bool VirtualCamera::WaitForPress(uint64_t press, std::chrono::milliseconds timeout, fs::path& lastFile) {
    std::unique_lock guard(lock_);
    auto deadline = std::chrono::steady_clock::now() + timeout;
    if (!changed_.wait_until(guard, deadline, [&] { return completedPress_ >= press || waitsCancelled_; }) ||
        waitsCancelled_)
        return false;
    auto it = delivered_.find(press);
    if (it == delivered_.end()) {
        // The camera took the picture but no file arrives: tethering software
        // waits for it until the time-out.
        changed_.wait_until(guard, deadline, [&] { return waitsCancelled_; });
        return false;
    }
    lastFile = it->second;
    return true;
}

void VirtualCamera::CancelWaits() {
    {
        std::lock_guard guard(lock_);
        waitsCancelled_ = true;
    }
    changed_.notify_all();
}

fs::path VirtualCamera::LastFile() {
    std::lock_guard guard(lock_);
    return lastFile_;
}

std::string VirtualCamera::LastError() {
    std::lock_guard guard(lock_);
    return lastError_;
}

void VirtualCamera::WorkerLoop() {
    for (;;) {
        Shot shot;
        {
            std::unique_lock guard(lock_);
            changed_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            shot = queue_.front();
            queue_.pop_front();
            working_ = true;
        }
        TakeShot(shot);
        {
            std::lock_guard guard(lock_);
            working_ = false;
            completedPress_ = shot.press;
        }
        changed_.notify_all();
    }
}

void VirtualCamera::TakeShot(const Shot& shot) {
    const bool deliver = delivering_.load() && !folder_.empty();
    if (!deliver) {
        framesLost_ += static_cast<uint64_t>(config_.aeb);
        return;
    }
    ViewSpec view = config_.lens;
    view.azimuthDeg = shot.azimuth;
    view.elevationDeg = shot.elevation;
    const RgbImage rendered = RenderView(*panorama_, view);
    for (int k = 0; k < config_.aeb; ++k) {
        RgbImage frame = rendered;
        ApplyExposure(frame, BracketOffset(k, config_.aebStepEv));
        fs::path written;
        if (WriteFile(frame, written)) {
            ++framesWritten_;
            std::lock_guard guard(lock_);
            lastFile_ = written;
            delivered_[shot.press] = written;
            while (delivered_.size() > 256) delivered_.erase(delivered_.begin());
        } else {
            ++framesLost_;
        }
    }
}

fs::path VirtualCamera::NextName(const char* extension) {
    for (;;) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04u", nextNumber_);
        fs::path final = folder_ / (std::string(name) + ".JPG");
        fs::path temporary = folder_ / (std::string(name) + ".tmp");
        std::error_code ec;
        if (!fs::exists(final, ec) && !fs::exists(temporary, ec)) return folder_ / (std::string(name) + extension);
        ++nextNumber_;
    }
}

bool VirtualCamera::WriteFile(const RgbImage& image, fs::path& written) {
    std::string error;
    std::vector<uint8_t> jpeg;
    if (!EncodeJpeg(image, config_.quality, jpeg, error)) {
        std::lock_guard guard(lock_);
        lastError_ = error;
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder_, ec);  // the user may have removed it
    fs::path target = NextName(".JPG");
    fs::path first = config_.tmpRename ? NextName(".tmp") : target;
    ++nextNumber_;
    bool ok = WriteBytes(first, jpeg, config_.writeDelayMs, error);
    if (ok && config_.tmpRename) {
        // No replacing: a file of that name that appeared meanwhile is kept.
        if (::renameat2(AT_FDCWD, first.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) != 0) {
            error = "cannot rename " + first.string() + ": " + std::strerror(errno);
            fs::remove(first, ec);
            ok = false;
        }
    }
    if (!ok) {
        std::lock_guard guard(lock_);
        lastError_ = error;
        return false;
    }
    written = target;
    return true;
}

}  // namespace veldan::headsim
