// CaptureFolderMonitor: new camera files filed into the project (watching
// mode) or located by the user at the end (collecting mode).
#include "preview/capture/CaptureFolderMonitor.h"
#include <sys/stat.h>
#include <algorithm>
#include <cstring>
#include <cwctype>
#include <system_error>
#include <utility>
#include "VELDANPanoramaProject.h"
#include "platform/DirectoryWatcher.h"
#include "platform/FileOps.h"
#include "platform/Text.h"
#include "platform/Thread.h"
#include "preview/app/LogText.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::preview {

namespace fs = std::filesystem;

namespace {

std::wstring W(const fs::path& path) { return veldan::platform::PathToWide(path); }

std::wstring ErrorText(int error) { return veldan::platform::FromUtf8(std::strerror(error)); }

// Names whose last three characters are "tmp" or "xxx" are files the camera
// software is still writing under a temporary name.
bool IsTemporaryName(const fs::path& relative) {
    const std::wstring name = W(relative);
    if (name.size() < 3) return false;
    std::wstring tail = name.substr(name.size() - 3);
    for (wchar_t& c : tail) c = static_cast<wchar_t>(std::towlower(c));
    return tail == L"tmp" || tail == L"xxx";
}

// The folder the document's pictures go to: the project folder, else the
// folder of the document's file; empty when the document has neither.
fs::path ProjectFolderOf(CVELDANpreviewDoc& doc) {
    const wchar_t* folder = doc.Project().project_path.Get();
    if (folder && *folder) return veldan::platform::PathFromWide(folder);
    return doc.PathName().parent_path();
}

// The destination itself when it is free (or the very source file);
// otherwise "<stem> (n)<extension>" with the first free n, so that a picture
// already in the project folder is never replaced by another one.
fs::path FreeDestination(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(destination, ec))) return destination;
    if (fs::equivalent(source, destination, ec)) return destination;
    const fs::path folder = destination.parent_path();
    const std::wstring stem = W(destination.stem());
    const std::wstring extension = W(destination.extension());
    for (unsigned n = 2;; ++n) {
        const fs::path candidate =
            folder / veldan::platform::PathFromWide(stem + L" (" + std::to_wstring(n) + L")" + extension);
        if (!fs::exists(fs::symlink_status(candidate, ec))) return candidate;
    }
}

}  // namespace

std::wstring LocateDialogTitle(unsigned long missing) {
    return L"Locate Captured Image Files... (" + std::to_wstring(missing) + L")";
}

CaptureFolderMonitor::CaptureFolderMonitor(CaptureQueue& queue, veldan::platform::Event& stopEvent,
                                           ViewGetter boundView, DocumentList& documents, CaptureMonitorUi& ui,
                                           veldan::platform::Profile& profile,
                                           veldan::platform::CriticalSection* monitorLock)
    : queue_(queue),
      stopEvent_(stopEvent),
      boundView_(std::move(boundView)),
      documents_(documents),
      ui_(ui),
      profile_(profile),
      monitorLock_(monitorLock ? *monitorLock : ownLock_) {}

CaptureFolderMonitor::~CaptureFolderMonitor() {
    if (IsRunning()) stopEvent_.Set();
    Join();
}

bool CaptureFolderMonitor::Start() {
    if (IsRunning()) return false;
    Join();  // a thread that ended by itself
    finished_.Reset();
    running_.store(true, std::memory_order_release);
    entered_.Reset();
    thread_ = std::thread([this] {
        veldan::platform::SetCurrentThreadName("CaptureMonitor");
        {
            std::lock_guard<veldan::platform::CriticalSection> hold(monitorLock_);
            Run();
            entered_.Set();  // also when a mode ended before it was ready
            // Thread-local state goes before the lock is left.
            filedDestinations_.clear();
        }
        running_.store(false, std::memory_order_release);
        finished_.Set();
    });
    entered_.Wait();
    return true;
}

