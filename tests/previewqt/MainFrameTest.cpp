// The main window on the offscreen platform: ribbon and command numbers,
// panes, the stored visual style, a project named on the command line, log
// texts from several threads and the busy document that may not close.
#include <gtest/gtest.h>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTabWidget>
#include <QTimer>
#include <chrono>
#include <thread>
#include "AppCommands.h"
#include "MainFrame.h"
#include "NewProjectDlg.h"
#include "OutputWnd.h"
#include "PreviewApp.h"
#include "PreviewChild.h"
#include "QtTestSupport.h"
#include "Ribbon.h"
#include "TestSupport.h"
#include "WindowManagerDlg.h"
#include "platform/Text.h"
#include "preview/app/LogText.h"

namespace veldan::test {

using namespace veldan::preview;
namespace fs = std::filesystem;

namespace {

// gtest owns registered environments.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment("previewqt_tests"));

void TestApp() { ASSERT_NE(QApplication::instance(), nullptr); }

// Processes events until the condition holds; false after 5 s. Closed
// windows delete themselves later, which the wait lets happen.
template <typename Fn>
bool WaitFor(Fn&& condition) {
    return AwaitGui(std::forward<Fn>(condition), 5000);
}

class MainFrameTest : public ::testing::Test {
protected:
    TempHome home;
    MainFrameTest() { TestApp(); }

    fs::path MakeProject(const char* name) {
        const fs::path dir = home.Root() / "Shots";
        fs::create_directories(dir);
        DocumentList list;
        CVELDANpreviewDoc doc(list);
        doc.Project().description.Set(veldan::platform::FromUtf8(name).c_str());
        doc.Project().project_path.Set(veldan::platform::PathToWide(dir).c_str());
        for (int t = 0; t < 6; ++t) {
            auto* tile = new VELDANPanoramaTile();
            tile->pos_x = 30 + 60.0 * t;
            tile->pos_y = t % 2 ? 20 : -20;
            tile->fov_x = 50;
            tile->fov_y = 40;
            doc.Project().AppendTile(tile);
        }
        ScriptedUi ui;
        EXPECT_TRUE(doc.OnNewDocument(ui));
        return doc.PathName();
    }

