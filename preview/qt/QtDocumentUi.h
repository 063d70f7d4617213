#pragma once
#include <QPointer>
#include <memory>
#include "preview/document/DocumentUi.h"

class QProgressDialog;
class QWidget;

namespace veldan::preview {

// The document's questions and file choices as Qt dialogs over the main
// window.
class QtDocumentUi : public DocumentUi {
public:
    explicit QtDocumentUi(QWidget* owner);
    ~QtDocumentUi() override;

    Answer Ask(const std::wstring& caption, const std::wstring& text, bool withCancel) override;
    void ShowMessage(const std::wstring& caption, const std::wstring& text, Icon icon) override;
    std::vector<std::wstring> SelectImageFiles() override;
    bool ChooseExportFile(std::wstring& file, int& filter) override;
    void ProgressBegin(uint32_t range) override;
    void ProgressSet(uint32_t position) override;
    bool ProgressCancelled() override;
    void ProgressEnd() override;
    void OpenWithShell(const std::filesystem::path& file, const std::filesystem::path& workingFolder) override;

private:
    QPointer<QWidget> owner_;
    std::unique_ptr<QProgressDialog> progress_;
};

}  // namespace veldan::preview
