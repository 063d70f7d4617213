#pragma once
#include <QMap>
#include <QWidget>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QMenu;
class QTabWidget;
class QToolButton;

namespace veldan::preview {

// The program's ribbon: an application button with its menu, a quick access
// toolbar, categories as tabs holding captioned panels of buttons and check
// boxes, and in the tab area the exposure box, the style menu and help.
// Every command is an action carrying its command number; triggering one
// emits command(number).
class Ribbon : public QWidget {
    Q_OBJECT
public:
    explicit Ribbon(QWidget* parent = nullptr);

    // The action of a command number (null when the ribbon has none).
    QAction* Action(int command) const { return actions_.value(command, nullptr); }
    QList<int> Commands() const { return actions_.keys(); }
    QStringList CategoryNames() const;
    QComboBox* ExposureBox() const { return exposure_; }
    QCheckBox* HeadPaneCheck() const { return headCheck_; }
    QCheckBox* LogPaneCheck() const { return logCheck_; }
    QMenu* ApplicationMenu() const { return appMenu_; }
    // Shows the checked visual style in the style menu.
    void SetCheckedLook(int look);

signals:
    void command(int number);

private:
    QAction* MakeAction(int command, const QString& text, const QString& tip = QString());
    QWidget* MakePanel(const QString& caption, QWidget* content);
    QToolButton* MakeButton(QAction* action, bool large);

    QMap<int, QAction*> actions_;
    QTabWidget* categories_ = nullptr;
    QMenu* appMenu_ = nullptr;
    QComboBox* exposure_ = nullptr;
    QCheckBox* headCheck_ = nullptr;
    QCheckBox* logCheck_ = nullptr;
    QActionGroup* looks_ = nullptr;
};

}  // namespace veldan::preview
