#pragma once
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>
#include "platform/CriticalSection.h"
#include "platform/Event.h"
#include "platform/Profile.h"
#include "platform/Window.h"
#include "preview/app/WindowMessages.h"
#include "preview/capture/CaptureQueue.h"
#include "preview/document/DocumentList.h"

namespace veldan::preview {

// The questions, the file dialog and the progress window of the collecting
// mode. They are called on the monitor's thread; the Qt layer runs them on
// its window thread, tests answer them from a script.
class CaptureMonitorUi {
public:
    virtual ~CaptureMonitorUi() = default;
    // Question box (question icon, Yes and No): true for Yes.
    virtual bool AskYesNo(const std::wstring& caption, const std::wstring& text) = 0;
    // Information box with OK and Cancel: true for OK.
    virtual bool AskOkCancel(const std::wstring& caption, const std::wstring& text) = 0;
    // Open-file dialog with multiple selection. `filter` is in the form
    // "Name|patterns|Name|patterns||". The chosen paths in the dialog's order;
    // false when cancelled.
    virtual bool LocateFiles(const std::wstring& title, const std::wstring& initialName, const std::wstring& filter,
                             std::vector<std::wstring>& chosen) = 0;
    // Modeless progress window with the range 0 .. range.
    virtual void ProgressBegin(uint32_t range) = 0;
    virtual void ProgressSet(uint32_t position) = 0;
    virtual void ProgressEnd() = 0;
};

// Texts of the collecting mode's dialogs.
inline constexpr const wchar_t* kCaptureFinishedCaption = L"Capture Finished";
inline constexpr const wchar_t* kLocateNowQuestion = L"Do you want to locate the captured image files now ?";
inline constexpr const wchar_t* kInsertMediaMessage =
    L"Please insert the storage media into your computer.\n\nPress OK when ready.";
inline constexpr const wchar_t* kLocateInitialName = L"*.jpg;*.tif;*.cr2;*.nef";
inline constexpr const wchar_t* kLocateFilter =
    L"Images (*.jpg, *.tif, *.cr2, *.nef)|*.jpg;*.tif;*.cr2;*.nef|All Files (*.*)|*.*||";
// "Locate Captured Image Files... (<number still missing>)"
std::wstring LocateDialogTitle(unsigned long missing);

// Waiting times of the monitor; the defaults are the ones used with a real
// camera, tests make them short.
struct CaptureMonitorTimings {
    uint32_t fileOpTries = 120;       // tries of one copy or move
    uint32_t retryWaitMs = 500;       // between two tries
    uint32_t sizeCheckWaitMs = 1000;  // copy mode: between two size readings
    uint32_t collectPollMs = 100;     // collecting mode: queue poll interval
};

// The capture-folder monitor: one thread per switched-on head. It takes the
// entries of the capture queue in order and gives each the next image file
// that appears in the capture directory ("CAPTURE_DIRECTORY" in the profile
// section "settings"), moving or copying it into the project folder
// (watching mode). Without a capture directory it collects the entries and,
// when stopped, lets the user locate all files at once (collecting mode).
//
// The thread holds the monitor lock for its whole life, so that the capture
// run learns with TryEnter whether a monitor runs. It ends when the stop
// event (manual reset) is set and resets that event at its end.
class CaptureFolderMonitor {
public:
    using ViewGetter = std::function<veldan::platform::HWND()>;

    // boundView gives the view to notify (null when none is bound); it is
    // called on the monitor's thread and must be thread-safe. monitorLock is
    // the head control's monitor lock; null: the monitor uses its own.
    CaptureFolderMonitor(CaptureQueue& queue, veldan::platform::Event& stopEvent, ViewGetter boundView,
                         DocumentList& documents, CaptureMonitorUi& ui, veldan::platform::Profile& profile,
                         veldan::platform::CriticalSection* monitorLock = nullptr);
    // Sets the stop event when the thread still runs and waits for it.
    ~CaptureFolderMonitor();
    CaptureFolderMonitor(const CaptureFolderMonitor&) = delete;
    CaptureFolderMonitor& operator=(const CaptureFolderMonitor&) = delete;

    void SetTimings(const CaptureMonitorTimings& timings) { timings_ = timings; }

    // Starts the thread. When this returns the thread holds the monitor lock
    // and watches the capture directory (or collects, or has ended because
    // the directory cannot be watched). False when a thread of this monitor
    // still runs.
    bool Start();
    // Waits for the thread to end (after the stop event was set).
    void Join();
    // Waits up to timeoutMs for the end of the thread; true when it has ended
    // (or never ran). Lets a window thread keep serving the dialogs meanwhile.
    bool WaitFinished(uint32_t timeoutMs);
    // True while the thread runs.
    bool IsRunning() const { return running_.load(std::memory_order_acquire); }
    // The monitor lock: held by the thread while it runs.
    veldan::platform::CriticalSection& MonitorLock() { return monitorLock_; }

private:
    void Run();
    void RunWatching(const std::filesystem::path& captureDirectory);
    void RunCollecting();
    void HandleNewFile(const std::filesystem::path& captureDirectory, const std::filesystem::path& relative);
    // Copies or moves with the retries; true when the destination holds the
    // file.
    bool TransferWithRetries(const std::filesystem::path& source, const std::filesystem::path& destination, bool copy);
    void WaitForStableSize(const std::filesystem::path& file);
    void AttachFile(const CaptureQueueEntry& entry, const std::filesystem::path& destination);
    void DeleteLastCopiedSource();
    // Sleeps up to ms; false when the stop event was set meanwhile.
    bool Pause(uint32_t ms);

    CaptureQueue& queue_;
    veldan::platform::Event& stopEvent_;
    ViewGetter boundView_;
    DocumentList& documents_;
    CaptureMonitorUi& ui_;
    veldan::platform::Profile& profile_;
    CaptureMonitorTimings timings_;

    veldan::platform::CriticalSection ownLock_;
    veldan::platform::CriticalSection& monitorLock_;
    std::thread thread_;
    std::atomic<bool> running_{false};
    veldan::platform::Event finished_{true, true};
    veldan::platform::Event entered_{true};

    // Monitor thread only.
    std::filesystem::path lastCopiedSource_;
    std::filesystem::path lastCopiedDestination_;
    std::vector<std::filesystem::path> filedDestinations_;
};

}  // namespace veldan::preview
