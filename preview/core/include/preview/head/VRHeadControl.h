#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/Profile.h"
#include "platform/Window.h"
#include "preview/app/WindowMessages.h"
#include "preview/capture/CaptureQueue.h"
#include "preview/capture/DslrRemote.h"
#include "preview/document/DocumentList.h"
#include "preview/head/ControlLibrary.h"
#include "preview/head/HeadState.h"

class VELDANPanoramaTile;
class VELDANPanoramaBracketing;

namespace veldan::preview {

constexpr platform::UINT WM_DEVICE_STATE = platform::WM_APP + 1;     // from the bus driver
constexpr platform::UINT WM_CONTROL_STATUS = platform::WM_APP + 10;  // from the control library
constexpr unsigned kOnOffTimer = 4096;

class CVRHeadControl;

// The seam of the capture-folder monitor. Start runs the monitor thread for
// one switched-on head: the thread holds head.MonitorLock() for its whole
// life, files the entries of head.Queue() and ends when
// head.MonitorStopEvent() is set; Start returns once the thread holds the
// lock. Join is called after the stop event was set and the lock passed.
class HeadMonitor {
public:
    virtual ~HeadMonitor() = default;
    virtual void Start(CVRHeadControl& head) = 0;
    virtual void Join() = 0;
};

// The preview view bound to the head: its window receives WM_TILE_CHANGED,
// and its document is the one a capture shoots.
struct HeadView {
    platform::HWND window = nullptr;
    CVELDANpreviewDoc* document = nullptr;
};

// Everything the head pane shows, as plain data for the widgets.
struct HeadDisplay {
    HeadState state = HeadState::Off;
    HeadControls controls;
    bool hasHandle = false;
    bool onOffEnabled = true;
    bool slow = false;
    uint8_t motion = 0;
    bool padEnabled = false;  // enabled and with a handle
    int padPicture = 0;
    int batteryPicture = 0;
    std::wstring hPos, vPos;
    // Texts of the timing boxes as the last fill left them.
    std::wstring recover, preshot, exposure;
};

struct HeadControlOptions {
    std::string controlLibrary = kControlLibraryName;
    std::string dslrLibrary = DslrRemote::kLibraryName;
    // The program's profile ("Settings", "EXPOSURE TIME"); null: the default
    // "1/100" is shown and not stored.
    platform::Profile* profile = nullptr;
    // Switches passed to the control library after "-v", "-p" and "-n" (the
    // desktop passes none; the command line passes its port as
    // "-o", "port=N").
    std::vector<std::wstring> extraSwitches;
};

// The head control: the control-library binding, the head state machine,
// the manual-move pad, the timing values, the capture run and the seam of
// the capture-folder monitor. The window thread owns it: it hands every
// message of the notification window to HandleMessage and calls the
// commands; the start, stop and capture threads only post messages to it.
class CVRHeadControl {
public:
    explicit CVRHeadControl(DocumentList& documents, HeadControlOptions options = {});
    // Stops a running capture, the monitor and the device (Close).
    ~CVRHeadControl();
    // Cancels a running capture, stops the monitor and the device and waits
    // for all of them. serve, when given, is called again and again on the
    // calling thread meanwhile: a window thread that closes the head keeps
    // serving its events, so that a monitor asking a question on that thread
    // (collecting mode) can still be answered. Idempotent.
    void Close(const std::function<void()>& serve = {});
    CVRHeadControl(const CVRHeadControl&) = delete;
    CVRHeadControl& operator=(const CVRHeadControl&) = delete;

    // The notification window registered with the control library; its
    // owner's loop hands the messages to HandleMessage.
    void SetWindow(platform::HWND window) { window_.store(window); }
    platform::HWND Window() const { return window_.load(); }
    void SetMonitor(HeadMonitor* monitor) { monitor_ = monitor; }
    // Called on the window thread whenever what Display() returns changed.
    void SetObserver(std::function<void()> changed) { observer_ = std::move(changed); }
    // Timer 4096 of the On/Off button. Without hooks the button is re-enabled
    // at once instead of 100 ms later.
    void SetTimerHooks(std::function<void(unsigned ms)> set, std::function<void()> kill) {
        setTimer_ = std::move(set);
        killTimer_ = std::move(kill);
    }

    // WM_HEAD_REFRESH, WM_APP+1 and WM_APP+10; false for other messages.
    bool HandleMessage(const platform::Message& message);

