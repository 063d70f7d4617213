#pragma once
#include <QDockWidget>
#include <QListWidget>
#include <string>

class QTabWidget;

namespace veldan::preview {

// The list of log entries: one entry per log text, caret on the last one.
// Its context menu offers Copy, Clear and Hide.
class COutputList : public QListWidget {
    Q_OBJECT
public:
    explicit COutputList(QWidget* parent = nullptr);
    // Adds a log text as one entry (line-end rules of the log).
    void AddText(const std::wstring& text);
    QStringList Entries() const;
    void OnEditCopy();
    void OnEditClear();

signals:
    void hideRequested();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

// The dockable log pane ("Output") at the bottom of the main frame, with one
// tab "Logview" holding the list.
class COutputWnd : public QDockWidget {
    Q_OBJECT
public:
    explicit COutputWnd(QWidget* parent = nullptr);
    COutputList* List() const { return list_; }

private:
    QTabWidget* tabs_ = nullptr;
    COutputList* list_ = nullptr;
};

}  // namespace veldan::preview
