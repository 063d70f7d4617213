// The script import of a document: the project from a shooting script, then
// the image files that were shot with it, optionally copied or moved into
// the project folder, given to the images in shooting order.
#include <algorithm>
#include <system_error>
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "preview/document/VELDANpreviewDoc.h"

using namespace veldan::preview;
namespace fs = std::filesystem;

namespace {

constexpr const wchar_t* kImportCaption = L"Import VELDANscript";

// Copies or moves every file into folder; false when the user stopped it or
// a file could not be transferred (what was done stays done: moved files
// are in the folder, none is lost).
bool TransferFiles(std::vector<std::wstring>& files, const fs::path& folder, bool keepOriginals, DocumentUi& ui) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    ui.ProgressBegin(static_cast<uint32_t>(files.size()));
    bool ok = true;
    for (size_t k = 0; k < files.size() && ok; ++k) {
        if (ui.ProgressCancelled()) {
            ok = false;
            break;
        }
        const fs::path source = veldan::platform::PathFromWide(files[k]);
        const fs::path target = folder / source.filename();
        std::error_code same;
        if (!fs::equivalent(source, target, same)) {
            bool replace = false;
            bool skip = false;
            if (fs::exists(target, ec)) {
                const DocumentUi::Answer a = ui.Ask(kImportCaption,
                                                    L"The file " + veldan::platform::PathToWide(target) +
                                                        L" already exists.\nDo you want to replace it?",
                                                    true);
                if (a == DocumentUi::Answer::Cancel) {
                    ok = false;
                    break;
                }
                replace = a == DocumentUi::Answer::Yes;
                skip = !replace;
            }
            if (!skip) {
                const veldan::platform::FileOpResult r = keepOriginals
                                                             ? veldan::platform::CopyFile(source, target, !replace)
                                                             : veldan::platform::MoveFile(source, target, replace);
                if (!r) {
                    ui.ShowMessage(kImportCaption, veldan::platform::FromUtf8(r.message), DocumentUi::Icon::Error);
                    ok = false;
                    break;
                }
            }
        }
        files[k] = veldan::platform::PathToWide(target);
        ui.ProgressSet(static_cast<uint32_t>(k + 1));
    }
    ui.ProgressEnd();
    return ok;
}

// Gives file k to the k-th image in shooting order.
void AssignFiles(VELDANPanoramaProject& project, const std::vector<std::wstring>& files, DocumentUi& ui) {
    ui.ProgressBegin(static_cast<uint32_t>(files.size()));
    size_t k = 0;
    for (uint32_t t = 0; k < files.size(); ++t) {
        VELDANPanoramaTile* tile = project.Tile(t);
        if (!tile) break;
        for (uint32_t b = 0; k < files.size(); ++b) {
            VELDANPanoramaBracketing* bracketing = tile->Bracketing(b);
            if (!bracketing) break;
            for (uint32_t i = 0; k < files.size() && i < bracketing->GetImageCnt(); ++i) {
                VELDANPanoramaImage* image = bracketing->GetImage(i);
                if (!image) break;
                image->SetFilename(files[k].c_str());
                const uint32_t w = image->GetWidth(), h = image->GetHeight();
                if (w && h) tile->aspect_ratio = static_cast<double>(w) / h;
                ++k;
                ui.ProgressSet(static_cast<uint32_t>(k));
            }
        }
    }
    ui.ProgressEnd();
}

}  // namespace

bool CVELDANpreviewDoc::ImportScript(const wchar_t* scriptPath, DocumentUi& ui) {
    // A script that cannot be read leaves the project as it was; the images
    // are still offered.
    project_->ImportVELDANscript(scriptPath, 0);

    std::vector<std::wstring> files = ui.SelectImageFiles();
    // Plain code-unit order, as a repeated neighbour swap would leave them.
    std::sort(files.begin(), files.end());
    if (!files.empty() &&
        ui.Ask(kImportCaption, L"Do you want to store the images within the project directory ? (recommended)",
               false) == DocumentUi::Answer::Yes) {
        const wchar_t* stored = project_->project_path.Get();
        const fs::path folder =
            stored && *stored ? veldan::platform::PathFromWide(stored) : veldan::platform::DocumentsFolder();
        const bool keep = ui.Ask(kImportCaption, L"Do you want to keep the original files at their current location ?",
                                 false) == DocumentUi::Answer::Yes;
        if (!TransferFiles(files, folder, keep, ui)) {
            ui.ShowMessage(kImportCaption, L"File operation cancelled. No Images will be imported!",
                           DocumentUi::Icon::Error);
            files.clear();
        }
    }
    if (!files.empty()) AssignFiles(*project_, files, ui);
    // The document stays even when its file could not be written: the user
    // can still save it elsewhere.
    SaveUnderProjectName(ui);
    return true;
}
