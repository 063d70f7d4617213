// CMainFrame: the ribbon, the document tabs, the log and head panes, and the
// log texts of every thread.
#include "MainFrame.h"
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include "AppCommands.h"
#include "OutputWnd.h"
#include "PreviewApp.h"
#include "PreviewChild.h"
#include "QtDocumentUi.h"
#include "Ribbon.h"
#include "SettingsDlg.h"
#include "VRHeadPane.h"
#include "VisualStyle.h"
#include "WindowManagerDlg.h"
#include "platform/Folders.h"
#include "platform/Shell.h"
#include "preview/app/ExposureLabel.h"
#include "preview/app/LogText.h"
#include "preview/app/ManualFile.h"
#include "preview/view/DisplayMode.h"

namespace veldan::preview {

using platform::Message;
using platform::RegisterWindow;
using platform::ShellOpen;
using platform::UnregisterWindow;

namespace {

// A log text on its way to the window thread; owns its block, so a text
// still queued when the frame goes is freed with the event.
class LogTextEvent : public QEvent {
public:
    static QEvent::Type Kind() {
        static const int kind = QEvent::registerEventType();
        return static_cast<QEvent::Type>(kind);
    }
    explicit LogTextEvent(std::unique_ptr<wchar_t[]> text) : QEvent(Kind()), text_(std::move(text)) {}
    const wchar_t* Text() const { return text_.get(); }

private:
    std::unique_ptr<wchar_t[]> text_;
};

const wchar_t* const kLookSection = L"Application";
const wchar_t* const kLookKey = L"ApplicationLook";

}  // namespace

CMainFrame::CMainFrame(CVELDANpreviewApp& app) : app_(app), ui_(std::make_unique<QtDocumentUi>(this)) {
    setObjectName(QStringLiteral("MainFrame"));
    setWindowTitle(QStringLiteral("VELDANpreview"));

    look_ = NormalizedLook(app_.ProfileStore().GetInt(kLookSection, kLookKey, cmd::kLookDefault));
    ApplyVisualStyle(look_);

    mdi_ = new QMdiArea(this);
    mdi_->setObjectName(QStringLiteral("Documents"));
    mdi_->setViewMode(QMdiArea::TabbedView);
    mdi_->setTabsClosable(true);
    mdi_->setTabsMovable(true);
    mdi_->setDocumentMode(true);
    setCentralWidget(mdi_);

    ribbon_ = new Ribbon(this);
    setMenuWidget(ribbon_);
    ribbon_->SetCheckedLook(look_);
    connect(ribbon_, &Ribbon::command, this, &CMainFrame::OnCommand);

    setDockOptions(QMainWindow::AnimatedDocks | QMainWindow::AllowTabbedDocks);
    output_ = new COutputWnd(this);
    output_->setAllowedAreas(Qt::AllDockWidgetAreas);
    addDockWidget(Qt::BottomDockWidgetArea, output_);
    // The head pane: the head control's dialog.
    HeadControlOptions headOptions;
    headOptions.profile = &app_.ProfileStore();
    auto* headPane = new CVRHeadPane(app_.Documents(), headOptions, this);
    head_ = headPane;
    connect(headPane->Dialog(), &CVRHeadControlWidget::preferencesRequested, this,
            [this] { ShowDeviceSettingsDialog(this, app_.ProfileStore()); });
    head_->setObjectName(QStringLiteral("VRHeadPane_%1").arg(cmd::kViewHeadPane));
    head_->setAllowedAreas(Qt::AllDockWidgetAreas);
    head_->setMinimumSize(200, 200);
    addDockWidget(Qt::RightDockWidgetArea, head_);

    // The ribbon's check boxes follow the panes, however they were hidden.
    connect(output_, &QDockWidget::visibilityChanged, this,
            [this] { ribbon_->LogPaneCheck()->setChecked(!output_->isHidden()); });
    connect(head_, &QDockWidget::visibilityChanged, this,
            [this] { ribbon_->HeadPaneCheck()->setChecked(!head_->isHidden()); });
    ribbon_->LogPaneCheck()->setChecked(true);
    ribbon_->HeadPaneCheck()->setChecked(true);

    connect(mdi_, &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* window) {
        UpdateExposureBox();
        UpdateModeChecks();
        BindHeadView(qobject_cast<CChildFrame*>(window));
    });
    connect(ribbon_->ExposureBox(), qOverload<int>(&QComboBox::activated), this, [this](int index) {
        if (CChildFrame* child = ActiveChild(); child && child->View())
            child->View()->SetShownExposure(ribbon_->ExposureBox()->itemData(index).toUInt());
    });

