#pragma once
#include <QDialog>

class QLineEdit;
class VELDANPanoramaProject;

namespace veldan::preview {

// Asks for a new project's description and folder, which name its file
// (<folder>/<description>.vpp) and its image folder.
class CNewProjectDlg : public QDialog {
  Q_OBJECT
public:
  CNewProjectDlg(VELDANPanoramaProject& project, QWidget* parent = nullptr);
  // Writes the entered values into the project.
  void Apply();

private:
  VELDANPanoramaProject& project_;
  QLineEdit* description_ = nullptr;
  QLineEdit* folder_ = nullptr;
};

}  // namespace veldan::preview
