// The device settings dialog on a real settings.cfg in a temporary home
// (shown, changed, saved, cancelled, refused), and the monitor's dialogs
// asked from another thread. The QApplication comes from MainFrameTest.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <thread>
#include "QtCaptureMonitorUi.h"
#include "SettingsDlg.h"
#include "TestSupport.h"
#include "platform/Text.h"
#include "settings/VeldanConfig.h"
#include "stream/DynStream.h"

namespace veldan::test {

using namespace veldan::preview;

namespace fs = std::filesystem;

namespace {

template <class T>
T* Control(QWidget& dialog, int id) {
    T* widget = dialog.findChild<T*>(QStringLiteral("control%1").arg(id));
    EXPECT_NE(widget, nullptr) << "control " << id;
    return widget;
}

class SettingsDlgTest : public ::testing::Test {
protected:
    TempHome home;
    veldan::platform::Profile profile{home.Root() / "config" / "VELDANpreview" / "VELDANpreview.conf"};
    DeviceSettingsFolders folders{home.Root() / "program", home.Root() / "Documents" / "VELDANmodular",
                                  home.Root() / "system"};
    fs::path cfg = folders.configuration / "settings.cfg";

    SettingsDlgTest() {
        EXPECT_NE(QApplication::instance(), nullptr);
        fs::create_directories(folders.program);
        fs::create_directories(folders.configuration);
        WriteText(folders.program / "vrhead.asm", "name = \"VELDAN VR head\"\nrow = 0 12\n");
        WriteText(folders.configuration / "rig.asm", "name = \"Heavy rig\"\n");
        WriteText(cfg, "edition = \"vrhead\"\nport = 5\nhorizontal_gear = 0.5\nlog_level = 1\n");
        profile.WriteString(L"Settings", L"CAPTURE_DIRECTORY", L"/old/captures");
    }
    std::unique_ptr<CVeldanConfigDlg> Dialog() {
        return std::make_unique<CVeldanConfigDlg>(profile, nullptr, folders, [] {
            return std::vector<std::string>{"COM2", "COM5"};
        });
    }
    std::unique_ptr<CVeldanConfig> Reread() {
        auto config = std::make_unique<CVeldanConfig>();
        DynStream* in = dyn_wfopen(veldan::platform::PathToWide(cfg).c_str(), "r");
        EXPECT_NE(in, nullptr);
        if (in) {
            EXPECT_TRUE(config->Load(in)) << config->GetLoadError();
            dyn_fclose(in);
        }
        return config;
    }
};

}  // namespace

TEST_F(SettingsDlgTest, ShowsChangesAndSavesTheConfiguration) {
    auto dialog = Dialog();
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("VELDANconfig"));
    EXPECT_EQ(Control<QComboBox>(*dialog, 1002)->currentText(), QStringLiteral("VELDAN VR head"));
    EXPECT_EQ(Control<QComboBox>(*dialog, 1002)->count(), 2);
    EXPECT_EQ(Control<QComboBox>(*dialog, 1004)->count(), 3);
    EXPECT_EQ(Control<QComboBox>(*dialog, 1004)->currentText(), QStringLiteral("COM5"));
    EXPECT_EQ(Control<QComboBox>(*dialog, 1007)->currentText(), QStringLiteral("unlimited"));
    EXPECT_EQ(Control<QComboBox>(*dialog, 1009)->currentText(), QStringLiteral("50 %"));
    EXPECT_EQ(Control<QComboBox>(*dialog, 1013)->currentText(), QString::fromStdWString(L"90.00°"));
    EXPECT_EQ(Control<QComboBox>(*dialog, 1032)->currentText(), QStringLiteral("1000"));
    EXPECT_EQ(Control<QLineEdit>(*dialog, 1054)->text(), QStringLiteral("/old/captures"));
    EXPECT_TRUE(dialog->Problem().isEmpty());
#ifdef VELDAN_SCREENSHOT_DIR
    fs::create_directories(VELDAN_SCREENSHOT_DIR);
    dialog->adjustSize();
    dialog->grab().save(QStringLiteral(VELDAN_SCREENSHOT_DIR "/settings.png"));
#endif

    Control<QComboBox>(*dialog, 1002)->setCurrentIndex(0);  // "Heavy rig" sorts first
    Control<QComboBox>(*dialog, 1004)->setCurrentIndex(1);  // COM2
    Control<QComboBox>(*dialog, 1007)->setCurrentIndex(3);  // 3000 ppm
    Control<QCheckBox>(*dialog, 1006)->setChecked(true);
    Control<QCheckBox>(*dialog, 1008)->setChecked(true);
    Control<QComboBox>(*dialog, 1012)->setEditText(QString::fromStdWString(L"-60° (145 mm)"));
    Control<QComboBox>(*dialog, 1033)->setCurrentIndex(7);  // "1000"
    Control<QComboBox>(*dialog, 1010)->setEditText(QStringLiteral("25 %"));
    Control<QLineEdit>(*dialog, 1054)->setText(QStringLiteral("/media/card/DCIM"));
    Control<QPushButton>(*dialog, 1)->click();
    EXPECT_EQ(dialog->result(), QDialog::Accepted) << dialog->Problem().toStdString();

