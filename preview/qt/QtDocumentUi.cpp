// QtDocumentUi: the document's questions, file choices and progress as Qt
// dialogs.
#include "QtDocumentUi.h"
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include "platform/Shell.h"
#include "platform/Text.h"

namespace veldan::preview {

using platform::PathToWide;
using platform::ShellOpen;

QtDocumentUi::QtDocumentUi(QWidget* owner) : owner_(owner) {}
QtDocumentUi::~QtDocumentUi() = default;

DocumentUi::Answer QtDocumentUi::Ask(const std::wstring& caption, const std::wstring& text, bool withCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (withCancel) buttons |= QMessageBox::Cancel;
    const auto r = QMessageBox::question(owner_, QString::fromStdWString(caption), QString::fromStdWString(text),
                                         buttons, QMessageBox::Yes);
    if (r == QMessageBox::Yes) return Answer::Yes;
    if (r == QMessageBox::No) return Answer::No;
    return withCancel ? Answer::Cancel : Answer::No;
}

void QtDocumentUi::ShowMessage(const std::wstring& caption, const std::wstring& text, Icon icon) {
    const QString c = QString::fromStdWString(caption), t = QString::fromStdWString(text);
    switch (icon) {
        case Icon::Error: QMessageBox::critical(owner_, c, t); break;
        case Icon::Warning: QMessageBox::warning(owner_, c, t); break;
        case Icon::Question: QMessageBox::information(owner_, c, t); break;
    }
}

std::vector<std::wstring> QtDocumentUi::SelectImageFiles() {
    const QStringList chosen = QFileDialog::getOpenFileNames(
        owner_, QString(), QString(),
        QStringLiteral("Images (*.jpg, *.tif, *.cr2, *.nef) (*.jpg *.tif *.cr2 *.nef *.JPG *.TIF *.CR2 *.NEF);;"
                       "All Files (*.*) (*)"));
    std::vector<std::wstring> out;
    out.reserve(chosen.size());
    for (const QString& f : chosen) out.push_back(PathToWide(std::filesystem::path(f.toStdString())));
    return out;
}

bool QtDocumentUi::ChooseExportFile(std::wstring& file, int& filter) {
    const QStringList filters = {
        QStringLiteral("PTgui Project (*.pts)"), QStringLiteral("PTgui Project Preview (*.pts)"),
        QStringLiteral("Autopano Pro/Giga (*.pano)"), QStringLiteral("Autopano Pro/Giga Preview (*.pano)"),
        QStringLiteral("Hugin Project (*.pto)")};
    QFileDialog dialog(owner_);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilters(filters);
    dialog.setDefaultSuffix(QStringLiteral("pts"));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog](const QString& f) {
        dialog.setDefaultSuffix(f.contains(QLatin1String(".pano"))  ? QStringLiteral("pano")
                                : f.contains(QLatin1String(".pto")) ? QStringLiteral("pto")
                                                                    : QStringLiteral("pts"));
    });
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    file = PathToWide(std::filesystem::path(dialog.selectedFiles().front().toStdString()));
    filter = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return filter >= 1;
}

void QtDocumentUi::ProgressBegin(uint32_t range) {
    progress_ = std::make_unique<QProgressDialog>(owner_);
    progress_->setWindowFlag(Qt::FramelessWindowHint);
    progress_->setRange(0, static_cast<int>(range));
    progress_->setMinimumDuration(0);
    progress_->setValue(0);
    progress_->show();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void QtDocumentUi::ProgressSet(uint32_t position) {
    if (!progress_) return;
    progress_->setValue(static_cast<int>(position));
    QApplication::processEvents();
}

bool QtDocumentUi::ProgressCancelled() { return progress_ && progress_->wasCanceled(); }

void QtDocumentUi::ProgressEnd() { progress_.reset(); }

void QtDocumentUi::OpenWithShell(const std::filesystem::path& file, const std::filesystem::path&) {
    std::string error;
    if (!ShellOpen(file, &error))
        QMessageBox::warning(owner_, QStringLiteral("VELDANpreview"), QString::fromStdString(error));
}

}  // namespace veldan::preview
