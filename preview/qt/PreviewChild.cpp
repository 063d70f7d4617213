// CChildFrame: the window of one document and its view; closing asks the
// document.
#include "PreviewChild.h"
#include <QCloseEvent>
#include "AppCommands.h"
#include "platform/Text.h"

namespace veldan::preview {

CChildFrame::CChildFrame(std::unique_ptr<CVELDANpreviewDoc> doc, DocumentUi& ui, QWidget* parent)
    : QMdiSubWindow(parent), doc_(std::move(doc)), ui_(ui) {
    setAttribute(Qt::WA_DeleteOnClose);
    view_ = new CVELDANpreviewView(*doc_, ui_, this);
    connect(view_, &CVELDANpreviewView::documentModified, this, &CChildFrame::UpdateTitle);
    setWidget(view_);
    UpdateTitle();
}

// The view goes first: the frame's base classes still send it events (a
// leave, a hide) while they take the window down, and the view answers them
// with the document, a member that is gone by then.
CChildFrame::~CChildFrame() {
    delete view_;
    view_ = nullptr;
}

void CChildFrame::UpdateTitle() {
    setWindowTitle(QString::fromStdWString(doc_->Title()) + (doc_->IsModified() ? QStringLiteral("*") : QString()));
    setToolTip(QString::fromStdString(doc_->PathName().string()));
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    if (!doc_->CanCloseFrame(ui_)) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace veldan::preview
