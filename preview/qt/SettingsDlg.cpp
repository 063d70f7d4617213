// CVeldanConfigDlg: the device settings dialog reading and writing the
// configuration and the capture folder.
#include "SettingsDlg.h"
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace veldan::preview {

namespace {

QString Q(const std::wstring& text) { return QString::fromStdWString(text); }

QString ControlName(int id) { return QStringLiteral("control%1").arg(id); }

QLabel* Note(const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    return label;
}

QComboBox* EditableBox(int id, const std::vector<std::wstring>& items, const std::wstring& text) {
    auto* box = new QComboBox;
    box->setObjectName(ControlName(id));
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    for (const std::wstring& item : items) box->addItem(Q(item));
    box->setCurrentIndex(-1);
    box->setEditText(Q(text));
    return box;
}

}  // namespace

CVeldanConfigDlg::CVeldanConfigDlg(veldan::platform::Profile& profile, QWidget* parent, DeviceSettingsFolders folders,
                                   DeviceSettingsModel::PortLister ports)
    : QDialog(parent), model_(profile, std::move(folders), std::move(ports)) {
    setWindowTitle(QStringLiteral("VELDANconfig"));
    setObjectName(QStringLiteral("CVeldanConfigDlg"));
    QPalette white = palette();
    // White background with dark text whatever the program's look.
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    white.setColor(QPalette::Text, Qt::black);
    white.setColor(QPalette::Base, Qt::white);
    white.setColor(QPalette::Button, QColor(0xf0, 0xf0, 0xf0));
    white.setColor(QPalette::ButtonText, Qt::black);
    setPalette(white);
    setAutoFillBackground(true);

    model_.Open();
    const DeviceSettingsForm& form = model_.Form();

    // Device setup.
    auto* device = new QGroupBox(QStringLiteral("Device Setup"));
    auto* deviceLayout = new QFormLayout(device);
    modelBox_ = new QComboBox;
    modelBox_->setObjectName(ControlName(kModel));
    for (const AssemblyChoice& a : model_.Assemblies()) modelBox_->addItem(Q(a.text), Q(a.fileName));
    modelBox_->setCurrentIndex(form.model);
    portBox_ = new QComboBox;
    portBox_->setObjectName(ControlName(kPort));
    for (const SettingsChoice& p : model_.Ports()) portBox_->addItem(Q(p.text), p.data);
    portBox_->setCurrentIndex(form.port);
    deviceLayout->addRow(QStringLiteral("Model"), modelBox_);
    deviceLayout->addRow(QStringLiteral("Port"), portBox_);
    deviceLayout->addRow(Note(QStringLiteral("Please be careful while changing these settings.")));

    // Communication.
    auto* comms = new QGroupBox(QStringLiteral("Advanced communications settings"));
    auto* commsLayout = new QFormLayout(comms);
    rateBox_ = new QComboBox;
    rateBox_->setObjectName(ControlName(kPacketRate));
    for (const SettingsChoice& r : DeviceSettingsModel::PacketRates()) rateBox_->addItem(Q(r.text), r.data);
    rateBox_->setCurrentIndex(form.packetRate);
    simultaneous_ = new QCheckBox(QStringLiteral("Simultaneous device communication"));
    simultaneous_->setObjectName(ControlName(kSimultaneous));
    simultaneous_->setChecked(form.simultaneous);
    verbose_ = new QCheckBox(QStringLiteral("Verbose logging output"));
    verbose_->setObjectName(ControlName(kVerbose));
    verbose_->setChecked(form.verbose);
    commsLayout->addRow(QStringLiteral("Packetrate"), rateBox_);
    commsLayout->addRow(simultaneous_);
    commsLayout->addRow(verbose_);

    // Movement range.
    auto* range = new QGroupBox(QStringLiteral("Movement Range"));
    auto* rangeLayout = new QGridLayout(range);
    upperBox_ = EditableBox(kUpperLimit, DeviceSettingsModel::UpperLimitItems(), form.upperLimit);
    lowerBox_ = EditableBox(kLowerLimit, DeviceSettingsModel::LowerLimitItems(), form.lowerLimit);
    twisting_ = new QCheckBox(
        QStringLiteral("Twisting limitation\n(Prevents the device from turning more than one round. Recommended if any "
                       "cables are connected to the device.)"));
    twisting_->setObjectName(ControlName(kTwisting));
    twisting_->setChecked(form.twistingLimit);
    rangeLayout->addWidget(Note(QStringLiteral("You should pay high attention on these settings, because they may "
                                               "protect your equipment against damage when using oversized lenses.")),
                           0, 0, 1, 3);
    rangeLayout->addWidget(new QLabel(QStringLiteral("Upper Limitation:")), 1, 0);
    rangeLayout->addWidget(upperBox_, 1, 1);
    rangeLayout->addWidget(Note(QStringLiteral("(Lower this value, if the rear of the lens or the camera might hit the "
                                               "rig when capturing towards the top. Estimated lens diameter in "
                                               "brackets.)")),
                           1, 2);
    rangeLayout->addWidget(new QLabel(QStringLiteral("Lower Limitation:")), 2, 0);
    rangeLayout->addWidget(lowerBox_, 2, 1);
    rangeLayout->addWidget(Note(QStringLiteral("(Raise this value, if the front of the lens might hit the rig when "
                                               "capturing towards the bottom. Estimated lens diameter in brackets.)")),
                           2, 2);
    rangeLayout->addWidget(twisting_, 3, 0, 1, 3);
    rangeLayout->setColumnStretch(2, 1);

    // Capture directory.
    auto* capture = new QGroupBox(QStringLiteral("Capture Directory"));
    auto* captureLayout = new QGridLayout(capture);
    captureDirectory_ = new QLineEdit(Q(form.captureDirectory));
    captureDirectory_->setObjectName(ControlName(kCaptureDirectory));
    auto* browse = new QPushButton(QStringLiteral("Browse"));
    browse->setObjectName(ControlName(kBrowse));
    captureLayout->addWidget(Note(QStringLiteral("Directory where the captured images are stored by the camera. This "
                                                 "directory gets monitored during acquisition procedure. Leave this "
                                                 "line empty to disable file monitoring.")),
                             0, 0, 1, 2);
    captureLayout->addWidget(captureDirectory_, 1, 0);
    captureLayout->addWidget(browse, 1, 1);
    connect(browse, &QPushButton::clicked, this, &CVeldanConfigDlg::OnBrowse);

    // Timings and speeds.
    auto* timings = new QGroupBox(QStringLiteral("Timings (default values)"));
    auto* timingsLayout = new QFormLayout(timings);
    recoverBox_ = EditableBox(kRecoverTime, DeviceSettingsModel::RecoverTimeItems(), form.recoverTime);
    preshotBox_ = EditableBox(kPreshotTime, DeviceSettingsModel::PreshotTimeItems(), form.preshotTime);
    timingsLayout->addRow(QStringLiteral("Recover Time (ms):"), recoverBox_);
    timingsLayout->addRow(QStringLiteral("Pre-Shot Time (ms):"), preshotBox_);
    auto* speed = new QGroupBox(QStringLiteral("Movement Speed"));
    auto* speedLayout = new QFormLayout(speed);
    hGearBox_ = EditableBox(kHorizontalGear, DeviceSettingsModel::GearItems(), form.horizontalGear);
    vGearBox_ = EditableBox(kVerticalGear, DeviceSettingsModel::GearItems(), form.verticalGear);
    speedLayout->addRow(QStringLiteral("Horizontal Gear:"), hGearBox_);
    speedLayout->addRow(QStringLiteral("Vertical Gear:"), vGearBox_);

    problem_ = new QLabel;
    problem_->setObjectName(QStringLiteral("problem"));
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #b00000"));
    if (!model_.LoadError().empty())
        problem_->setText(
            QStringLiteral("settings.cfg could not be read (%1). Saving replaces it with the values shown.")
                .arg(QString::fromStdString(model_.LoadError())));
    problem_->setVisible(!problem_->text().isEmpty());

    auto* save = new QPushButton(QStringLiteral("Save"));
    save->setObjectName(ControlName(kSave));
    save->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"));
    cancel->setObjectName(ControlName(kCancel));
    connect(save, &QPushButton::clicked, this, &CVeldanConfigDlg::OnSave);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addWidget(device);
    left->addWidget(comms);
    left->addWidget(timings);
    left->addWidget(speed);
    left->addStretch(1);
    auto* right = new QVBoxLayout;
    right->addWidget(range);
    right->addWidget(capture);
    right->addStretch(1);
    columns->addLayout(left);
    columns->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(save);
    buttons->addWidget(cancel);
    auto* main = new QVBoxLayout(this);
    main->addLayout(columns);
    main->addWidget(problem_);
    main->addLayout(buttons);
}

QString CVeldanConfigDlg::Problem() const { return problem_->isHidden() ? QString() : problem_->text(); }

DeviceSettingsForm CVeldanConfigDlg::ReadForm() const {
    DeviceSettingsForm form;
    form.model = modelBox_->currentIndex();
    form.port = portBox_->currentIndex();
    form.packetRate = rateBox_->currentIndex();
    form.simultaneous = simultaneous_->isChecked();
    form.verbose = verbose_->isChecked();
    form.twistingLimit = twisting_->isChecked();
    form.upperLimit = upperBox_->currentText().toStdWString();
    form.lowerLimit = lowerBox_->currentText().toStdWString();
    form.recoverTime = recoverBox_->currentText().toStdWString();
    form.preshotTime = preshotBox_->currentText().toStdWString();
    form.horizontalGear = hGearBox_->currentText().toStdWString();
    form.verticalGear = vGearBox_->currentText().toStdWString();
    form.captureDirectory = captureDirectory_->text().toStdWString();
    return form;
}

void CVeldanConfigDlg::OnSave() {
    std::string error;
    if (!model_.Save(ReadForm(), &error)) {
        // The user's settings are not lost silently: the dialog stays open
        // with the reason (the capture directory is stored already).
        problem_->setText(
            QStringLiteral("The device settings could not be saved: %1").arg(QString::fromStdString(error)));
        problem_->setVisible(true);
        return;
    }
    accept();
}

void CVeldanConfigDlg::OnBrowse() {
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select Folder"),
                                                             captureDirectory_->text(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty()) captureDirectory_->setText(folder);
}

int ShowDeviceSettingsDialog(QWidget* parent, veldan::platform::Profile& profile) {
    CVeldanConfigDlg dialog(profile, parent);
    return dialog.exec();
}

}  // namespace veldan::preview
