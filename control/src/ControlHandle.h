#pragma once
// The record behind a ControlHandle: one initialisation of the head.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "Output.h"
#include "StatusWord.h"
#include "VELDANcontrol.h"
#include "platform/Event.h"
#include "platform/Window.h"

class CVeldanConfig;
class CPelkorEnclosure;

struct VELDANcontrolRecord {
    VELDANcontrolRecord();
    ~VELDANcontrolRecord();
    VELDANcontrolRecord(const VELDANcontrolRecord&) = delete;
    VELDANcontrolRecord& operator=(const VELDANcontrolRecord&) = delete;

    // Start switches that outlive one parse.
    std::atomic<bool> stay{false};    // "-n": leave the head where it is at shutdown
    std::atomic<bool> noPark{false};  // "-p": vertical drive to its reference, not its parking position
    std::atomic<bool> verbose{false};
    std::atomic<bool> quiet{false};
    std::atomic<bool> forwardNotifications{false};

    std::atomic<veldan::platform::HWND> mainWindow{nullptr};
    veldan::control::StatusBits status{mainWindow};

    veldan::platform::Event breakEvent{true};
    veldan::platform::Event resumeEvent{true};
    veldan::platform::Event abortEvent{true};

    // The asynchronous runner: the marker is set while a runner thread
    // executes a script; the thread object is joined before another starts
    // and before the handle's contents go.
    std::atomic<bool> runnerMarker{false};
    std::thread runnerThread;
    std::mutex runnerLock;
    // Index from which the next pass of an endless run continues.
    std::atomic<int> endlessIndex{0};
    // Set when the handle closes: an endless run ends instead of starting
    // its next pass.
    std::atomic<bool> stopRunner{false};
    // Serialises the caller's break, resume and abort requests with the end
    // of a run, so that a request accepted while the run was active never
    // outlives it.
    std::mutex requestLock;

    veldan::control::Output output;
    std::atomic<uint64_t> lastReleaseTick{0};

    std::unique_ptr<CVeldanConfig> config;
    std::unique_ptr<CPelkorEnclosure> enclosure;

    // Helpers for the library's fixed message texts.
    bool Verbose() const { return verbose.load(); }
    bool Quiet() const { return quiet.load(); }
    template <typename... Args>
    void Write(const wchar_t* format, Args... args) const {
        output.Write(format, args...);
    }
    template <typename... Args>
    void WriteVerbose(const wchar_t* format, Args... args) const {
        if (Verbose()) output.Write(format, args...);
    }
    template <typename... Args>
    void WriteUnlessQuiet(const wchar_t* format, Args... args) const {
        if (!Quiet()) output.Write(format, args...);
    }

    bool Ready() const { return status.HasHigh(veldan::control::kHighReady); }
    bool Busy() const { return status.HasHigh(veldan::control::kHighBusy); }
    bool Running() const { return runnerMarker.load() || status.HasLow(veldan::control::kLowRunning); }

    // Waits for a finished or finishing runner thread to end.
    void JoinRunner();
};

namespace veldan::control {

// Creates the record with configuration, enclosure and events, and chooses
// the output function (log file when "VELDANcontrol.log" exists in the
// current folder, else the console). Null when anything cannot be created.
ControlHandle CreateHandle();
// Stops a runner, deletes configuration and enclosure (closing the bus) and
// frees the record.
void DestroyHandle(ControlHandle handle);

}  // namespace veldan::control
