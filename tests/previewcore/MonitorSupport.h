#pragma once
// Shared pieces of the capture-folder monitor tests: a log recorder, a
// scripted monitor UI and a document with tiles of empty images.
#include <gtest/gtest.h>
#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <string>
#include <vector>
#include "TestSupport.h"
#include "platform/Window.h"
#include "preview/app/LogText.h"
#include "preview/capture/CaptureFolderMonitor.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::test {

// Receives every log line of the program for one test.
class LogRecorder {
public:
    LogRecorder() { veldan::preview::SetLogWindow(window_.Handle()); }
    ~LogRecorder() {
        veldan::preview::SetLogWindow(nullptr);
        Drain(0);
    }
    // Waits until a line equal to `line` (or starting with it, when prefix)
    // has been logged since the start of the test.
    bool WaitFor(const std::wstring& line, bool prefix = false, uint32_t timeoutMs = 30000) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            for (const std::wstring& l : lines_)
                if (l == line || (prefix && l.rfind(line, 0) == 0)) return true;
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
            if (left.count() <= 0) return false;
            Drain(static_cast<uint32_t>(std::min<int64_t>(left.count(), 200)));
        }
    }
    // Every line logged so far.
    const std::vector<std::wstring>& Lines() {
        Drain(0);
        return lines_;
    }
    size_t CountPrefix(const std::wstring& prefix) {
        Drain(0);
        return std::count_if(lines_.begin(), lines_.end(),
                             [&](const std::wstring& l) { return l.rfind(prefix, 0) == 0; });
    }
    std::wstring Dump() {
        std::wstring all;
        for (const std::wstring& l : Lines()) all += L"  [" + l + L"]\n";
        return all;
    }

private:
    void Drain(uint32_t timeoutMs) {
        veldan::platform::Message m;
        bool first = true;
        while (window_.GetMessage(m, first ? timeoutMs : 0)) {
            first = false;
            if (m.message == veldan::preview::WM_LOG_TEXT)
                lines_.push_back(veldan::preview::TakeLogText(m.wParam).get());
        }
    }
    veldan::platform::MessageQueueWindow window_;
    std::vector<std::wstring> lines_;
};

// Answers the collecting mode's questions from a script; called on the
// monitor's thread, read by the test after Join.
class ScriptedMonitorUi : public veldan::preview::CaptureMonitorUi {
public:
    bool locateNow = true;
    bool mediaReady = true;
    std::deque<std::vector<std::wstring>> choices;  // one per dialog; cancelled when exhausted
    std::vector<std::wstring> questions;
    std::vector<std::wstring> titles;
    std::vector<uint32_t> progress;
    uint32_t progressRange = 0;
    bool progressEnded = false;

    bool AskYesNo(const std::wstring&, const std::wstring& text) override {
        questions.push_back(text);
        return locateNow;
    }
    bool AskOkCancel(const std::wstring&, const std::wstring& text) override {
        questions.push_back(text);
        return mediaReady;
    }
    bool LocateFiles(const std::wstring& title, const std::wstring&, const std::wstring&,
                     std::vector<std::wstring>& chosen) override {
        titles.push_back(title);
        if (choices.empty()) return false;
        chosen = choices.front();
        choices.pop_front();
        return true;
    }
    void ProgressBegin(uint32_t range) override { progressRange = range; }
    void ProgressSet(uint32_t position) override { progress.push_back(position); }
    void ProgressEnd() override { progressEnded = true; }
};

// tiles x images empty images, one bracketing per tile.
inline void AddEmptyTiles(VELDANPanoramaProject& project, int tiles, int images) {
    for (int t = 0; t < tiles; ++t) {
        auto* tile = new VELDANPanoramaTile();
        tile->pos_x = 30.0 * t;
        tile->fov_x = 40;
        tile->fov_y = 30;
        auto* b = new VELDANPanoramaBracketing();
        b->SetImageCnt(static_cast<uint32_t>(images));
        for (int i = 0; i < images; ++i) (void)b->GetImage(static_cast<uint32_t>(i));
        tile->bracketings.AddItem(b, 0u);
        project.AppendTile(tile);
    }
}

inline VELDANPanoramaImage* ImageOf(CVELDANpreviewDoc& doc, uint32_t tile, uint32_t image) {
    return doc.Project().Tile(tile)->Bracketing(0)->GetImage(image);
}

inline std::wstring FileNameOf(CVELDANpreviewDoc& doc, uint32_t tile, uint32_t image) {
    const wchar_t* name = ImageOf(doc, tile, image)->GetFilename();
    return name ? name : L"";
}

// Writes a file in two pieces through a plain stream (as a camera program
// does), the content of a real JPEG of w x h.
inline void WriteCameraFile(const fs::path& file, uint32_t w, uint32_t h) {
    const fs::path scratch = fs::temp_directory_path() / ("camera-" + std::to_string(getpid()) + ".jpg");
    WriteJpeg(scratch, w, h);
    const std::string bytes = ReadAll(scratch);
    fs::remove(scratch);
    std::ofstream out(file, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size() / 2));
    out.flush();
    out.write(bytes.data() + bytes.size() / 2, static_cast<std::streamsize>(bytes.size() - bytes.size() / 2));
}

}  // namespace veldan::test
