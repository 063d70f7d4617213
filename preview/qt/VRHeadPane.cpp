// CVRHeadPane: the head pane showing the head control's reports and forwarding
// its commands.
#include "VRHeadPane.h"
#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>
#include "PreviewChild.h"
#include "QtCaptureMonitorUi.h"
#include "VRButton.h"

namespace veldan::preview {

using platform::Message;
using platform::Profile;
using platform::RegisterWindow;
using platform::UnregisterWindow;

namespace {

// A message of the head control's window, delivered on the window thread.
class HeadMessageEvent : public QEvent {
public:
    explicit HeadMessageEvent(const Message& m) : QEvent(Kind()), message(m) {}
    static QEvent::Type Kind() {
        static const int type = QEvent::registerEventType();
        return static_cast<QEvent::Type>(type);
    }
    Message message;
};

QPushButton* Button(const QString& text, const QString& tip, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setToolTip(tip.left(80));
    return b;
}

QComboBox* TimingBox(const std::vector<std::wstring>& items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setEditable(true);
    for (const std::wstring& item : items) box->addItem(QString::fromStdWString(item));
    // Empty until the head reports its times: the first item ("0", "1/8000")
    // would read as a setting of a head that is not even on.
    box->setCurrentIndex(-1);
    return box;
}

}  // namespace

CVRHeadControlWidget::CVRHeadControlWidget(DocumentList& documents, HeadControlOptions options, QWidget* parent)
    : QWidget(parent) {
    Profile* profile = options.profile;
    control_ = std::make_unique<CVRHeadControl>(documents, std::move(options));
    if (profile) {
        // Every switch-on starts the capture-folder monitor; its collecting-mode
        // questions appear over this pane.
        monitorUi_ = std::make_unique<QtCaptureMonitorUi>(this);
        monitor_ = std::make_unique<HeadFolderMonitor>(*monitorUi_, *profile);
        control_->SetMonitor(monitor_.get());
    }
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    // Dark visual styles have light text, which would vanish on the white
    // dialog: captions and positions are drawn dark, disabled ones mid grey.
    pal.setColor(QPalette::Active, QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Inactive, QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x80, 0x80, 0x80));
    setPalette(pal);

    onOff_ = Button(tr("On/Off"), tr("Start/Stop using an attached VELDAN VR device"), this);
    prefs_ = Button(tr("Prefs"), tr("View/Change device settings for an attached VELDAN VR device"), this);
    park_ = Button(tr("PARK"), tr("Let the device go into it's parking position."), this);
    start_ = Button(tr("Start"), tr("Run capturing images of the currently loaded project"), this);
    stop_ = Button(tr("Stop"), tr("Stop capturing procedure"), this);
    break_ = Button(tr("Break"), tr("Pause the currently running capturing procedure"), this);
    zero_ = Button(tr("Zero"), tr("Set the current horizontal position to zero"), this);
    slow_ = Button(tr("slow"), tr("Slow Motion"), this);
    slow_->setCheckable(true);
    pad_ = new CVRButton(this);
    pad_->setToolTip(tr("Manually controls head movement."));
    hPos_ = new QLabel(this);
    hPos_->setToolTip(tr("Current horizontal position"));
    vPos_ = new QLabel(this);
    vPos_->setToolTip(tr("Current vertical position"));
    battery_ = new QLabel(this);
    battery_->setToolTip(tr("Battery level"));
    recover_ = TimingBox(CVRHeadControl::MillisecondItems(), this);
    preshot_ = TimingBox(CVRHeadControl::MillisecondItems(), this);
    exposure_ = TimingBox(CVRHeadControl::ExposureItems(), this);