    // Log texts of every thread arrive through this handle. The sink runs on
    // the posting thread and only queues an event for the window thread.
    hwnd_ = RegisterWindow([this](const Message& m) {
        if (m.message == WM_LOG_TEXT) QCoreApplication::postEvent(this, new LogTextEvent(TakeLogText(m.wParam)));
    });
    SetLogWindow(hwnd_);
    resize(1280, 800);
}

CMainFrame::~CMainFrame() {
    // Child widgets still signal while the base classes take them down; none
    // of that may reach this frame's handlers any more.
    for (QObject* sender : {static_cast<QObject*>(output_), static_cast<QObject*>(head_), static_cast<QObject*>(mdi_),
                            static_cast<QObject*>(ribbon_), static_cast<QObject*>(ribbon_->ExposureBox())})
        disconnect(sender, nullptr, this, nullptr);
    // From here on log texts are dropped; texts still queued go with the
    // frame's pending events.
    if (LogWindow() == hwnd_) SetLogWindow(nullptr);
    UnregisterWindow(hwnd_);
}

bool CMainFrame::event(QEvent* event) {
    if (event->type() == LogTextEvent::Kind()) {
        const auto* log = static_cast<LogTextEvent*>(event);
        output_->List()->AddText(log->Text() ? log->Text() : L"");
        return true;
    }
    return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    mdi_->closeAllSubWindows();
    if (!mdi_->subWindowList().isEmpty()) {
        event->ignore();
        return;
    }
    event->accept();
}

CChildFrame* CMainFrame::ActiveChild() const {
    QMdiSubWindow* w = mdi_->activeSubWindow();
    if (!w && !mdi_->subWindowList().isEmpty()) w = mdi_->subWindowList().back();
    return qobject_cast<CChildFrame*>(w);
}

void CMainFrame::AddChild(CChildFrame* child) {
    mdi_->addSubWindow(child);
    child->showMaximized();
    mdi_->setActiveSubWindow(child);
    UpdateExposureBox();
    // The area reports no activation while it is hidden (a project named on
    // the command line opens before the window shows) or while the window is
    // not active: the new tab is bound to the head all the same, as its
    // activation would bind it.
    BindHeadView(child);
}

void CMainFrame::BindHeadView(CChildFrame* child) {
    // The activated view is the one a capture shoots; it is unbound when its
    // frame goes (activation moving to a pane does not unbind it).
    auto* headPane = static_cast<CVRHeadPane*>(head_);
    if (!child || !child->View() || !headPane) return;
    if (headPane->Dialog()->BoundView() == child->View()) return;
    headPane->Dialog()->SetView(child->View(), &child->Document());
    connect(child, &QObject::destroyed, headPane, [headPane, view = child->View()] {
        if (headPane->Dialog()->BoundView() == view) headPane->Dialog()->SetView(nullptr, nullptr);
    });
}

void CMainFrame::OnCommand(int command) {
    CChildFrame* child = ActiveChild();
    switch (command) {
        case cmd::kFileNew: app_.OnFileNew(); break;
        case cmd::kFileOpen: app_.OnFileOpen(); break;
        case cmd::kImport: app_.OnImport(); break;
        case cmd::kFileSave:
            if (child && child->Document().DoFileSave(*ui_)) child->UpdateTitle();
            break;
        case cmd::kFileSaveAs:
            if (child) {
                QString file = QFileDialog::getSaveFileName(
                    this, tr("Save As"), QString::fromStdString(child->Document().PathName().string()),
                    QStringLiteral("Panorama Projects (*.vpp)"));
                if (!file.isEmpty() && !file.endsWith(QLatin1String(".vpp"), Qt::CaseInsensitive))
                    file += QStringLiteral(".vpp");
                if (!file.isEmpty()) {
                    std::string error;
                    if (child->Document().OnSaveDocument(std::filesystem::path(file.toStdString()), &error))
                        child->UpdateTitle();
                    else
                        QMessageBox::critical(this, QStringLiteral("VELDANpreview"), QString::fromStdString(error));
                }
            }
            break;
        case cmd::kExport:
            if (child) child->Document().OnFileExport(*ui_);
            break;
        case cmd::kFileClose:
            if (child) child->close();
            break;
        case cmd::kFilePrint: OnPrint(true); break;
        case cmd::kFilePrintDirect: OnPrint(false); break;
        case cmd::kFilePrintPreview: OnPrintPreview(); break;
        case cmd::kFilePrintSetup: {
            QPrinter printer;
            QPageSetupDialog(&printer, this).exec();
            break;
        }
        case cmd::kAppExit: close(); break;
        case cmd::kFlowChart:
        case cmd::kWarped:
        case cmd::kBlended:
        case kCmdVrTour:
        case kCmdMeasuring:
            if (child && child->View()) child->View()->SetMode(command);
            UpdateModeChecks();
            break;
        case cmd::kViewHeadPane: TogglePane(head_); break;
        case cmd::kViewLogPane: TogglePane(output_); break;
        case cmd::kWindowManager: {
            CWindowManagerDlg dialog(*mdi_, *ui_, this);
            dialog.exec();
            break;
        }
        case cmd::kHelpFinder:
        case cmd::kHelp:
        case cmd::kHelpUsing:
        case cmd::kContextHelp: OnHelp(); break;
        default:
            if (command >= cmd::kLookFirst && command <= cmd::kLookLast) OnApplicationLook(command);
            break;
    }
}

