// CVRHeadControl: the head control's messages, exposure and timing settings,
// and the joins of its threads.
#include "preview/head/VRHeadControl.h"
#include <cmath>
#include <cwchar>
#include "platform/Tick.h"
#include "preview/document/VELDANpreviewDoc.h"
#include "preview/head/HeadPictures.h"

namespace veldan::preview {

using platform::CriticalSection;
using platform::HWND;
using platform::Message;
using platform::PostMessage;
using platform::Sleep;

CVRHeadControl::CVRHeadControl(DocumentList& documents, HeadControlOptions options)
    : documents_(documents), options_(std::move(options)), dslr_(options_.dslrLibrary) {
    display_.batteryPicture = kBatteryEmpty;
    display_.padPicture = kPadDisabled;
    display_.hPos = display_.vPos = L"----°";
}

CVRHeadControl::~CVRHeadControl() { Close(); }

void CVRHeadControl::Close(const std::function<void()>& serve) {
    // A running capture is cancelled and waited for, so that no thread uses
    // the handle or this object any more.
    if (CaptureActive()) {
        SetState(HeadState::Cancelling);
        std::shared_lock<std::shared_mutex> guard(handleLock_);
        if (ControlHandle h = Handle()) entries_.rc_halt(h);
    }
    if (serve) {
        while (!captureDone_.Wait(10)) serve();
        while (!startStopDone_.Wait(10)) serve();
    }
    JoinCapture();
    JoinStartStop();
    monitorStopEvent_.Set();
    if (serve) {
        while (!monitorLock_.TryEnter()) {
            serve();
            Sleep(10);
        }
    } else {
        monitorLock_.Enter();
    }
    monitorLock_.Leave();
    if (monitor_) monitor_->Join();
    std::lock_guard<CriticalSection> guard(startStopLock_);
    if (ControlHandle h = handle_.exchange(nullptr)) {
        entries_.set_main_window(h, nullptr);
        entries_.deinit(h);
        SetState(HeadState::Off);
    }
}

void CVRHeadControl::JoinStartStop() {
    if (startStopThread_.joinable()) startStopThread_.join();
}

void CVRHeadControl::JoinCapture() {
    if (captureThread_.joinable()) captureThread_.join();
}

void CVRHeadControl::JoinWorkers() {
    JoinStartStop();
    JoinCapture();
}

HeadView CVRHeadControl::BoundView() const {
    std::lock_guard<std::mutex> guard(viewLock_);
    return view_;
}

void CVRHeadControl::PostRefresh() {
    if (HWND w = Window()) PostMessage(w, WM_HEAD_REFRESH, 0, 0);
}

void CVRHeadControl::Changed() {
    if (observer_) observer_();
}

bool CVRHeadControl::HandleMessage(const Message& message) {
    switch (message.message) {
        case WM_HEAD_REFRESH: Refresh(); return true;
        case WM_DEVICE_STATE: EvaluateStatus(); return true;
        case WM_CONTROL_STATUS: return true;
        default: return false;
    }
}

void CVRHeadControl::SetOnOffTimer() {
    if (setTimer_) {
        setTimer_(100);
    } else {
        display_.onOffEnabled = true;
    }
}

void CVRHeadControl::DisableOnOff() {
    if (killTimer_) killTimer_();
    display_.onOffEnabled = false;
}

void CVRHeadControl::OnTimer(unsigned id) {
    if (id != kOnOffTimer) return;
    if (killTimer_) killTimer_();
    display_.onOffEnabled = true;
    Changed();
}

void CVRHeadControl::Refresh() {
    const HeadState state = State();
    const bool hasHandle = Handle() != nullptr;
    bool startable = false;
    const HeadView view = BoundView();
    if (view.document && documents_.Hold(view.document)) {
        startable = view.document->Project().TileCount() > 0;
        documents_.Release(view.document);
    }
    const HeadControls c = ControlsForState(state, startable, hasHandle);
    display_.state = state;
    display_.controls = c;
    display_.hasHandle = hasHandle;
    display_.slow = slow_;
    display_.motion = motion_;
    display_.padEnabled = c.pad && hasHandle;
    display_.padPicture = PadPicture(motion_, !display_.padEnabled);
    if (c.onOffTimer)
        SetOnOffTimer();
    else
        DisableOnOff();
    if (c.positionsDashed) display_.hPos = display_.vPos = L"----°";
    if (c.emptyBattery) display_.batteryPicture = kBatteryEmpty;
    if (c.fillTimings && hasHandle) {
        std::shared_lock<std::shared_mutex> guard(handleLock_);
        if (Handle()) FillTimings();
    }
    if (c.grabKeys) keysGrabbed_ = true;
    if (c.releaseKeys) keysGrabbed_ = false;
    Changed();
}

// ---- Commands -------------------------------------------------------------

void CVRHeadControl::OnOnOff() {
    const HeadState state = State();
    if (state != HeadState::Ready && state != HeadState::Off) return;
    DisableOnOff();
    if (slow_) SetSlow(false);
    JoinStartStop();
    startStopDone_.Reset();
    if (Handle())
        startStopThread_ = std::thread([this] {
            HeadStop();
            startStopDone_.Set();
        });
    else
        startStopThread_ = std::thread([this] {
            HeadStart();
            startStopDone_.Set();
        });
    Changed();
}

void CVRHeadControl::OnStart() {
    const HeadState state = State();
    if (state == HeadState::Ready) {
        if (slow_) SetSlow(false);
        SetState(HeadState::Capturing);
        JoinCapture();
        captureDone_.Reset();
        captureThread_ = std::thread([this] {
            CaptureRun();
            captureDone_.Set();
        });
        Refresh();
    } else if (state == HeadState::Paused) {
        SetState(HeadState::Capturing);
        Refresh();
    }
}

void CVRHeadControl::RequestCancel(bool abort) {
    SetState(HeadState::Cancelling);
    Refresh();
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    if (ControlHandle h = Handle()) {
        if (abort)
            entries_.rc_abort(h);
        else
            entries_.rc_halt(h);
    }
}

void CVRHeadControl::OnStop() {
    if (CaptureActive()) RequestCancel(false);
}

void CVRHeadControl::OnBreak() {
    const HeadState state = State();
    if (state == HeadState::Capturing) {
        SetState(HeadState::Paused);
        Refresh();
    } else if (state == HeadState::Paused) {
        SetState(HeadState::Capturing);
        Refresh();
    }
}

void CVRHeadControl::SetSlow(bool on) {
    slow_ = on;
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    if (ControlHandle h = Handle()) entries_.set_global_speed(h, on ? 0.05 : 1.0);
    display_.slow = slow_;
}

void CVRHeadControl::OnSlow() {
    if (State() != HeadState::Ready) return;
    SetSlow(!slow_);
    Changed();
}

void CVRHeadControl::OnPark() {
    if (State() != HeadState::Ready) return;
    if (slow_) SetSlow(false);
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    if (ControlHandle h = Handle()) entries_.cmd_park(h);
    Changed();
}

void CVRHeadControl::OnZero() {
    if (State() != HeadState::Ready) return;
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    if (ControlHandle h = Handle()) entries_.rc_set_zero(h);
}

void CVRHeadControl::OnKeyDown() {
    if (CaptureActive()) RequestCancel(false);
}

void CVRHeadControl::OnHotKey() {
    if (!keysGrabbed_) return;
    RequestCancel(true);
}

bool CVRHeadControl::SetView(const HeadView* view) {
    {
        std::unique_lock<std::mutex> guard(viewLock_);
        if (view && view->window == view_.window) return true;
        if (view) {
            if (view_.window && view_.document == view->document) return true;
            const bool otherDocument = view_.window != nullptr;
            view_ = *view;
            guard.unlock();
            if (otherDocument && CaptureActive()) RequestCancel(false);
        } else {
            view_ = HeadView{};
            guard.unlock();
            if (CaptureActive()) RequestCancel(false);
        }
    }
    Refresh();
    return true;
}

// ---- Timings ----------------------------------------------------------------

double CVRHeadControl::PreshotTime() {
    ControlHandle h = Handle();
    if (!h) return 0;
    const double v = entries_.set_time_preshot(h, 0);
    entries_.set_time_preshot(h, v);
    return v;
}

double CVRHeadControl::RecoverTime() {
    ControlHandle h = Handle();
    if (!h) return 0;
    const double v = entries_.set_time_recover(h, 0);
    entries_.set_time_recover(h, v);
    return v;
}

double CVRHeadControl::ExposureTime() {
    ControlHandle h = Handle();
    if (!h) return 0;
    const double v = entries_.set_time_exposure(h, 0);
    entries_.set_time_exposure(h, v);
    return v;
}

const std::vector<std::wstring>& CVRHeadControl::MillisecondItems() {
    static const std::vector<std::wstring> kItems = {L"0",   L"100", L"200",  L"300",  L"400",
                                                     L"500", L"750", L"1000", L"2000", L"4000"};
    return kItems;
}

const std::vector<std::wstring>& CVRHeadControl::ExposureItems() {
    static const std::vector<std::wstring> kItems = {
        L"1/8000", L"1/6400", L"1/5000", L"1/4000", L"1/3200", L"1/2500", L"1/2000", L"1/1600", L"1/1250", L"1/1000",
        L"1/800",  L"1/640",  L"1/500",  L"1/400",  L"1/320",  L"1/250",  L"1/200",  L"1/160",  L"1/125",  L"1/100",
        L"1/80",   L"1/60",   L"1/50",   L"1/40",   L"1/30",   L"1/25",   L"1/20",   L"1/15",   L"1/13",   L"1/10",
        L"1/8",    L"1/6",    L"1/5",    L"1/4",    L"0.3",    L"0.4",    L"0.5",    L"0.6",    L"0.8",    L"1",
        L"1.3",    L"1.6",    L"2",      L"2.5",    L"3.2",    L"4",      L"5",      L"6",      L"8",      L"10",
        L"13",     L"15",     L"20",     L"25",     L"30"};
    return kItems;
}

namespace {
// A non-negative number filling the whole text (surrounding blanks aside).
bool ParseNumber(const wchar_t* text, double& value) {
    wchar_t* end = nullptr;
    value = std::wcstod(text, &end);
    if (end == text) return false;
    while (*end == L' ') ++end;
    return *end == L'\0' && std::isfinite(value) && value >= 0;
}
}  // namespace

bool CVRHeadControl::ExposureMilliseconds(const std::wstring& text, double& ms) {
    double n = 0;
    if (text.rfind(L"1/", 0) == 0) {
        if (!ParseNumber(text.c_str() + 2, n) || n <= 0) return false;
        ms = 1000.0 / n;
        return true;
    }
    if (!ParseNumber(text.c_str(), n)) return false;
    ms = n * 1000.0;
    return true;
}

void CVRHeadControl::FillTimings() {
    wchar_t buffer[32];
    std::swprintf(buffer, 32, L"%lu", static_cast<unsigned long>(std::ceil(RecoverTime())));
    display_.recover = buffer;
    std::swprintf(buffer, 32, L"%lu", static_cast<unsigned long>(std::ceil(PreshotTime())));
    display_.preshot = buffer;
    const std::wstring exposure =
        options_.profile ? options_.profile->GetString(L"Settings", L"EXPOSURE TIME", L"1/100") : L"1/100";
    display_.exposure = exposure;
    ApplyExposure(exposure, false);
}

void CVRHeadControl::OnRecoverText(const std::wstring& text) {
    double v = 0;
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    ControlHandle h = Handle();
    if (h && ParseNumber(text.c_str(), v)) {
        entries_.set_time_recover(h, v);
        display_.recover = text;
    }
}

void CVRHeadControl::OnPreshotText(const std::wstring& text) {
    double v = 0;
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    ControlHandle h = Handle();
    if (h && ParseNumber(text.c_str(), v)) {
        entries_.set_time_preshot(h, v);
        display_.preshot = text;
    }
}

void CVRHeadControl::ApplyExposure(const std::wstring& text, bool store) {
    ControlHandle h = Handle();
    if (!h) return;
    double ms = 0;
    if (!ExposureMilliseconds(text, ms)) return;
    if (store && options_.profile) options_.profile->WriteString(L"Settings", L"EXPOSURE TIME", text);
    entries_.set_time_exposure(h, ms);
    display_.exposure = text;
}

void CVRHeadControl::OnExposureText(const std::wstring& text) {
    std::shared_lock<std::shared_mutex> guard(handleLock_);
    ApplyExposure(text, true);
}

}  // namespace veldan::preview