    // Starts the program with the project `file` and shows the main window;
    // on return the project's window is visible.
    static void OpenShown(CVELDANpreviewApp& app, const fs::path& file, CMainFrame*& frame, CChildFrame*& child) {
        ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview"), QString::fromStdString(file.string())}, false));
        frame = app.MainFrame();
        frame->show();
        child = frame->ActiveChild();
        ASSERT_NE(child, nullptr);
        ASSERT_TRUE(WaitFor([&] { return child->isVisible(); }));
    }
};

}  // namespace

TEST_F(MainFrameTest, RibbonCarriesTheCommandsPanesAndTabs) {
    CVELDANpreviewApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview")}, false));
    CMainFrame* frame = app.MainFrame();
    Ribbon* ribbon = frame->RibbonBar();
    EXPECT_EQ(ribbon->CategoryNames(), QStringList{QStringLiteral("&Main")});
    for (int c : {57600, 57601, 310,   57603, 57604, 32783, 57607, 57608, 57609, 57606, 57602,
                  57665, 32787, 32785, 32904, 131,   215,   216,   217,   218,   57667})
        EXPECT_NE(ribbon->Action(c), nullptr) << c;
    EXPECT_EQ(ribbon->Action(57600)->text(), QStringLiteral("&New"));
    EXPECT_EQ(ribbon->Action(310)->text(), QStringLiteral("&Import..."));
    EXPECT_EQ(ribbon->Action(32783)->text(), QStringLiteral("&Export..."));
    EXPECT_EQ(ribbon->Action(32904)->text(), QStringLiteral("Blended"));
    EXPECT_EQ(ribbon->LogPaneCheck()->text(), QStringLiteral("Log View"));
    EXPECT_EQ(ribbon->HeadPaneCheck()->text(), QStringLiteral("VR Head Control"));
    EXPECT_NE(ribbon->findChild<QMenu*>(QStringLiteral("RecentDocuments")), nullptr);
    EXPECT_FALSE(ribbon->ExposureBox()->isEnabled());  // no document yet

    EXPECT_EQ(frame->OutputPane()->windowTitle(), QStringLiteral("Output"));
    EXPECT_EQ(frame->dockWidgetArea(frame->OutputPane()), Qt::BottomDockWidgetArea);
    EXPECT_EQ(frame->HeadPane()->windowTitle(), QStringLiteral("VELDAN VR Head Control"));
    EXPECT_EQ(frame->dockWidgetArea(frame->HeadPane()), Qt::RightDockWidgetArea);
    EXPECT_EQ(frame->OutputPane()->List()->Entries(),
              (QStringList{QStringLiteral("VELDANpreview Logview"), QStringLiteral("=====================")}));
    EXPECT_EQ(frame->MdiArea()->viewMode(), QMdiArea::TabbedView);
}

TEST_F(MainFrameTest, PaneTogglesFollowThePanes) {
    CVELDANpreviewApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview")}, false));
    CMainFrame* frame = app.MainFrame();
    frame->show();
    ASSERT_TRUE(WaitFor([&] { return frame->OutputPane()->isVisible(); }));
    frame->OnCommand(cmd::kViewLogPane);
    EXPECT_TRUE(frame->OutputPane()->isHidden());
    EXPECT_FALSE(frame->RibbonBar()->LogPaneCheck()->isChecked());
    frame->OnCommand(cmd::kViewLogPane);
    EXPECT_TRUE(WaitFor([&] { return frame->RibbonBar()->LogPaneCheck()->isChecked(); }));
    // Hidden from the log's own context menu: the check box follows.
    emit frame->OutputPane()->List()->hideRequested();
    EXPECT_TRUE(WaitFor([&] { return !frame->RibbonBar()->LogPaneCheck()->isChecked(); }));
    frame->OnCommand(cmd::kViewHeadPane);
    EXPECT_FALSE(frame->RibbonBar()->HeadPaneCheck()->isChecked());
}

TEST_F(MainFrameTest, VisualStyleIsStoredAsApplicationLook) {
    const fs::path profile = home.Root() / "config" / "VELDANpreview" / "VELDANpreview.conf";
    {
        CVELDANpreviewApp app;
        ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview")}, false));
        EXPECT_EQ(app.MainFrame()->ApplicationLook(), 216);  // nothing stored: black
        EXPECT_TRUE(app.MainFrame()->RibbonBar()->Action(216)->isChecked());
        app.MainFrame()->OnCommand(218);
        EXPECT_TRUE(app.MainFrame()->RibbonBar()->Action(218)->isChecked());
    }
    EXPECT_NE(ReadAll(profile).find("ApplicationLook=218"), std::string::npos) << ReadAll(profile);
    CVELDANpreviewApp again;
    ASSERT_TRUE(again.InitInstance({QStringLiteral("VELDANpreview")}, false));
    EXPECT_EQ(again.MainFrame()->ApplicationLook(), 218);
}

TEST_F(MainFrameTest, ProjectOnTheCommandLineOpensAsATab) {
    const fs::path file = MakeProject("Lake");
    CVELDANpreviewApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview"), QString::fromStdString(file.string())}, false));
    CMainFrame* frame = app.MainFrame();
    ASSERT_EQ(frame->MdiArea()->subWindowList().size(), 1);
    CChildFrame* child = frame->ActiveChild();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->windowTitle(), QStringLiteral("Lake"));
    EXPECT_EQ(child->Document().Project().TileCount(), 6u);
    EXPECT_EQ(app.Documents().Count(), 1u);

    // A screenshot for people to look at.
    frame->resize(1280, 800);
    frame->show();
    LogText(L"Opened %ls\n", veldan::platform::PathToWide(file).c_str());
    ASSERT_TRUE(WaitFor([&] { return frame->OutputPane()->List()->count() == 3; }));
    fs::create_directories(VELDAN_SCREENSHOT_DIR);
    const QString shot = QStringLiteral(VELDAN_SCREENSHOT_DIR "/mainframe.png");
    EXPECT_TRUE(frame->grab().save(shot));
    EXPECT_TRUE(fs::file_size(shot.toStdString()) > 1000);
}

TEST_F(MainFrameTest, UnreadableProjectOnTheCommandLineOpensNothing) {
    WriteText(home.Root() / "bad.vpp", "garbage");
    CVELDANpreviewApp app;
    // The error box would wait for a click: close it as soon as it shows.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->inherits("QMessageBox") && w->isVisible()) w->close();
    });
    closer.start(10);
    ASSERT_TRUE(app.InitInstance(
        {QStringLiteral("VELDANpreview"), QString::fromStdString((home.Root() / "bad.vpp").string())}, false));
    EXPECT_TRUE(app.MainFrame()->MdiArea()->subWindowList().isEmpty());
    EXPECT_EQ(app.Documents().Count(), 0u);
}

