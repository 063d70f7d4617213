#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include "VELDANPanoramaProject.h"
#include "preview/document/DocumentList.h"
#include "preview/document/DocumentUi.h"

// One document of the desktop program: one panorama project stored as one
// project file. All operations run on the window thread; only the busy
// counter is shared with background threads (under the document list's
// lock).
class CVELDANpreviewDoc {
public:
    // Registers the document in list; the list must outlive it.
    explicit CVELDANpreviewDoc(veldan::preview::DocumentList& list);
    // Waits until no background operation holds the document, then leaves
    // the list.
    ~CVELDANpreviewDoc();
    CVELDANpreviewDoc(const CVELDANpreviewDoc&) = delete;
    CVELDANpreviewDoc& operator=(const CVELDANpreviewDoc&) = delete;

    VELDANPanoramaProject& Project() { return *project_; }
    // The composite preview of the project (always bound to the current one).
    VELDANPanoramaStitcher& Stitcher() { return stitcher_; }

    // New project with the project's current properties: aspect ratios from
    // the fields of view, title and path from description and folder, and the
    // file written at once. An existing file of that name is only replaced
    // when the user agrees.
    bool OnNewDocument(veldan::preview::DocumentUi& ui);
    // Loads a project file, relocating a moved project. False with a readable
    // error; the document is unchanged then.
    bool OnOpenDocument(const std::filesystem::path& file, std::string* error = nullptr);
    // Writes the project file atomically: a failed save leaves the previous
    // file as it was. On success the document's path becomes file.
    bool OnSaveDocument(const std::filesystem::path& file, std::string* error = nullptr);

    // Builds the project from a shooting script and imports the image files
    // the user chooses; then saves under the project's own name.
    bool ImportScript(const wchar_t* scriptPath, veldan::preview::DocumentUi& ui);
    // The export command: PTGui or Autopano project, opened with the shell.
    void OnFileExport(veldan::preview::DocumentUi& ui);

    // Close permission: refused while background work holds the document;
    // otherwise the document is marked closing and a modified document asks
    // whether to save (Cancel keeps it open and closable later).
    bool CanCloseFrame(veldan::preview::DocumentUi& ui);
    // Save of a modified document: its path, or false when it has none.
    bool DoFileSave(veldan::preview::DocumentUi& ui);

    const std::wstring& Title() const { return title_; }
    const std::filesystem::path& PathName() const { return path_; }
    void SetPathName(const std::filesystem::path& path, const std::wstring& title);
    bool IsModified() const { return modified_; }
    void SetModifiedFlag(bool modified = true) { modified_ = modified; }
    // The busy counter (read under the list's lock).
    int32_t BusyCount();
    // Takes back a closing state after the frame decided not to close.
    void CancelClose();

private:
    // Writes the project under its own name (new project, import); asks
    // before replacing an existing file.
    bool SaveUnderProjectName(veldan::preview::DocumentUi& ui);

    friend class veldan::preview::DocumentList;

    veldan::preview::DocumentList& list_;
    // Declared before the project so that it is destroyed after it.
    VELDANPanoramaStitcher stitcher_;
    std::unique_ptr<VELDANPanoramaProject> project_;
    int32_t busy_ = 0;  // >0 held by background work, -1 closing; under list_.lock_
    std::wstring title_;
    std::filesystem::path path_;
    bool modified_ = false;
};
