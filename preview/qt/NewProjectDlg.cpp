#include "NewProjectDlg.h"
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include "VELDANPanoramaProject.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "preview/DocumentPaths.h"

namespace veldan::preview {

CNewProjectDlg::CNewProjectDlg(VELDANPanoramaProject& project, QWidget* parent) : QDialog(parent), project_(project) {
  setWindowTitle(tr("New Project"));
  auto* form = new QFormLayout(this);
  description_ = new QLineEdit(QString::fromStdWString(ProjectTitle(project)), this);
  description_->setObjectName(QStringLiteral("Description"));
  form->addRow(tr("Description:"), description_);

  const wchar_t* stored = project.project_path.Get();
  const QString folder = stored && *stored ? QString::fromStdWString(stored)
                                           : QString::fromStdString(DocumentsFolder().string());
  folder_ = new QLineEdit(folder, this);
  folder_->setObjectName(QStringLiteral("Folder"));
  auto* browse = new QPushButton(tr("Browse..."), this);
  connect(browse, &QPushButton::clicked, this, [this] {
    const QString chosen = QFileDialog::getExistingDirectory(this, tr("Project Folder"), folder_->text());
    if (!chosen.isEmpty()) folder_->setText(chosen);
  });
  auto* row = new QHBoxLayout;
  row->addWidget(folder_, 1);
  row->addWidget(browse);
  form->addRow(tr("Project folder:"), row);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  // A project needs a name and a folder.
  auto validate = [this, buttons] {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!description_->text().trimmed().isEmpty() &&
                                                       !folder_->text().trimmed().isEmpty());
  };
  connect(description_, &QLineEdit::textChanged, this, validate);
  connect(folder_, &QLineEdit::textChanged, this, validate);
  form->addRow(buttons);
  resize(520, sizeHint().height());
}

void CNewProjectDlg::Apply() {
  project_.description.Set(description_->text().trimmed().toStdWString().c_str());
  const std::filesystem::path folder(folder_->text().trimmed().toStdString());
  project_.project_path.Set(PathToWide(folder).c_str());
}

}  // namespace veldan::preview