TEST_F(MainFrameTest, LogTextsFromSeveralThreadsReachTheList) {
    CVELDANpreviewApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview")}, false));
    COutputList* list = app.MainFrame()->OutputPane()->List();
    constexpr int kThreads = 4, kLines = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) LogText(L"t%d line %d\r\n", t, i);
        });
    for (auto& th : threads) th.join();
    ASSERT_TRUE(WaitFor([&] { return list->count() == 2 + kThreads * kLines; }));
    std::vector<int> next(kThreads, 0);
    for (int row = 2; row < list->count(); ++row) {
        int t = -1, i = -1;
        ASSERT_EQ(sscanf(list->item(row)->text().toUtf8().constData(), "t%d line %d", &t, &i), 2);
        EXPECT_EQ(i, next[t]++);
        EXPECT_FALSE(list->item(row)->text().endsWith(QLatin1Char('\n')));
    }
    EXPECT_EQ(list->currentRow(), list->count() - 1);
    list->OnEditClear();
    EXPECT_EQ(list->count(), 0);
}

TEST_F(MainFrameTest, BusyDocumentKeepsItsTab) {
    const fs::path file = MakeProject("Busy");
    CVELDANpreviewApp app;
    CMainFrame* frame = nullptr;
    CChildFrame* child = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenShown(app, file, frame, child));
    CVELDANpreviewDoc* doc = &child->Document();
    ASSERT_TRUE(app.Documents().Hold(doc));
    frame->OnCommand(cmd::kFileClose);
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->MdiArea()->subWindowList().size(), 1);
    app.Documents().Release(doc);
    frame->OnCommand(cmd::kFileClose);
    EXPECT_TRUE(WaitFor([&] { return frame->MdiArea()->subWindowList().isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return app.Documents().Count() == 0; }));
}

TEST_F(MainFrameTest, NewProjectDialogNamesTheFileAndFolder) {
    TestApp();
    DocumentList list;
    CVELDANpreviewDoc doc(list);
    CNewProjectDlg dialog(doc.Project());
    auto* description = dialog.findChild<QLineEdit*>(QStringLiteral("Description"));
    auto* folder = dialog.findChild<QLineEdit*>(QStringLiteral("Folder"));
    ASSERT_NE(description, nullptr);
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(description->text(), QStringLiteral("VELDANmodular Panorama Project"));
    EXPECT_EQ(folder->text(), QString::fromStdString((home.Root() / "Documents").string()));
    description->setText(QStringLiteral("  Pano "));
    folder->setText(QString::fromStdString((home.Root() / "Shots").string()));
    dialog.Apply();
    ScriptedUi ui;
    ASSERT_TRUE(doc.OnNewDocument(ui));
    EXPECT_EQ(doc.PathName(), home.Root() / "Shots" / "Pano.vpp");
    EXPECT_TRUE(fs::exists(doc.PathName()));
}

TEST_F(MainFrameTest, UnregisterSwitchRemovesTheRegistrationAndOpensNoWindow) {
    {
        CVELDANpreviewApp app;
        ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview")}, false));
    }
    EXPECT_TRUE(fs::exists(home.Root() / "data/applications/VELDANpreview.desktop"));
    CVELDANpreviewApp app;
    EXPECT_FALSE(app.InitInstance({QStringLiteral("VELDANpreview"), QStringLiteral("/Unregister")}, false));
    EXPECT_EQ(app.ExitCode(), 0);
    EXPECT_EQ(app.MainFrame(), nullptr);
    EXPECT_FALSE(fs::exists(home.Root() / "data/applications/VELDANpreview.desktop"));
}

TEST_F(MainFrameTest, ModeCommandsReachTheActiveViewAndCheckTheRibbon) {
    const fs::path file = MakeProject("Modes");
    CVELDANpreviewApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview"), QString::fromStdString(file.string())}, false));
    CMainFrame* frame = app.MainFrame();
    CChildFrame* child = frame->ActiveChild();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->View()->Mode(), 1u);
    frame->OnCommand(cmd::kWarped);
    EXPECT_EQ(child->View()->Mode(), 6u);
    EXPECT_TRUE(frame->RibbonBar()->Action(cmd::kWarped)->isChecked());
    EXPECT_FALSE(frame->RibbonBar()->Action(cmd::kFlowChart)->isChecked());
    frame->OnCommand(cmd::kBlended);
    EXPECT_EQ(child->View()->Mode(), 20u);
    EXPECT_TRUE(child->View()->RefreshPending());
    frame->OnCommand(32902);  // measuring: shows the blended picture, checks none of the three
    EXPECT_EQ(child->View()->Mode(), 36u);
    EXPECT_FALSE(frame->RibbonBar()->Action(cmd::kBlended)->isChecked());
    frame->OnCommand(cmd::kFlowChart);
    EXPECT_EQ(child->View()->Mode(), 1u);
    EXPECT_TRUE(frame->RibbonBar()->Action(cmd::kFlowChart)->isChecked());
    // Closing the tab takes the view down before its document.
    frame->show();
    frame->OnCommand(cmd::kFileClose);
    EXPECT_TRUE(WaitFor([&] { return frame->MdiArea()->subWindowList().isEmpty(); }));
}