    auto* manual = new QGroupBox(tr("Manual Control"), this);
    auto* manualLayout = new QGridLayout(manual);
    manualLayout->addWidget(onOff_, 0, 0);
    manualLayout->addWidget(prefs_, 0, 1);
    manualLayout->addWidget(battery_, 0, 2);
    manualLayout->addWidget(pad_, 1, 0, 1, 3, Qt::AlignCenter);
    manualLayout->addWidget(new QLabel(tr("H:"), manual), 2, 0);
    manualLayout->addWidget(hPos_, 2, 1, 1, 2);
    manualLayout->addWidget(new QLabel(tr("V:"), manual), 3, 0);
    manualLayout->addWidget(vPos_, 3, 1, 1, 2);
    manualLayout->addWidget(zero_, 4, 0);
    manualLayout->addWidget(park_, 4, 1);
    manualLayout->addWidget(slow_, 4, 2);
    auto* automatic = new QGroupBox(tr("Automatic Program Control"), this);
    auto* autoLayout = new QGridLayout(automatic);
    autoLayout->addWidget(start_, 0, 0);
    autoLayout->addWidget(break_, 0, 1);
    autoLayout->addWidget(stop_, 0, 2);
    auto* timings = new QGroupBox(tr("Timings"), this);
    auto* timingLayout = new QGridLayout(timings);
    timingLayout->addWidget(new QLabel(tr("Recover Time"), timings), 0, 0);
    timingLayout->addWidget(recover_, 0, 1);
    timingLayout->addWidget(new QLabel(tr("Pre-Shot Time"), timings), 1, 0);
    timingLayout->addWidget(preshot_, 1, 1);
    timingLayout->addWidget(new QLabel(tr("Exposure Time"), timings), 2, 0);
    timingLayout->addWidget(exposure_, 2, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(manual);
    layout->addWidget(automatic);
    layout->addWidget(timings);
    layout->addStretch(1);

    // Messages of every thread arrive through this handle; the sink only
    // queues an event for the window thread.
    hwnd_ = RegisterWindow([this](const Message& m) { QCoreApplication::postEvent(this, new HeadMessageEvent(m)); });
    control_->SetWindow(hwnd_);
    onOffTimer_.setSingleShot(true);
    connect(&onOffTimer_, &QTimer::timeout, this, [this] { control_->OnTimer(kOnOffTimer); });
    control_->SetTimerHooks([this](unsigned ms) { onOffTimer_.start(static_cast<int>(ms)); },
                            [this] { onOffTimer_.stop(); });
    control_->SetObserver([this] { Show(); });

    connect(onOff_, &QPushButton::clicked, this, [this] { control_->OnOnOff(); });
    connect(prefs_, &QPushButton::clicked, this, [this] { OnPrefs(); });
    connect(start_, &QPushButton::clicked, this, [this] { control_->OnStart(); });
    connect(stop_, &QPushButton::clicked, this, [this] { control_->OnStop(); });
    connect(break_, &QPushButton::clicked, this, [this] { control_->OnBreak(); });
    connect(zero_, &QPushButton::clicked, this, [this] { control_->OnZero(); });
    connect(park_, &QPushButton::clicked, this, [this] { control_->OnPark(); });
    connect(slow_, &QPushButton::clicked, this, [this] { control_->OnSlow(); });
    connect(pad_, &CVRButton::clicked, this, [this](int x, int y) { control_->OnPadClick(x, y); });
    auto timing = [this](QComboBox* box, void (CVRHeadControl::*apply)(const std::wstring&)) {
        connect(box, &QComboBox::currentTextChanged, this, [this, apply](const QString& text) {
            if (!filling_) (control_.get()->*apply)(text.toStdWString());
        });
    };
    timing(recover_, &CVRHeadControl::OnRecoverText);
    timing(preshot_, &CVRHeadControl::OnPreshotText);
    timing(exposure_, &CVRHeadControl::OnExposureText);
    qApp->installEventFilter(this);
    control_->Refresh();
}

CVRHeadControlWidget::~CVRHeadControlWidget() {
    qApp->removeEventFilter(this);
    // The head control stops a running device; its threads still post to
    // the handle, which goes afterwards.
    control_->SetObserver(nullptr);
    // The stop waits for the monitor, which may still ask its collecting-mode
    // questions on this thread: keep serving events meanwhile.
    control_->Close([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
    control_.reset();
    UnregisterWindow(hwnd_);
}

void CVRHeadControlWidget::SetView(CVELDANpreviewView* view, CVELDANpreviewDoc* document) {
    if (view == view_ && view) return;
    view_ = view;
    if (view) {
        // The run and the monitor post WM_TILE_CHANGED to the view itself, which
        // redraws that tile; a view that has gone refuses the post.
        HeadView bound{view->Handle(), document};
        control_->SetView(&bound);
    } else {
        control_->SetView(nullptr);
    }
}

bool CVRHeadControlWidget::event(QEvent* event) {
    if (event->type() == HeadMessageEvent::Kind()) {
        control_->HandleMessage(static_cast<HeadMessageEvent*>(event)->message);
        return true;
    }
    return QWidget::event(event);
}

bool CVRHeadControlWidget::eventFilter(QObject* watched, QEvent* event) {
    // While the head moves by itself, any key the program receives stops it.
    if (event->type() == QEvent::KeyPress && control_ && control_->KeysGrabbed()) {
        control_->OnHotKey();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void CVRHeadControlWidget::keyPressEvent(QKeyEvent* event) {
    control_->OnKeyDown();
    QWidget::keyPressEvent(event);
}

void CVRHeadControlWidget::OnPrefs() {
    if (control_->PrefsAvailable()) {
        emit preferencesRequested();
        return;
    }
    QMessageBox::critical(this, QString::fromWCharArray(CVRHeadControl::kPrefsRefusedCaption),
                          QString::fromWCharArray(CVRHeadControl::kPrefsRefused));
}

void CVRHeadControlWidget::Show() {
    const HeadDisplay d = control_->Display();
    const HeadControls& c = d.controls;
    start_->setEnabled(c.start);
    stop_->setEnabled(c.stop);
    break_->setEnabled(c.pause);
    zero_->setEnabled(c.zero);
    park_->setEnabled(c.park);
    slow_->setEnabled(c.slow);
    prefs_->setEnabled(c.prefs);
    onOff_->setEnabled(d.onOffEnabled);
    onOff_->setText(c.onOffShowsOn ? tr("Off") : tr("On"));
    slow_->setChecked(d.slow);
    recover_->setEnabled(c.timings);
    preshot_->setEnabled(c.timings);
    exposure_->setEnabled(c.timings);
    pad_->setEnabled(d.padEnabled);
    pad_->SetPicture(d.padPicture);
    const QString h = QString::fromStdWString(d.hPos), v = QString::fromStdWString(d.vPos);
    if (hPos_->text() != h) hPos_->setText(h);
    if (vPos_->text() != v) vPos_->setText(v);
    if (d.batteryPicture != shownBattery_) {
        shownBattery_ = d.batteryPicture;
        battery_->setPixmap(BatteryPixmap(shownBattery_));
    }
    if (c.fillTimings) {
        filling_ = true;
        for (auto [box, text] :
             {std::pair{recover_, d.recover}, std::pair{preshot_, d.preshot}, std::pair{exposure_, d.exposure}})
            if (!box->hasFocus() && box->currentText() != QString::fromStdWString(text))
                box->setCurrentText(QString::fromStdWString(text));
        filling_ = false;
    }
}

CVRHeadPane::CVRHeadPane(DocumentList& documents, HeadControlOptions options, QWidget* parent)
    : QDockWidget(tr("VELDAN VR Head Control"), parent),
      dialog_(new CVRHeadControlWidget(documents, std::move(options), this)) {
    setWidget(dialog_);
}

}  // namespace veldan::preview