void CaptureFolderMonitor::Join() {
    if (thread_.joinable()) thread_.join();
}

bool CaptureFolderMonitor::WaitFinished(uint32_t timeoutMs) { return finished_.Wait(timeoutMs); }

bool CaptureFolderMonitor::Pause(uint32_t ms) { return !stopEvent_.Wait(ms); }

void CaptureFolderMonitor::Run() {
    const std::wstring directory = profile_.GetString(L"settings", L"CAPTURE_DIRECTORY", L"");
    if (!directory.empty())
        RunWatching(veldan::platform::PathFromWide(directory));
    else
        RunCollecting();
}

// --- watching mode

void CaptureFolderMonitor::RunWatching(const fs::path& captureDirectory) {
    LogText(L"Starting file system monitoring...");
    veldan::platform::DirectoryWatcher watcher;
    std::string error;
    if (!watcher.Start(captureDirectory, &error)) {
        // Without a watch the capture run does not wait for files; say why, so
        // that the user does not wait for pictures that are never filed.
        LogText(L"ERROR: Can not monitor the capture directory %ls: %ls\n", W(captureDirectory).c_str(),
                veldan::platform::FromUtf8(error).c_str());
        return;
    }
    entered_.Set();  // watching: Start returns now
    veldan::platform::Event* events[] = {&stopEvent_, &watcher.ChangesPending()};
    bool ended = false;
    while (!ended) {
        const int which = veldan::platform::Event::WaitAny(events);
        if (which == 0) break;
        if (which != 1) continue;
        for (const veldan::platform::DirectoryChange& change : watcher.TakeChanges()) {
            if (change.kind == veldan::platform::DirectoryChange::Kind::Ended) {
                LogText(L"ERROR: The capture directory %ls is no longer available.\n", W(captureDirectory).c_str());
                ended = true;
                break;
            }
            if (!change.IsNewName() || IsTemporaryName(change.path)) continue;
            HandleNewFile(captureDirectory, change.path);
        }
    }
    DeleteLastCopiedSource();
    stopEvent_.Reset();
    watcher.Stop();
    LogText(L"File system monitoring stopped.");
}

void CaptureFolderMonitor::HandleNewFile(const fs::path& captureDirectory, const fs::path& relative) {
    const fs::path source = captureDirectory / relative;
    // A project folder inside the capture directory: the files this monitor
    // put there are not new pictures of the camera.
    if (std::find(filedDestinations_.begin(), filedDestinations_.end(), source.lexically_normal()) !=
        filedDestinations_.end())
        return;
    DeleteLastCopiedSource();
    LogText(L"Found new image file: %ls", W(relative).c_str());

    std::unique_ptr<CaptureQueueEntry> entry = queue_.TakeHead();
    if (!entry) return;
    CVELDANpreviewDoc* doc = entry->document;
    if (!documents_.Hold(doc)) {
        LogText(L"File already obsolete. Ignoring...");
        return;
    }
    const fs::path folder = ProjectFolderOf(*doc);
    if (folder.empty()) {
        LogText(L"ERROR: The project has no folder; %ls stays where it is.\n", W(source).c_str());
        documents_.Release(doc);
        return;
    }
    const fs::path destination = FreeDestination(source, folder / relative);
    if (TransferWithRetries(source, destination, entry->copy != 0)) AttachFile(*entry, destination);
    documents_.Release(doc);
}

void CaptureFolderMonitor::WaitForStableSize(const fs::path& file) {
    // The camera software may still be writing a file it has already named;
    // wait until two readings a while apart agree.
    struct stat before {};
    struct stat after {};
    for (;;) {
        if (stat(file.c_str(), &before) != 0) return;
        if (!Pause(timings_.sizeCheckWaitMs)) return;
        if (stat(file.c_str(), &after) != 0) return;
        if (static_cast<uint32_t>(before.st_size) == static_cast<uint32_t>(after.st_size)) return;
    }
}

