#pragma once
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "RgbImage.h"
#include "ViewRenderer.h"

namespace veldan::headsim {

struct CameraConfig {
    std::filesystem::path captureDir;  // empty: pictures are taken but not stored
    std::string subdir;                // optional sub-folder of the capture folder
    bool tmpRename = false;            // write IMG_nnnn.tmp, then rename to IMG_nnnn.JPG
    int aeb = 1;                       // frames per press (automatic exposure bracketing)
    double aebStepEv = 1.0;            // exposure step between bracketed frames, stops
    ViewSpec lens;                     // lens, sensor, orientation, resolution (angles are per shot)
    int quality = 90;                  // JPEG quality
    int writeDelayMs = 0;              // pause between the two halves of a file, real time
};

// The camera on the head. A press of the shutter takes the view at the head's
// angles of that moment; a worker thread renders it and writes the JPEG
// files, so that the bus is never held up by the camera. Files are named
// IMG_0001.JPG, IMG_0002.JPG, ...; numbering continues after the highest
// number already in the folder, and an existing file is never overwritten.
// With AEB each press gives several frames: exposure 0, −step, +step, −2·step,
// +2·step, ... as cameras order their brackets.
class VirtualCamera {
public:
    VirtualCamera(CameraConfig config, std::shared_ptr<const RgbImage> panorama);
    ~VirtualCamera();
    VirtualCamera(const VirtualCamera&) = delete;
    VirtualCamera& operator=(const VirtualCamera&) = delete;

    // One press at the given angles. Returns the press number (from 1), or 0
    // when the camera is disconnected (nothing happens then).
    uint64_t Press(double azimuthDeg, double elevationDeg);

    // Camera state as tethering software reports it: 0 ready, 2 disconnected,
    // 3 busy (taking or writing pictures).
    int Ping();

    // Waits until every frame of the press has been handled. True with the
    // last file written when the press delivered files; false on time-out or
    // when no file came (the camera does not deliver files).
    bool WaitForPress(uint64_t press, std::chrono::milliseconds timeout, std::filesystem::path& lastFile);

    // Ends every WaitForPress at once (false); used when the simulator stops.
    void CancelWaits();

    // Faults.
    void SetDisconnected(bool disconnected) { disconnected_.store(disconnected); }
    bool Disconnected() const { return disconnected_.load(); }
    // A camera that takes pictures but stops delivering the files.
    void SetDelivering(bool delivering) { delivering_.store(delivering); }
    bool Delivering() const { return delivering_.load(); }

    uint64_t Presses() const { return presses_.load(); }
    uint64_t FramesWritten() const { return framesWritten_.load(); }
    uint64_t FramesLost() const { return framesLost_.load(); }
    std::filesystem::path LastFile();
    std::string LastError();
    std::filesystem::path Folder() const { return folder_; }

private:
    struct Shot {
        uint64_t press;
        double azimuth, elevation;
    };
    void WorkerLoop();
    void TakeShot(const Shot& shot);
    bool WriteFile(const RgbImage& image, std::filesystem::path& written);
    std::filesystem::path NextName(const char* extension);

    CameraConfig config_;
    std::shared_ptr<const RgbImage> panorama_;
    std::filesystem::path folder_;
    unsigned nextNumber_ = 1;

    std::mutex lock_;
    std::condition_variable changed_;
    std::deque<Shot> queue_;
    bool working_ = false;
    bool stopping_ = false;
    bool waitsCancelled_ = false;
    uint64_t completedPress_ = 0;
    std::map<uint64_t, std::filesystem::path> delivered_;  // recent presses and their last file
    std::filesystem::path lastFile_;
    std::string lastError_;

    std::atomic<bool> disconnected_{false};
    std::atomic<bool> delivering_{true};
    std::atomic<uint64_t> presses_{0};
    std::atomic<uint64_t> framesWritten_{0};
    std::atomic<uint64_t> framesLost_{0};
    std::thread worker_;
};

// Applies an exposure change in stops to an sRGB-like picture.
void ApplyExposure(RgbImage& image, double ev);

}  // namespace veldan::headsim
