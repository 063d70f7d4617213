#pragma once
#include <QMainWindow>
#include <memory>
#include "platform/Window.h"

class QDockWidget;
class QMdiArea;
class QMdiSubWindow;

namespace veldan::preview {

class CChildFrame;
class COutputWnd;
class CVELDANpreviewApp;
class QtDocumentUi;
class Ribbon;

// The main frame: ribbon, documents as tabs, the log pane at the bottom and
// the head pane on the right. It receives the log texts of every thread
// through its registered window handle.
class CMainFrame : public QMainWindow {
    Q_OBJECT
public:
    explicit CMainFrame(CVELDANpreviewApp& app);
    ~CMainFrame() override;

    Ribbon* RibbonBar() const { return ribbon_; }
    COutputWnd* OutputPane() const { return output_; }
    QDockWidget* HeadPane() const { return head_; }
    QMdiArea* MdiArea() const { return mdi_; }
    QtDocumentUi& Ui() { return *ui_; }
    platform::HWND Handle() const { return hwnd_; }
    CChildFrame* ActiveChild() const;
    // Adds a document frame as a tab and shows it.
    void AddChild(CChildFrame* child);

    // Runs a command by number (the ribbon's, the menus').
    void OnCommand(int command);
    int ApplicationLook() const { return look_; }

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void OnApplicationLook(int look);
    void OnHelp();
    void TogglePane(QDockWidget* pane);
    // Binds the child's view to the head pane (once; unbound when it goes).
    void BindHeadView(CChildFrame* child);
    void UpdateExposureBox();
    void UpdateModeChecks();
    void OnPrint(bool withDialog);
    void OnPrintPreview();

    CVELDANpreviewApp& app_;
    std::unique_ptr<QtDocumentUi> ui_;
    COutputWnd* output_ = nullptr;
    QDockWidget* head_ = nullptr;
    Ribbon* ribbon_ = nullptr;
    QMdiArea* mdi_ = nullptr;
    platform::HWND hwnd_ = nullptr;
    int look_ = 0;
};

}  // namespace veldan::preview