    // Commands of the pane.
    void OnOnOff();
    void OnStart();
    void OnStop();
    void OnBreak();
    void OnPark();
    void OnZero();
    void OnSlow();
    // Prefs may be opened only while Off; otherwise the pane shows
    // kPrefsRefused with kPrefsRefusedCaption.
    bool PrefsAvailable() const { return State() == HeadState::Off; }
    static constexpr const wchar_t* kPrefsRefused = L"Preferences are unavailable while the device is running.";
    static constexpr const wchar_t* kPrefsRefusedCaption = L"Not available...";
    void OnPadClick(int x, int y);
    // A key pressed in the pane (halts a capture) or anywhere in the program
    // while the keys are grabbed (aborts).
    void OnKeyDown();
    void OnHotKey();
    bool KeysGrabbed() const { return keysGrabbed_; }
    void OnTimer(unsigned id);
    // Timing boxes: a selected or edited text.
    void OnRecoverText(const std::wstring& text);
    void OnPreshotText(const std::wstring& text);
    void OnExposureText(const std::wstring& text);
    // Binds the view whose document a capture shoots (null: none).
    bool SetView(const HeadView* view);
    // Re-evaluates every control for the current state.
    void Refresh();

    HeadDisplay Display() const { return display_; }
    HeadState State() const { return state_.load(); }
    ControlHandle Handle() const { return handle_.load(); }
    bool SlowMotion() const { return slow_; }
    uint8_t Motion() const { return motion_; }

    // For the monitor, the capture run and tests.
    CaptureQueue& Queue() { return queue_; }
    platform::CriticalSection& MonitorLock() { return monitorLock_; }
    // True while a capture-folder monitor runs (it holds the monitor lock for
    // its whole life), so that somebody empties the queue.
    bool MonitorRunning();
    platform::Event& MonitorStopEvent() { return monitorStopEvent_; }
    DocumentList& Documents() { return documents_; }
    HeadView BoundView() const;
    const ControlEntries& Entries() const { return entries_; }
    // Waits until the start or stop thread and the capture run have ended.
    void JoinWorkers();

    // Timing values in milliseconds, read from the library by setting 0 and
    // restoring the returned value.
    double PreshotTime();
    double RecoverTime();
    double ExposureTime();

    // The items the timing boxes offer.
    static const std::vector<std::wstring>& MillisecondItems();
    static const std::vector<std::wstring>& ExposureItems();
    // Exposure text in milliseconds ("1/n": 1000/n, else seconds); false for
    // a text that is no positive number.
    static bool ExposureMilliseconds(const std::wstring& text, double& ms);

private:
    void SetState(HeadState state) { state_.store(state); }
    void PostRefresh();
    void Changed();
    void SetOnOffTimer();
    void DisableOnOff();
    void SetSlow(bool on);
    void RequestCancel(bool abort);
    void FillTimings();
    void ApplyExposure(const std::wstring& text, bool store);
    void EvaluateStatus();
    bool EvaluateStatusLocked();  // true when the controls need a refresh
    void UpdatePositions();
    bool CaptureActive() const {
        const HeadState s = State();
        return s == HeadState::Capturing || s == HeadState::Paused;
    }

    void HeadStart();
    void HeadStop();
    void CaptureRun();
    void JoinStartStop();
    void JoinCapture();

    // Capture run pieces (CaptureRun.cpp).
    void WaitForMonitor();
    void MarkTile(VELDANPanoramaTile* tile, int tileNr, bool on);
    void ShootManual(CVELDANpreviewDoc* doc, VELDANPanoramaBracketing* bracketing, int tileNr, uint32_t pathIndex,
                     uint32_t first);
    void ShootBurst(CVELDANpreviewDoc* doc, VELDANPanoramaBracketing* bracketing, int tileNr, uint32_t pathIndex);
    // False when the camera is not ready (the rest of the tile is skipped).
    bool ShootDslr(CVELDANpreviewDoc* doc, VELDANPanoramaBracketing* bracketing, int tileNr, uint32_t pathIndex);

    DocumentList& documents_;
    HeadControlOptions options_;
    std::atomic<platform::HWND> window_{nullptr};
    HeadMonitor* monitor_ = nullptr;
    std::function<void()> observer_;
    std::function<void(unsigned)> setTimer_;
    std::function<void()> killTimer_;

    // The handle is written by the start and stop threads; calls with it on
    // the window thread hold handleLock_ shared, so that the stop thread's
    // deinit never frees it under them.
    std::atomic<ControlHandle> handle_{nullptr};
    mutable std::shared_mutex handleLock_;
    std::atomic<HeadState> state_{HeadState::Off};
    bool slow_ = false;
    uint8_t motion_ = 0;
    bool keysGrabbed_ = false;
    HeadDisplay display_;

    mutable std::mutex viewLock_;
    HeadView view_;

    platform::CriticalSection startStopLock_;
    platform::CriticalSection captureLock_;
    platform::CriticalSection monitorLock_;
    platform::Event monitorStopEvent_{true, false};
    CaptureQueue queue_;
    ControlEntries entries_;
    DslrRemote dslr_;

    std::thread startStopThread_;
    std::thread captureThread_;
    // Set when the thread above has done its work (and may be joined at once).
    platform::Event startStopDone_{true, true};
    platform::Event captureDone_{true, true};
};

}  // namespace veldan::preview
