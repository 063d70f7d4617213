#pragma once
#include <QMdiSubWindow>
#include <QWidget>
#include <memory>
#include "PreviewView.h"
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::preview {

class DocumentUi;

// The child frame of one document: owns the document and its view; closing
// asks the document for permission.
class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    CChildFrame(std::unique_ptr<CVELDANpreviewDoc> doc, DocumentUi& ui, QWidget* parent = nullptr);
    ~CChildFrame() override;
    CVELDANpreviewDoc& Document() { return *doc_; }
    CVELDANpreviewView* View() const { return view_; }
    void UpdateTitle();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    std::unique_ptr<CVELDANpreviewDoc> doc_;
    DocumentUi& ui_;
    CVELDANpreviewView* view_ = nullptr;
};

}  // namespace veldan::preview