    auto config = Reread();
    EXPECT_STREQ(config->edition, "rig");
    EXPECT_EQ(config->serialPort, 2);
    EXPECT_EQ(config->packetRate, 3000);
    EXPECT_EQ(config->verbose, 1);
    EXPECT_EQ(config->twistingLimit, 360.0);
    EXPECT_EQ(config->lowerLimit, -60.0);
    EXPECT_DOUBLE_EQ(config->preshotTime, 1.0);
    EXPECT_DOUBLE_EQ(config->horizontalSpeed, 0.5);
    EXPECT_DOUBLE_EQ(config->verticalSpeed, 0.25);
    EXPECT_EQ(config->logLevel, 1) << "values the dialog does not show stay";
    EXPECT_EQ(profile.GetString(L"settings", L"CAPTURE_DIRECTORY"), L"/media/card/DCIM");

    auto again = Dialog();
    EXPECT_EQ(Control<QComboBox>(*again, 1002)->currentText(), QStringLiteral("Heavy rig"));
    EXPECT_EQ(Control<QComboBox>(*again, 1007)->currentText(), QStringLiteral("3000 ppm"));
    EXPECT_EQ(Control<QComboBox>(*again, 1012)->currentText(), QString::fromStdWString(L"-60.00°"));
    EXPECT_EQ(Control<QComboBox>(*again, 1010)->currentText(), QStringLiteral("25 %"));
}

TEST_F(SettingsDlgTest, CancelWritesNothing) {
    const std::string before = ReadAll(cfg);
    auto dialog = Dialog();
    Control<QComboBox>(*dialog, 1007)->setCurrentIndex(6);
    Control<QLineEdit>(*dialog, 1054)->clear();
    Control<QPushButton>(*dialog, 2)->click();
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(ReadAll(cfg), before);
    EXPECT_EQ(profile.GetString(L"Settings", L"CAPTURE_DIRECTORY"), L"/old/captures");
}

TEST_F(SettingsDlgTest, AFileThatCannotBeWrittenKeepsTheDialogOpenWithTheReason) {
    WriteText(cfg, "port = 5\nbogus = 1\n");
    auto dialog = Dialog();
    EXPECT_FALSE(dialog->Problem().isEmpty()) << "an unreadable settings.cfg is reported";
    ReadOnlyFolder locked(folders.configuration);
    if (!locked.Active()) GTEST_SKIP() << "cannot make a folder read-only here";
    dialog->show();
    Control<QLineEdit>(*dialog, 1054)->setText(QStringLiteral("/new/captures"));
    Control<QPushButton>(*dialog, 1)->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->Problem().contains(QStringLiteral("could not be saved"))) << dialog->Problem().toStdString();
    EXPECT_EQ(ReadAll(cfg), "port = 5\nbogus = 1\n");
    EXPECT_EQ(profile.GetString(L"Settings", L"CAPTURE_DIRECTORY"), L"/new/captures");
    dialog->reject();
}

TEST(QtCaptureMonitorUi, QuestionsFromTheMonitorThreadAreAskedOnTheWindowThread) {
    ASSERT_NE(QApplication::instance(), nullptr);
    QtCaptureMonitorUi ui(nullptr);
    // The box runs its own event loop inside the window thread's event
    // processing; a timer answers it from within that loop.
    QString text, title;
    QTimer answerer;
    QObject::connect(&answerer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        text = box->text();
        title = box->windowTitle();
        box->button(QMessageBox::Yes)->click();
    });
    answerer.start(20);
    std::atomic<int> answer{-1};
    std::thread monitor([&] { answer = ui.AskYesNo(kCaptureFinishedCaption, kLocateNowQuestion) ? 1 : 0; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return answer != -1; }, 30000));
    answerer.stop();
    monitor.join();
    EXPECT_EQ(text, QString::fromStdWString(kLocateNowQuestion));
    EXPECT_EQ(title, QStringLiteral("Capture Finished"));
    EXPECT_EQ(answer, 1);
}

TEST(QtCaptureMonitorUi, TheLocateFilterAlsoMatchesCapitals) {
    const QStringList filters = QtCaptureMonitorUi::NameFilters(kLocateFilter);
    ASSERT_EQ(filters.size(), 2);
    EXPECT_EQ(filters[0], QStringLiteral("Images (*.jpg, *.tif, *.cr2, *.nef) (*.jpg *.JPG *.tif *.TIF *.cr2 *.CR2 "
                                         "*.nef *.NEF)"));
    EXPECT_EQ(filters[1], QStringLiteral("All Files (*.*) (*)"));
}

}  // namespace veldan::test
