// CVELDANpreviewDoc: new, open, save and close of one project document.
#include "preview/document/VELDANpreviewDoc.h"
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <system_error>
#include "platform/AtomicFile.h"
#include "platform/Text.h"
#include "preview/document/DocumentPaths.h"

using namespace veldan::preview;
namespace fs = std::filesystem;

namespace {
constexpr const wchar_t* kAppCaption = L"VELDANpreview";
}

CVELDANpreviewDoc::CVELDANpreviewDoc(DocumentList& list)
    : list_(list), project_(std::make_unique<VELDANPanoramaProject>()) {
    stitcher_.project = project_.get();
    std::lock_guard<std::mutex> guard(list_.lock_);
    list_.docs_.push_back(this);
}

CVELDANpreviewDoc::~CVELDANpreviewDoc() {
    {
        std::unique_lock<std::mutex> guard(list_.lock_);
        list_.released_.wait(guard, [this] { return busy_ <= 0; });
        busy_ = -1;
        std::erase(list_.docs_, this);
    }
    project_.reset();
}

int32_t CVELDANpreviewDoc::BusyCount() {
    std::lock_guard<std::mutex> guard(list_.lock_);
    return busy_;
}

void CVELDANpreviewDoc::CancelClose() {
    std::lock_guard<std::mutex> guard(list_.lock_);
    if (busy_ == -1) busy_ = 0;
}

void CVELDANpreviewDoc::SetPathName(const fs::path& path, const std::wstring& title) {
    path_ = path;
    title_ = title;
}

bool CVELDANpreviewDoc::SaveUnderProjectName(DocumentUi& ui) {
    const fs::path file = ProjectFilePath(*project_);
    if (!project_->project_path.Get() || !*project_->project_path.Get())
        project_->project_path.Set(veldan::platform::PathToWide(file.parent_path()).c_str());
    SetPathName(file, ProjectTitle(*project_));
    std::error_code ec;
    if (fs::exists(file, ec)) {
        const std::wstring question =
            L"The file " + veldan::platform::PathToWide(file) + L" already exists.\nDo you want to replace it?";
        if (ui.Ask(kAppCaption, question, false) != DocumentUi::Answer::Yes) {
            SetModifiedFlag(true);
            return false;
        }
    }
    std::error_code mk;
    fs::create_directories(file.parent_path(), mk);
    std::string error;
    if (!OnSaveDocument(file, &error)) {
        ui.ShowMessage(kAppCaption, veldan::platform::FromUtf8(error), DocumentUi::Icon::Error);
        SetModifiedFlag(true);
        return false;
    }
    return true;
}

bool CVELDANpreviewDoc::OnNewDocument(DocumentUi& ui) {
    for (uint32_t t = 0; t < project_->TileCount(); ++t) {
        VELDANPanoramaTile* tile = project_->Tile(t);
        if (tile) tile->aspect_ratio = tile->fov_y != 0 ? tile->fov_x / tile->fov_y : 1.0;
    }
    return SaveUnderProjectName(ui);
}

bool CVELDANpreviewDoc::OnOpenDocument(const fs::path& file, std::string* error) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        if (error) *error = "Cannot open " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    MemBlockDesc block;
    char chunk[1024];
    while (in) {
        in.read(chunk, sizeof chunk);
        const std::streamsize got = in.gcount();
        if (got > 0 && !block.Add(chunk, static_cast<size_t>(got))) {
            if (error) *error = "Not enough memory to read " + file.string();
            return false;
        }
    }
    if (in.bad()) {
        if (error) *error = "Cannot read " + file.string();
        return false;
    }
    auto loaded = std::make_unique<VELDANPanoramaProject>();
    if (!loaded->Load(&block)) {
        if (error) *error = file.string() + " is not a panorama project file.";
        return false;
    }
    const fs::path absolute = fs::absolute(file);
    const bool moved = RelocateProject(*loaded, veldan::platform::PathToWide(absolute.parent_path()));
    UpdateAspectRatios(*loaded);
    // Rebind the stitcher before the previous project goes.
    project_.swap(loaded);
    stitcher_.project = project_.get();
    SetPathName(absolute, veldan::platform::PathToWide(absolute.stem()));
    SetModifiedFlag(moved);
    return true;
}

bool CVELDANpreviewDoc::OnSaveDocument(const fs::path& file, std::string* error) {
    MemBlockDesc block;
    if (!project_->Save(&block)) {
        if (error) *error = "The project could not be written to memory.";
        return false;
    }
    if (!veldan::platform::WriteFileAtomically(file, block.GetData(), block.GetLength())) {
        if (error) *error = "Cannot save " + file.string() + ": " + std::strerror(errno);
        return false;
    }
    if (path_ != file) SetPathName(file, veldan::platform::PathToWide(file.stem()));
    SetModifiedFlag(false);
    return true;
}

bool CVELDANpreviewDoc::DoFileSave(DocumentUi& ui) {
    if (path_.empty()) return SaveUnderProjectName(ui);
    std::string error;
    if (OnSaveDocument(path_, &error)) return true;
    ui.ShowMessage(kAppCaption, veldan::platform::FromUtf8(error), DocumentUi::Icon::Error);
    return false;
}

bool CVELDANpreviewDoc::CanCloseFrame(DocumentUi& ui) {
    {
        std::lock_guard<std::mutex> guard(list_.lock_);
        if (busy_ != 0) return false;
        busy_ = -1;
    }
    if (!modified_) return true;
    const DocumentUi::Answer answer = ui.Ask(kAppCaption, L"Save changes to " + title_ + L"?", true);
    if (answer == DocumentUi::Answer::No) return true;
    if (answer == DocumentUi::Answer::Yes && DoFileSave(ui)) return true;
    CancelClose();
    return false;
}
