#pragma once
#include <QDialog>
#include "platform/Profile.h"
#include "preview/head/DeviceSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace veldan::preview {

// The device settings dialog ("VELDANconfig"): the device configuration
// that the control library reads when the head is switched on, and the
// program's capture directory. Save writes both and closes; Cancel writes
// nothing.
class CVeldanConfigDlg : public QDialog {
    Q_OBJECT
public:
    // Control numbers of the dialog, kept as the widgets' object names
    // ("control1002", ...) so that scripts and tests find them.
    enum Control {
        kSave = 1,
        kCancel = 2,
        kBrowse = 1000,
        kModel = 1002,
        kPort = 1004,
        kSimultaneous = 1005,
        kVerbose = 1006,
        kPacketRate = 1007,
        kTwisting = 1008,
        kHorizontalGear = 1009,
        kVerticalGear = 1010,
        kLowerLimit = 1012,
        kUpperLimit = 1013,
        kRecoverTime = 1032,
        kPreshotTime = 1033,
        kCaptureDirectory = 1054,
    };

    CVeldanConfigDlg(veldan::platform::Profile& profile, QWidget* parent = nullptr,
                     DeviceSettingsFolders folders = DeviceSettingsFolders::Default(),
                     DeviceSettingsModel::PortLister ports = {});

    DeviceSettingsModel& Model() { return model_; }
    // The problem shown in the dialog (an unreadable or unwritable
    // settings.cfg); empty when there is none.
    QString Problem() const;

    // Save button: stores the values; closes unless settings.cfg could not be
    // written (the reason is then shown in the dialog).
    void OnSave();
    void OnBrowse();

private:
    DeviceSettingsForm ReadForm() const;

    DeviceSettingsModel model_;
    QComboBox* modelBox_ = nullptr;
    QComboBox* portBox_ = nullptr;
    QComboBox* rateBox_ = nullptr;
    QCheckBox* simultaneous_ = nullptr;
    QCheckBox* verbose_ = nullptr;
    QComboBox* upperBox_ = nullptr;
    QComboBox* lowerBox_ = nullptr;
    QCheckBox* twisting_ = nullptr;
    QLineEdit* captureDirectory_ = nullptr;
    QComboBox* recoverBox_ = nullptr;
    QComboBox* preshotBox_ = nullptr;
    QComboBox* hGearBox_ = nullptr;
    QComboBox* vGearBox_ = nullptr;
    QLabel* problem_ = nullptr;
};

// The Prefs command of the head pane: shows the dialog modally over parent.
// Returns QDialog::Accepted when the settings were saved.
int ShowDeviceSettingsDialog(QWidget* parent, veldan::platform::Profile& profile);

}  // namespace veldan::preview
