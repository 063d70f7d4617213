// CNewProjectDlg: the new project's description, folder and planning inputs,
// with the resulting tile count.
#include "NewProjectDlg.h"
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include "VELDANPanoramaProject.h"
#include "platform/Folders.h"
#include "platform/Text.h"
#include "preview/document/DocumentPaths.h"

namespace veldan::preview {

using platform::DocumentsFolder;
using platform::PathToWide;

namespace {

QDoubleSpinBox* Spin(QWidget* parent, const char* name, double lo, double hi, double value, int decimals,
                     const QString& suffix) {
    auto* s = new QDoubleSpinBox(parent);
    s->setObjectName(QString::fromLatin1(name));
    s->setRange(lo, hi);
    s->setDecimals(decimals);
    s->setValue(value);
    s->setSuffix(suffix);
    return s;
}

}  // namespace

CNewProjectDlg::CNewProjectDlg(VELDANPanoramaProject& project, QWidget* parent) : QDialog(parent), project_(project) {
    setWindowTitle(tr("New Project"));
    auto* top = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    top->addLayout(form);
    description_ = new QLineEdit(QString::fromStdWString(ProjectTitle(project)), this);
    description_->setObjectName(QStringLiteral("Description"));
    form->addRow(tr("Description:"), description_);

    const wchar_t* stored = project.project_path.Get();
    const QString folder =
        stored && *stored ? QString::fromStdWString(stored) : QString::fromStdString(DocumentsFolder().string());
    folder_ = new QLineEdit(folder, this);
    folder_->setObjectName(QStringLiteral("Folder"));
    auto* browse = new QPushButton(tr("Browse..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString chosen = QFileDialog::getExistingDirectory(this, tr("Project Folder"), folder_->text());
        if (!chosen.isEmpty()) folder_->setText(chosen);
    });
    auto* row = new QHBoxLayout;
    row->addWidget(folder_, 1);
    row->addWidget(browse);
    form->addRow(tr("Project folder:"), row);

    // Camera: a project without lens or sensor data starts from a full-frame
    // camera with a 50 mm lens in landscape orientation.
    auto* camera = new QGroupBox(tr("Camera"), this);
    auto* cameraForm = new QFormLayout(camera);
    const double focal = project.lens.focal_length > 0 ? project.lens.focal_length : 50.0;
    const bool knownSensor = project.sensor.dimension_x > 0 && project.sensor.dimension_y > 0;
    focal_ = Spin(camera, "FocalLength", 0.1, 2000, focal, 1, tr(" mm"));
    sensorX_ = Spin(camera, "SensorWidth", 0.1, 200, knownSensor ? project.sensor.dimension_x : 36.0, 2, tr(" mm"));
    sensorY_ = Spin(camera, "SensorHeight", 0.1, 200, knownSensor ? project.sensor.dimension_y : 24.0, 2, tr(" mm"));
    orientation_ = new QComboBox(camera);
    orientation_->setObjectName(QStringLiteral("Orientation"));
    orientation_->addItem(tr("Landscape (sensor width horizontal)"), 1);
    orientation_->addItem(tr("Portrait (sensor width vertical)"), 0);
    const bool landscape = project.lens.focal_length > 0 ? project.camera.orientation == 1 : true;
    orientation_->setCurrentIndex(landscape ? 0 : 1);
    cameraForm->addRow(tr("Focal length:"), focal_);
    cameraForm->addRow(tr("Sensor width:"), sensorX_);
    cameraForm->addRow(tr("Sensor height:"), sensorY_);
    cameraForm->addRow(tr("Orientation:"), orientation_);
    top->addWidget(camera);

    auto* coverage = new QGroupBox(tr("Field of view and tiles"), this);
    auto* coverageForm = new QFormLayout(coverage);
    beginTheta_ = Spin(coverage, "BeginTheta", 0, 360, project.fov.begin_theta, 2, QStringLiteral("°"));
    endTheta_ = Spin(coverage, "EndTheta", 0, 360, project.fov.end_theta, 2, QStringLiteral("°"));
    beginPhi_ = Spin(coverage, "BeginPhi", -90, 90, project.fov.begin_phi, 2, QStringLiteral("°"));
    endPhi_ = Spin(coverage, "EndPhi", -90, 90, project.fov.end_phi, 2, QStringLiteral("°"));
    overlap_ = Spin(coverage, "Overlap", 0, 99, project.options.overlap * 100, 0, QStringLiteral(" %"));
    multirow_ = new QCheckBox(tr("Multi-row optimisation"), coverage);
    multirow_->setObjectName(QStringLiteral("MultirowOptimization"));
    multirow_->setChecked(project.options.multirow_optimization);
    legacy_ = new QCheckBox(tr("Legacy arrangement"), coverage);
    legacy_->setObjectName(QStringLiteral("LegacyArrangement"));
    legacy_->setChecked(project.options.legacy_arrangement);
    path_ = new QComboBox(coverage);
    path_->setObjectName(QStringLiteral("PathOrder"));
    const char* const orders[8] = {"Rows from the bottom, left to right",  "Rows from the top, left to right",
                                   "Rows from the bottom, right to left",  "Rows from the top, right to left",
                                   "Columns from the left, bottom to top", "Columns from the right, bottom to top",
                                   "Columns from the left, top to bottom", "Columns from the right, top to bottom"};
    for (int i = 0; i < 8; ++i) path_->addItem(tr(orders[i]), i);
    path_->setCurrentIndex(project.options.path < 8 ? static_cast<int>(project.options.path) : 0);
    auto* azimuth = new QHBoxLayout;
    azimuth->addWidget(beginTheta_);
    azimuth->addWidget(new QLabel(tr("to"), coverage));
    azimuth->addWidget(endTheta_);
    auto* elevation = new QHBoxLayout;
    elevation->addWidget(beginPhi_);
    elevation->addWidget(new QLabel(tr("to"), coverage));
    elevation->addWidget(endPhi_);
    coverageForm->addRow(tr("Azimuth:"), azimuth);
    coverageForm->addRow(tr("Elevation:"), elevation);
    coverageForm->addRow(tr("Overlap:"), overlap_);
    coverageForm->addRow(QString(), multirow_);
    coverageForm->addRow(QString(), legacy_);
    coverageForm->addRow(tr("Path order:"), path_);
    top->addWidget(coverage);

    bracketing_ = new QCheckBox(tr("Exposure bracketing"), this);
    bracketing_->setObjectName(QStringLiteral("Bracketing"));
    bracketing_->setChecked(project.hdri.enabled);
    auto* hdri = new QGroupBox(this);
    auto* hdriForm = new QFormLayout(hdri);
    hdriForm->addRow(bracketing_);
    exposures_ = new QSpinBox(hdri);
    exposures_->setObjectName(QStringLiteral("ExposureCount"));
    exposures_->setRange(1, 15);
    exposures_->setValue(static_cast<int>(std::clamp<uint32_t>(project.hdri.count, 1, 15)));
    step_ = new QSpinBox(hdri);
    step_->setObjectName(QStringLiteral("ExposureStep"));
    step_->setRange(1, 15);
    step_->setSuffix(tr("/3 EV"));
    step_->setValue(std::clamp<int>(project.hdri.step, 1, 15));
    order_ = new QComboBox(hdri);
    order_->setObjectName(QStringLiteral("ExposureOrder"));
    order_->addItem(tr("Darkest first"), 1);
    order_->addItem(tr("Brightest first"), 2);
    order_->addItem(tr("Normal, then darker, then brighter"), 3);
    order_->addItem(tr("Normal, then brighter, then darker"), 4);
    order_->setCurrentIndex(project.hdri.order >= 1 && project.hdri.order <= 4 ? project.hdri.order - 1 : 0);
    hdriForm->addRow(tr("Exposures:"), exposures_);
    hdriForm->addRow(tr("Step:"), step_);
    hdriForm->addRow(tr("Order:"), order_);
    top->addWidget(hdri);

    countLabel_ = new QLabel(this);
    countLabel_->setObjectName(QStringLiteral("TileCount"));
    top->addWidget(countLabel_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    // A project needs a name, a folder and at least one tile.
    auto validate = [this, buttons] {
        buttons->button(QDialogButtonBox::Ok)
            ->setEnabled(!description_->text().trimmed().isEmpty() && !folder_->text().trimmed().isEmpty() &&
                         count_ > 0);
    };
    connect(description_, &QLineEdit::textChanged, this, validate);
    connect(folder_, &QLineEdit::textChanged, this, validate);
    auto changed = [this, validate] {
        UpdateTileCount();
        validate();
    };
    for (QDoubleSpinBox* s : {focal_, sensorX_, sensorY_, beginTheta_, endTheta_, beginPhi_, endPhi_, overlap_})
        connect(s, &QDoubleSpinBox::valueChanged, this, changed);
    for (QCheckBox* c : {multirow_, legacy_, bracketing_}) connect(c, &QCheckBox::toggled, this, changed);
    for (QSpinBox* s : {exposures_, step_}) connect(s, &QSpinBox::valueChanged, this, changed);
    for (QComboBox* c : {orientation_, order_, path_}) connect(c, &QComboBox::currentIndexChanged, this, changed);
    top->addWidget(buttons);
    UpdateTileCount();
    validate();
    resize(560, sizeHint().height());
}

void CNewProjectDlg::StorePlanning(VELDANPanoramaProject& p) const {
    p.lens.focal_length = focal_->value();
    p.sensor.dimension_x = sensorX_->value();
    p.sensor.dimension_y = sensorY_->value();
    p.camera.orientation = orientation_->currentData().toUInt();
    p.fov.begin_theta = beginTheta_->value();
    p.fov.end_theta = endTheta_->value();
    p.fov.begin_phi = beginPhi_->value();
    p.fov.end_phi = endPhi_->value();
    p.options.overlap = overlap_->value() / 100.0;
    p.options.multirow_optimization = multirow_->isChecked();
    p.options.legacy_arrangement = legacy_->isChecked();
    p.options.path = path_->currentData().toUInt();
    p.hdri.enabled = bracketing_->isChecked();
    p.hdri.count = static_cast<uint32_t>(exposures_->value());
    p.hdri.step = step_->value();
    p.hdri.order = static_cast<uint8_t>(order_->currentData().toUInt());
}

void CNewProjectDlg::UpdateTileCount() {
    // Counted on a scratch project: counting normalises the range in place,
    // and the entered values must stay as the user typed them.
    VELDANPanoramaProject scratch;
    StorePlanning(scratch);
    count_ = scratch.ComputeTiles(true);
    exposures_->setEnabled(bracketing_->isChecked());
    step_->setEnabled(bracketing_->isChecked());
    order_->setEnabled(bracketing_->isChecked());
    countLabel_->setText(count_ == 1 ? tr("1 tile") : tr("%1 tiles").arg(count_));
}

void CNewProjectDlg::Apply() {
    project_.description.Set(description_->text().trimmed().toStdWString().c_str());
    const std::filesystem::path folder(folder_->text().trimmed().toStdString());
    project_.project_path.Set(PathToWide(folder).c_str());
    StorePlanning(project_);
    project_.ComputeTiles(false);
    project_.ComputePath(static_cast<uint8_t>(project_.options.path));
}

}  // namespace veldan::preview
