// CWindowManagerDlg: the open document windows with Activate, Save and Close.
#include "WindowManagerDlg.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include "PreviewChild.h"

namespace veldan::preview {
namespace {

// The list items remember their window; a window closed meanwhile reads null.
CChildFrame* FrameOf(QListWidgetItem* item) {
    return qobject_cast<CChildFrame*>(item->data(Qt::UserRole).value<QObject*>());
}

}  // namespace

CWindowManagerDlg::CWindowManagerDlg(QMdiArea& area, DocumentUi& ui, QWidget* parent)
    : QDialog(parent), area_(area), ui_(ui) {
    setWindowTitle(tr("Windows"));
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    activate_ = new QPushButton(tr("&Activate"), this);
    save_ = new QPushButton(tr("&Save"), this);
    close_ = new QPushButton(tr("&Close Window(s)"), this);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setDefault(true);

    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {ok, activate_, save_, close_}) buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(activate_, &QPushButton::clicked, this, &CWindowManagerDlg::Activate);
    connect(save_, &QPushButton::clicked, this, &CWindowManagerDlg::SaveSelected);
    connect(close_, &QPushButton::clicked, this, &CWindowManagerDlg::CloseSelected);
    connect(list_, &QListWidget::itemSelectionChanged, this, &CWindowManagerDlg::UpdateButtons);
    connect(list_, &QListWidget::itemDoubleClicked, this, &CWindowManagerDlg::Activate);
    Fill();
}

void CWindowManagerDlg::Fill() {
    list_->clear();
    // The current window, also while the program itself is not active.
    QMdiSubWindow* active = area_.currentSubWindow();
    for (QMdiSubWindow* window : area_.subWindowList()) {
        auto* frame = qobject_cast<CChildFrame*>(window);
        if (!frame) continue;
        auto* item = new QListWidgetItem(frame->windowTitle(), list_);
        item->setData(Qt::UserRole, QVariant::fromValue<QObject*>(frame));
        if (window == active) item->setSelected(true);
    }
    UpdateButtons();
}

void CWindowManagerDlg::UpdateButtons() {
    const int selected = static_cast<int>(list_->selectedItems().size());
    activate_->setEnabled(selected == 1);
    save_->setEnabled(selected > 0);
    close_->setEnabled(selected > 0);
}

void CWindowManagerDlg::Activate() {
    const auto selected = list_->selectedItems();
    if (selected.size() != 1) return;
    if (CChildFrame* frame = FrameOf(selected.front())) area_.setActiveSubWindow(frame);
    accept();
}

void CWindowManagerDlg::SaveSelected() {
    for (QListWidgetItem* item : list_->selectedItems()) {
        CChildFrame* frame = FrameOf(item);
        if (frame && frame->Document().DoFileSave(ui_)) frame->UpdateTitle();
    }
    Fill();
}

void CWindowManagerDlg::CloseSelected() {
    // Each close asks its document (busy documents refuse, modified ones ask
    // whether to save); refused windows stay in the list.
    std::vector<QPointer<CChildFrame>> frames;
    for (QListWidgetItem* item : list_->selectedItems())
        if (CChildFrame* frame = FrameOf(item)) frames.emplace_back(frame);
    for (const QPointer<CChildFrame>& frame : frames)
        if (frame) frame->close();
    Fill();
}

}  // namespace veldan::preview
