#pragma once
#include <QString>
#include <filesystem>
#include <memory>
#include "platform/Profile.h"
#include "preview/document/DocumentList.h"

namespace veldan::preview {

class CMainFrame;
class CChildFrame;

// The application object: the document list (and its lock), the profile
// "VELDANpreview", the project library's worker pool and the main frame.
class CVELDANpreviewApp {
public:
    CVELDANpreviewApp();
    ~CVELDANpreviewApp();
    CVELDANpreviewApp(const CVELDANpreviewApp&) = delete;
    CVELDANpreviewApp& operator=(const CVELDANpreviewApp&) = delete;

    // Builds and shows the main frame; then opens the file named on the
    // command line, if any. False when the program is to end at once (a
    // registration switch was handled, see ExitCode).
    bool InitInstance(const QStringList& arguments, bool show = true);
    int ExitCode() const { return exitCode_; }

    DocumentList& Documents() { return documents_; }
    platform::Profile& ProfileStore() { return *profile_; }
    CMainFrame* MainFrame() const { return frame_.get(); }

    void OnFileNew();
    void OnFileOpen();
    void OnImport();
    // Opens a project file as a new tab; null (and a message) on failure.
    CChildFrame* OpenDocumentFile(const std::filesystem::path& file);

private:
    DocumentList documents_;
    std::unique_ptr<platform::Profile> profile_;
    std::unique_ptr<CMainFrame> frame_;
    int exitCode_ = 0;
};

}  // namespace veldan::preview