bool CaptureFolderMonitor::TransferWithRetries(const fs::path& source, const fs::path& destination, bool copy) {
    if (copy) {
        LogText(L"Waiting for file changes...\n");
        WaitForStableSize(source);
        LogText(L"Copying %ls to %ls", W(source).c_str(), W(destination).c_str());
    } else {
        LogText(L"Moving %ls to %ls", W(source).c_str(), W(destination).c_str());
    }
    std::error_code ec;
    fs::create_directories(destination.parent_path(), ec);  // sub-folders of the capture directory are kept

    const uint32_t tries = std::max<uint32_t>(1, timings_.fileOpTries);
    veldan::platform::FileOpResult result;
    bool stopping = false;
    for (uint32_t attempt = 1;; ++attempt) {
        if (copy) {
            std::error_code same;
            if (fs::equivalent(source, destination, same)) {
                result.ok = true;  // already in the project folder: nothing to copy
            } else {
                result = veldan::platform::CopyFile(source, destination, true);
            }
        } else {
            result = veldan::platform::MoveFile(source, destination);
        }
        if (result.ok || attempt >= tries || stopping) break;
        // Switching the head off does not wait for the remaining tries: one
        // last try, then the file stays where it is.
        if (!Pause(timings_.retryWaitMs)) stopping = true;
    }
    if (!result.ok) {
        LogText(L"ERROR: Can not %ls %ls to %ls (%ls). The file stays where it is.\n", copy ? L"copy" : L"move",
                W(source).c_str(), W(destination).c_str(), ErrorText(result.error).c_str());
        return false;
    }
    if (result.sourceKept)
        LogText(L"The file %ls was copied but could not be removed (%ls).\n", W(source).c_str(),
                ErrorText(result.error).c_str());
    filedDestinations_.push_back(destination.lexically_normal());
    if (copy && !fs::equivalent(source, destination, ec)) {
        lastCopiedSource_ = source;
        lastCopiedDestination_ = destination;
    }
    return true;
}

void CaptureFolderMonitor::DeleteLastCopiedSource() {
    if (lastCopiedSource_.empty()) return;
    const fs::path source = std::exchange(lastCopiedSource_, fs::path());
    const fs::path copy = std::exchange(lastCopiedDestination_, fs::path());
    // The camera's file goes only while its complete copy is in place.
    std::error_code e1, e2;
    const auto sourceSize = fs::file_size(source, e1);
    const auto copySize = fs::file_size(copy, e2);
    if (e1) return;  // already gone
    if (e2 || sourceSize != copySize) {
        LogText(L"ERROR: Keeping %ls: its copy %ls is missing or incomplete.\n", W(source).c_str(), W(copy).c_str());
        return;
    }
    LogText(L"Deleting file %ls", W(source).c_str());
    const veldan::platform::FileOpResult removed = veldan::platform::DeleteFile(source);
    if (!removed.ok)
        LogText(L"ERROR: Can not delete %ls (%ls).\n", W(source).c_str(), ErrorText(removed.error).c_str());
}

void CaptureFolderMonitor::AttachFile(const CaptureQueueEntry& entry, const fs::path& destination) {
    VELDANPanoramaProject& project = entry.document->Project();
    if (entry.tileNr < 0 || static_cast<uint32_t>(entry.tileNr) >= project.TileCount()) return;
    VELDANPanoramaTile* tile = project.Tile(static_cast<uint32_t>(entry.tileNr));
    if (!tile) return;
    const std::wstring name = W(destination);
    const uint32_t bracketings = tile->bracketings.GetItemCount();
    for (uint32_t b = 0; b < bracketings; ++b) {
        VELDANPanoramaBracketing* bracketing = tile->Bracketing(b);
        if (!bracketing || !bracketing->images) continue;
        for (uint32_t i = 0; i < bracketing->GetImageCnt(); ++i) {
            VELDANPanoramaImage* image = bracketing->images[i].get();
            if (!image || image != entry.image) continue;
            image->SetFilename(name.c_str());
            image->UnloadImage();
            const uint32_t w = image->GetWidth();
            const uint32_t h = image->GetHeight();
            if (w != 0 && h != 0) tile->aspect_ratio = static_cast<double>(w) / static_cast<double>(h);
            const veldan::platform::HWND view = boundView_ ? boundView_() : nullptr;
            if (view)
                veldan::platform::PostMessage(view, WM_TILE_CHANGED,
                                              static_cast<veldan::platform::WPARAM>(entry.tileNr), 0);
        }
    }
}

