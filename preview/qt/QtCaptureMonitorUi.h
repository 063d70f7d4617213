#pragma once
#include <QPointer>
#include <memory>
#include "platform/Event.h"
#include "preview/capture/CaptureFolderMonitor.h"

class QProgressDialog;
class QWidget;

namespace veldan::preview {

// The collecting mode's questions, file dialog and progress window as Qt
// dialogs over the main window. The monitor calls them on its own thread;
// each call runs on the window thread and the monitor waits for the answer.
// A window thread that waits for the monitor must therefore keep serving
// events meanwhile (StopCaptureMonitor).
class QtCaptureMonitorUi : public CaptureMonitorUi {
public:
    explicit QtCaptureMonitorUi(QWidget* owner);
    ~QtCaptureMonitorUi() override;

    bool AskYesNo(const std::wstring& caption, const std::wstring& text) override;
    bool AskOkCancel(const std::wstring& caption, const std::wstring& text) override;
    bool LocateFiles(const std::wstring& title, const std::wstring& initialName, const std::wstring& filter,
                     std::vector<std::wstring>& chosen) override;
    void ProgressBegin(uint32_t range) override;
    void ProgressSet(uint32_t position) override;
    void ProgressEnd() override;

    // "Images (*.jpg, ...)|*.jpg;*.tif|All Files (*.*)|*.*||" as Qt name
    // filters; every pattern also in capitals, since camera files are often
    // named IMG_0001.JPG and the file system tells case apart.
    static QStringList NameFilters(const std::wstring& filter);

private:
    QPointer<QWidget> owner_;
    std::unique_ptr<QProgressDialog> progress_;
};

// Sets the stop event and waits for the monitor's end while the window
// thread goes on serving events, so that the dialogs of the collecting mode
// can be answered. Call on the window thread.
void StopCaptureMonitor(CaptureFolderMonitor& monitor, veldan::platform::Event& stopEvent);

}  // namespace veldan::preview
