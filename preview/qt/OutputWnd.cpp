// COutputWnd and COutputList: the log pane's entries and their Copy, Clear and
// Hide menu.
#include "OutputWnd.h"
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QMenu>
#include <QTabWidget>
#include "AppCommands.h"
#include "preview/app/LogLines.h"

namespace veldan::preview {

COutputList::COutputList(QWidget* parent) : QListWidget(parent) {
    setObjectName(QStringLiteral("OutputList"));
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setUniformItemSizes(false);
    setFont(QFontDatabase::systemFont(QFontDatabase::GeneralFont));
}

void COutputList::AddText(const std::wstring& text) {
    addItem(QString::fromStdWString(LogEntryFromText(text)));
    setCurrentRow(count() - 1);
    scrollToItem(item(count() - 1));
}

QStringList COutputList::Entries() const {
    QStringList out;
    for (int i = 0; i < count(); ++i) out << item(i)->text();
    return out;
}

void COutputList::OnEditCopy() {
    std::vector<std::wstring> entries;
    for (int i = 0; i < count(); ++i) entries.push_back(item(i)->text().toStdWString());
    QApplication::clipboard()->setText(QString::fromStdWString(JoinLogEntries(entries)));
}

void COutputList::OnEditClear() { clear(); }

void COutputList::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copy = menu.addAction(tr("&Copy"));
    copy->setData(cmd::kEditCopy);
    QAction* clearAll = menu.addAction(tr("&Clear"));
    clearAll->setData(cmd::kEditClear);
    QAction* hide = menu.addAction(tr("&Hide"));
    hide->setData(cmd::kViewLogPane);
    QAction* chosen = menu.exec(event->globalPos());
    if (chosen == copy)
        OnEditCopy();
    else if (chosen == clearAll)
        OnEditClear();
    else if (chosen == hide)
        emit hideRequested();
}

COutputWnd::COutputWnd(QWidget* parent) : QDockWidget(tr("Output"), parent) {
    setObjectName(QStringLiteral("OutputWnd_%1").arg(cmd::kViewLogPane));
    tabs_ = new QTabWidget(this);
    tabs_->setDocumentMode(true);
    tabs_->setTabPosition(QTabWidget::South);
    list_ = new COutputList(tabs_);
    tabs_->addTab(list_, tr("Logview"));
    setWidget(tabs_);
    setMinimumSize(100, 100);
    for (const wchar_t* line : kLogHeaderLines) list_->AddText(line);
    connect(list_, &COutputList::hideRequested, this, [this] {
        if (parentWidget()) parentWidget()->setFocus();
        hide();
    });
}

}  // namespace veldan::preview