TEST_F(MainFrameTest, ExposureBoxListsTheFirstTilesOffsetsAndPicksTheShownExposure) {
    const fs::path dir = home.Root() / "Shots";
    fs::create_directories(dir);
    fs::path file;
    {
        DocumentList list;
        CVELDANpreviewDoc doc(list);
        doc.Project().description.Set(L"Bracketed");
        doc.Project().project_path.Set(veldan::platform::PathToWide(dir).c_str());
        doc.Project().hdri.enabled = true;
        doc.Project().hdri.count = 3;
        auto* tile = new VELDANPanoramaTile();
        tile->fov_x = 40;
        tile->fov_y = 30;
        auto* b = new VELDANPanoramaBracketing();
        b->SetImageCnt(3);
        const int32_t evs[3] = {-4, 0, 3};
        for (uint32_t i = 0; i < 3; ++i) b->GetImage(i)->ev = evs[i];
        tile->bracketings.AddItem(b, 0);
        doc.Project().AppendTile(tile);
        ScriptedUi ui;
        ASSERT_TRUE(doc.OnNewDocument(ui));
        file = doc.PathName();
    }
    CVELDANpreviewApp app;
    ASSERT_TRUE(app.InitInstance({QStringLiteral("VELDANpreview"), QString::fromStdString(file.string())}, false));
    CMainFrame* frame = app.MainFrame();
    QComboBox* box = frame->RibbonBar()->ExposureBox();
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->itemText(0), QStringLiteral("EV: -1 1/3"));
    EXPECT_EQ(box->itemText(1), QStringLiteral("EV: 0"));
    EXPECT_EQ(box->itemText(2), QStringLiteral("EV: +1 "));
    EXPECT_TRUE(box->isEnabled());
    EXPECT_EQ(box->currentIndex(), 0);
    emit box->activated(2);
    EXPECT_EQ(frame->ActiveChild()->View()->ShownExposure(), 2u);
}

TEST_F(MainFrameTest, WindowManagerSavesAndClosesOnlyWhatItMay) {
    const fs::path file = MakeProject("Pier");
    CVELDANpreviewApp app;
    CMainFrame* frame = nullptr;
    CChildFrame* child = nullptr;
    ASSERT_NO_FATAL_FAILURE(OpenShown(app, file, frame, child));
    CVELDANpreviewDoc* doc = &child->Document();

    frame->MdiArea()->setActiveSubWindow(child);
    ScriptedUi ui;
    CWindowManagerDlg dialog(*frame->MdiArea(), ui, frame);
    ASSERT_EQ(dialog.List()->count(), 1);
    EXPECT_EQ(dialog.List()->item(0)->text(), QStringLiteral("Pier"));
    EXPECT_TRUE(dialog.List()->item(0)->isSelected());  // the active window

    // Save writes the modified document where it came from.
    doc->Project().description.Set(L"Pier at dusk");
    doc->SetModifiedFlag();
    fs::last_write_time(file, fs::last_write_time(file) - std::chrono::hours(1));
    const auto before = fs::last_write_time(file);
    dialog.SaveSelected();
    EXPECT_FALSE(doc->IsModified());
    EXPECT_GT(fs::last_write_time(file), before);

    // A document held by background work refuses to close and stays listed.
    ASSERT_TRUE(app.Documents().Hold(doc));
    dialog.List()->item(0)->setSelected(true);
    dialog.CloseSelected();
    QCoreApplication::processEvents();
    EXPECT_EQ(frame->MdiArea()->subWindowList().size(), 1);
    EXPECT_EQ(dialog.List()->count(), 1);
    app.Documents().Release(doc);
    dialog.List()->item(0)->setSelected(true);
    dialog.CloseSelected();
    EXPECT_TRUE(WaitFor([&] { return frame->MdiArea()->subWindowList().isEmpty(); }));
    EXPECT_TRUE(WaitFor([&] { return app.Documents().Count() == 0; }));
}

}  // namespace veldan::test
