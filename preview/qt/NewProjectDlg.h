#pragma once
#include <QDialog>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class VELDANPanoramaProject;

namespace veldan::preview {

// Asks for a new project's description and folder, which name its file
// (<folder>/<description>.vpp) and its image folder, and for the planning
// inputs: lens, sensor, camera orientation, field of view, overlap,
// multi-row optimisation, legacy arrangement, bracketing and path order.
// The number of tiles of the plan is shown and recomputed on every change.
class CNewProjectDlg : public QDialog {
    Q_OBJECT
public:
    CNewProjectDlg(VELDANPanoramaProject& project, QWidget* parent = nullptr);
    // Writes the entered values into the project, then plans its tiles and
    // its path.
    void Apply();
    // The tile count the dialog shows (counted without changing the project).
    uint32_t TileCount() const { return count_; }

private:
    // Copies the entered planning values into project.
    void StorePlanning(VELDANPanoramaProject& project) const;
    void UpdateTileCount();

    VELDANPanoramaProject& project_;
    QLineEdit* description_ = nullptr;
    QLineEdit* folder_ = nullptr;
    QDoubleSpinBox* focal_ = nullptr;
    QDoubleSpinBox* sensorX_ = nullptr;
    QDoubleSpinBox* sensorY_ = nullptr;
    QComboBox* orientation_ = nullptr;
    QDoubleSpinBox* beginTheta_ = nullptr;
    QDoubleSpinBox* endTheta_ = nullptr;
    QDoubleSpinBox* beginPhi_ = nullptr;
    QDoubleSpinBox* endPhi_ = nullptr;
    QDoubleSpinBox* overlap_ = nullptr;
    QCheckBox* multirow_ = nullptr;
    QCheckBox* legacy_ = nullptr;
    QCheckBox* bracketing_ = nullptr;
    QSpinBox* exposures_ = nullptr;
    QSpinBox* step_ = nullptr;
    QComboBox* order_ = nullptr;
    QComboBox* path_ = nullptr;
    QLabel* countLabel_ = nullptr;
    uint32_t count_ = 0;
};

}  // namespace veldan::preview