void CMainFrame::TogglePane(QDockWidget* pane) {
    pane->setVisible(pane->isHidden());
    ribbon_->LogPaneCheck()->setChecked(!output_->isHidden());
    ribbon_->HeadPaneCheck()->setChecked(!head_->isHidden());
}

void CMainFrame::OnApplicationLook(int look) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    look_ = NormalizedLook(look);
    ApplyVisualStyle(look_);
    ribbon_->SetCheckedLook(look_);
    app_.ProfileStore().WriteInt(kLookSection, kLookKey, look_);
    update();
    QApplication::restoreOverrideCursor();
}

void CMainFrame::OnHelp() {
    // Beside the program first, then the installation's documentation folder.
    const std::filesystem::path manual = ManualFile();
    if (manual.empty()) {
        QString searched;
        for (const std::filesystem::path& candidate : ManualCandidates())
            searched += QStringLiteral("\n") + QString::fromStdString(candidate.string());
        QMessageBox::warning(this, QStringLiteral("VELDANpreview"),
                             tr("The manual VELDANpreview.pdf is missing. Looked for:%1").arg(searched));
        return;
    }
    std::string error;
    if (!ShellOpen(manual, &error))
        QMessageBox::warning(this, QStringLiteral("VELDANpreview"), QString::fromStdString(error));
}

void CMainFrame::UpdateExposureBox() {
    QComboBox* box = ribbon_->ExposureBox();
    box->clear();
    CChildFrame* child = ActiveChild();
    if (!child) {
        box->setEnabled(false);
        return;
    }
    VELDANPanoramaProject& project = child->Document().Project();
    if (VELDANPanoramaTile* tile = project.Tile(0)) {
        if (VELDANPanoramaBracketing* b = tile->Bracketing(0)) {
            for (uint32_t i = 0; i < b->GetImageCnt(); ++i) {
                VELDANPanoramaImage* image = b->images ? b->images[i].get() : nullptr;
                box->addItem(QString::fromStdWString(ExposureLabel(image ? image->ev : 0)), i);
            }
        }
    }
    if (child->View()) box->setCurrentIndex(box->findData(child->View()->ShownExposure()));
    box->setEnabled(project.hdri.enabled && project.hdri.count > 1);
}

void CMainFrame::UpdateModeChecks() {
    CChildFrame* child = ActiveChild();
    const uint32_t mode = child && child->View() ? child->View()->Mode() : 0;
    for (int c : {cmd::kFlowChart, cmd::kWarped, cmd::kBlended})
        if (QAction* a = ribbon_->Action(c)) a->setChecked(ModeCommandChecked(c, mode));
}

void CMainFrame::OnPrint(bool withDialog) {
    CChildFrame* child = ActiveChild();
    if (!child) return;
    QPrinter printer(QPrinter::HighResolution);
    if (withDialog) {
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() != QDialog::Accepted) return;
    }
    QPainter painter(&printer);
    child->View()->Render(painter, painter.viewport(), true);
}

void CMainFrame::OnPrintPreview() {
    CChildFrame* child = ActiveChild();
    if (QAction* a = ribbon_->Action(cmd::kFilePrintPreview)) a->setChecked(true);
    if (child) {
        QPrintPreviewDialog preview(this);
        connect(&preview, &QPrintPreviewDialog::paintRequested, this, [child](QPrinter* printer) {
            QPainter painter(printer);
            child->View()->Render(painter, painter.viewport(), true);
        });
        preview.exec();
    }
    if (QAction* a = ribbon_->Action(cmd::kFilePrintPreview)) a->setChecked(false);
}

}  // namespace veldan::preview
