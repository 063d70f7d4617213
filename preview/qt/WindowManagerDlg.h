#pragma once
#include <QDialog>

class QListWidget;
class QMdiArea;
class QPushButton;

namespace veldan::preview {

class DocumentUi;

// "Windows": the open document windows in a list, with Activate, Save and
// Close Window(s) for the selected ones.
class CWindowManagerDlg : public QDialog {
    Q_OBJECT
public:
    CWindowManagerDlg(QMdiArea& area, DocumentUi& ui, QWidget* parent = nullptr);

    QListWidget* List() const { return list_; }
    void Activate();
    void SaveSelected();
    void CloseSelected();

private:
    void Fill();
    void UpdateButtons();

    QMdiArea& area_;
    DocumentUi& ui_;
    QListWidget* list_ = nullptr;
    QPushButton* activate_ = nullptr;
    QPushButton* save_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace veldan::preview
