// CVELDANpreviewApp: start-up, the profile, the worker pool, and new, open and
// import of documents.
#include "PreviewApp.h"
#include <QFileDialog>
#include <QMessageBox>
#include "MainFrame.h"
#include "NewProjectDlg.h"
#include "PreviewChild.h"
#include "QtDocumentUi.h"
#include "VELDANPanoramaProject.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "preview/app/ShellRegistration.h"

namespace veldan::preview {

using platform::PathToWide;
using platform::Profile;
using platform::ProfileFile;
using platform::ProgramFolder;

CVELDANpreviewApp::CVELDANpreviewApp() : profile_(std::make_unique<Profile>(ProfileFile("VELDANpreview"))) {
    InitGlobalThreadPool();
}

CVELDANpreviewApp::~CVELDANpreviewApp() {
    frame_.reset();
    DeinitGlobalThreadPool();
}

bool CVELDANpreviewApp::InitInstance(const QStringList& arguments, bool show) {
    // The registration switches do their work and open no window.
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const ShellSwitch s = ParseShellSwitch(arguments[i].toStdString());
        if (s == ShellSwitch::None) continue;
        std::string error;
        const bool ok = s == ShellSwitch::Register ? RegisterDocumentType(ProgramFolder() / "VELDANpreview", &error)
                                                   : UnregisterDocumentType(&error);
        exitCode_ = ok ? 0 : 1;
        return false;
    }
    // A normal start keeps the file type's registration up to date; failing
    // to write it does not keep the program from running.
    RegisterDocumentType(ProgramFolder() / "VELDANpreview");

    frame_ = std::make_unique<CMainFrame>(*this);
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        if (arguments[i].startsWith(QLatin1Char('-'))) continue;
        OpenDocumentFile(std::filesystem::path(arguments[i].toStdString()));
        break;
    }
    if (show) frame_->showMaximized();
    return true;
}

void CVELDANpreviewApp::OnFileNew() {
    auto doc = std::make_unique<CVELDANpreviewDoc>(documents_);
    CNewProjectDlg dialog(doc->Project(), frame_.get());
    if (dialog.exec() != QDialog::Accepted) return;
    dialog.Apply();
    if (!doc->OnNewDocument(frame_->Ui())) return;
    frame_->AddChild(new CChildFrame(std::move(doc), frame_->Ui()));
}

void CVELDANpreviewApp::OnFileOpen() {
    const QString file = QFileDialog::getOpenFileName(frame_.get(), QString(), QString(),
                                                      QStringLiteral("Panorama Projects (*.vpp);;All Files (*)"));
    if (!file.isEmpty()) OpenDocumentFile(std::filesystem::path(file.toStdString()));
}

CChildFrame* CVELDANpreviewApp::OpenDocumentFile(const std::filesystem::path& file) {
    auto doc = std::make_unique<CVELDANpreviewDoc>(documents_);
    std::string error;
    if (!doc->OnOpenDocument(file, &error)) {
        QMessageBox::critical(frame_.get(), QStringLiteral("VELDANpreview"), QString::fromStdString(error));
        return nullptr;
    }
    auto* child = new CChildFrame(std::move(doc), frame_->Ui());
    frame_->AddChild(child);
    return child;
}

void CVELDANpreviewApp::OnImport() {
    const QString script = QFileDialog::getOpenFileName(frame_.get(), QString(), QStringLiteral("*.txt"));
    if (script.isEmpty()) return;
    auto doc = std::make_unique<CVELDANpreviewDoc>(documents_);
    const std::wstring path = PathToWide(std::filesystem::path(script.toStdString()));
    if (!doc->ImportScript(path.c_str(), frame_->Ui())) return;
    frame_->AddChild(new CChildFrame(std::move(doc), frame_->Ui()));
}

}  // namespace veldan::preview
