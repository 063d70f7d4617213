#pragma once
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>
#include "preview/capture/CaptureFolderMonitor.h"

namespace veldan::preview {

// The capture-folder monitor's dialogs without a screen: nobody can answer,
// so every question is answered No (or Cancel), the file dialog is
// cancelled, and each is written as a log line; the progress becomes log
// lines too. Called on the monitor's thread.
class ConsoleMonitorUi : public CaptureMonitorUi {
public:
    bool AskYesNo(const std::wstring& caption, const std::wstring& text) override;
    bool AskOkCancel(const std::wstring& caption, const std::wstring& text) override;
    bool LocateFiles(const std::wstring& title, const std::wstring& initialName, const std::wstring& filter,
                     std::vector<std::wstring>& chosen) override;
    void ProgressBegin(uint32_t range) override;
    void ProgressSet(uint32_t position) override;
    void ProgressEnd() override;

private:
    void Line(const std::wstring& text);

    std::mutex lock_;
    uint32_t range_ = 0;
};

}  // namespace veldan::preview