// --- collecting mode

void CaptureFolderMonitor::RunCollecting() {
    LogText(L"File system monitoring disabled.");
    entered_.Set();  // collecting: Start returns now
    // Newest entry first.
    std::vector<std::unique_ptr<CaptureQueueEntry>> collected;
    auto collect = [&] {
        while (std::unique_ptr<CaptureQueueEntry> entry = queue_.TakeHead())
            collected.insert(collected.begin(), std::move(entry));
    };
    while (!stopEvent_.Wait(timings_.collectPollMs)) collect();
    // An image shot in the last moments before the stop belongs to this
    // capture, not to the next one.
    collect();
    stopEvent_.Reset();

    const size_t count = collected.size();
    if (count == 0) return;
    if (!ui_.AskYesNo(kCaptureFinishedCaption, kLocateNowQuestion)) return;
    if (!ui_.AskOkCancel(kCaptureFinishedCaption, kInsertMediaMessage)) return;

    std::vector<std::wstring> paths;
    while (paths.size() < count) {
        std::vector<std::wstring> chosen;
        const size_t missing = count - paths.size();
        if (!ui_.LocateFiles(LocateDialogTitle(static_cast<unsigned long>(missing)), kLocateInitialName, kLocateFilter,
                             chosen))
            break;
        for (size_t i = 0; i < chosen.size() && paths.size() < count; ++i) paths.push_back(chosen[i]);
    }
    if (paths.size() != count) return;
    // Plain character-code order of the whole path: the camera numbers its
    // files in the order it takes them.
    std::sort(paths.begin(), paths.end());

    ui_.ProgressBegin(static_cast<uint32_t>(count));
    // The greatest path goes with the newest entry, so that the n-th image
    // shot receives the n-th path.
    for (size_t k = 0; k < count; ++k) {
        const CaptureQueueEntry& entry = *collected[k];
        const std::wstring& path = paths[count - 1 - k];
        CVELDANpreviewDoc* doc = entry.document;
        if (documents_.Hold(doc)) {
            const fs::path source = veldan::platform::PathFromWide(path);
            const fs::path folder = ProjectFolderOf(*doc);
            if (folder.empty()) {
                LogText(L"ERROR: The project has no folder; %ls stays where it is.\n", path.c_str());
            } else {
                const fs::path destination = FreeDestination(source, folder / source.filename());
                LogText(L"Moving %ls to %ls", path.c_str(), W(destination).c_str());
                std::error_code ec;
                fs::create_directories(destination.parent_path(), ec);
                const veldan::platform::FileOpResult result = veldan::platform::MoveFile(source, destination);
                if (result.ok) {
                    if (result.sourceKept)
                        LogText(L"The file %ls was copied but could not be removed (%ls).\n", path.c_str(),
                                ErrorText(result.error).c_str());
                    AttachFile(entry, destination);
                } else {
                    LogText(L"ERROR: Can not move %ls to %ls (%ls). The file stays where it is.\n", path.c_str(),
                            W(destination).c_str(), ErrorText(result.error).c_str());
                }
            }
            documents_.Release(doc);
        } else {
            LogText(L"File %ls already obsolete. Ignoring...", path.c_str());
        }
        ui_.ProgressSet(static_cast<uint32_t>(k));
    }
    ui_.ProgressEnd();
}

}  // namespace veldan::preview
