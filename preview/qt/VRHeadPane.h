#pragma once
#include <QDockWidget>
#include <QTimer>
#include <memory>
#include "platform/Window.h"
#include "preview/capture/HeadFolderMonitor.h"
#include "preview/head/VRHeadControl.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace veldan::preview {

class CVRButton;
class CVELDANpreviewView;
class QtCaptureMonitorUi;

// The head pane's dialog: shows what the head control reports and forwards
// every command to it. The head control's notification window is a
// registry handle whose messages arrive here as Qt events.
class CVRHeadControlWidget : public QWidget {
    Q_OBJECT
public:
    CVRHeadControlWidget(DocumentList& documents, HeadControlOptions options, QWidget* parent = nullptr);
    ~CVRHeadControlWidget() override;

    CVRHeadControl& Control() { return *control_; }
    // The capture-folder monitor; null when the options had no profile.
    HeadFolderMonitor* Monitor() const { return monitor_.get(); }
    platform::HWND Handle() const { return hwnd_; }
    // Binds the view whose document a capture shoots (null: none).
    void SetView(CVELDANpreviewView* view, CVELDANpreviewDoc* document);
    CVELDANpreviewView* BoundView() const { return view_; }

    QPushButton* OnOffButton() const { return onOff_; }
    QPushButton* PrefsButton() const { return prefs_; }
    QPushButton* StartButton() const { return start_; }
    QPushButton* StopButton() const { return stop_; }
    QPushButton* BreakButton() const { return break_; }
    QPushButton* ZeroButton() const { return zero_; }
    QPushButton* ParkButton() const { return park_; }
    QPushButton* SlowButton() const { return slow_; }
    CVRButton* Pad() const { return pad_; }
    QLabel* HorizontalText() const { return hPos_; }
    QLabel* VerticalText() const { return vPos_; }
    QLabel* Battery() const { return battery_; }
    QComboBox* RecoverBox() const { return recover_; }
    QComboBox* PreshotBox() const { return preshot_; }
    QComboBox* ExposureBox() const { return exposure_; }

signals:
    // The Prefs button while the device is off: the settings dialog opens.
    void preferencesRequested();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Show();
    void OnPrefs();

    // The capture-folder monitor of the head (with a profile only); the
    // head control, reset first, uses it.
    std::unique_ptr<QtCaptureMonitorUi> monitorUi_;
    std::unique_ptr<HeadFolderMonitor> monitor_;
    std::unique_ptr<CVRHeadControl> control_;
    platform::HWND hwnd_ = nullptr;
    CVELDANpreviewView* view_ = nullptr;
    QTimer onOffTimer_;
    QPushButton *onOff_, *prefs_, *start_, *stop_, *break_, *zero_, *park_, *slow_;
    CVRButton* pad_;
    QLabel *hPos_, *vPos_, *battery_;
    QComboBox *recover_, *preshot_, *exposure_;
    int shownBattery_ = 0;
    bool filling_ = false;
};

// The dockable pane "VELDAN VR Head Control".
class CVRHeadPane : public QDockWidget {
    Q_OBJECT
public:
    CVRHeadPane(DocumentList& documents, HeadControlOptions options, QWidget* parent = nullptr);
    CVRHeadControlWidget* Dialog() const { return dialog_; }

private:
    CVRHeadControlWidget* dialog_;
};

}  // namespace veldan::preview
