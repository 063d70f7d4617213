// The export command of a document: a project for PTGui or Autopano,
// opened with the desktop's program for it.
#include "platform/Text.h"
#include "preview/VELDANpreviewDoc.h"

using namespace veldan::preview;

void CVELDANpreviewDoc::OnFileExport(DocumentUi& ui) {
  std::wstring file;
  int filter = 0;
  if (!ui.ChooseExportFile(file, filter)) return;
  // Filters 2 and 4 write the preview variants, which refer to the
  // pictures' preview thumbnails.
  const bool preview = filter == 2 || filter == 4;
  switch (filter) {
    case 1:
    case 2:
      project_->ExportPTgui(file.c_str(), preview);
      break;
    case 3:
    case 4:
      project_->ExportAutopano(file.c_str(), preview);
      break;
    default:
      return;
  }
  // The export's own result does not stop the opening: whatever was
  // written is shown, and the shell reports a missing file itself.
  const wchar_t* folder = project_->project_path.Get();
  ui.OpenWithShell(veldan::PathFromWide(file), folder ? veldan::PathFromWide(folder) : std::filesystem::path());
}
