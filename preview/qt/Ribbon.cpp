// Ribbon: the application button and menu, quick access toolbar, category tabs
// and their panels.
#include "Ribbon.h"
#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include "AppCommands.h"

namespace veldan::preview {

Ribbon::Ribbon(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Ribbon"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(2, 2, 2, 2);
    outer->setSpacing(2);

    // Application button and its menu.
    QStyle* st = style();
    MakeAction(cmd::kFileNew, tr("&New"))->setIcon(st->standardIcon(QStyle::SP_FileIcon));
    MakeAction(cmd::kFileOpen, tr("&Open..."))->setIcon(st->standardIcon(QStyle::SP_DialogOpenButton));
    MakeAction(cmd::kImport, tr("&Import..."));
    MakeAction(cmd::kFileSave, tr("&Save"))->setIcon(st->standardIcon(QStyle::SP_DialogSaveButton));
    MakeAction(cmd::kFileSaveAs, tr("Save &As..."));
    MakeAction(cmd::kExport, tr("&Export..."));
    MakeAction(cmd::kFilePrintDirect, tr("&Quick Print"))->setIcon(st->standardIcon(QStyle::SP_FileDialogDetailedView));
    MakeAction(cmd::kFilePrintPreview, tr("Print Pre&view"))->setCheckable(true);
    MakeAction(cmd::kFilePrintSetup, tr("Print Set&up"));
    MakeAction(cmd::kFilePrint, tr("Print"), tr("Preview and print the document"));
    MakeAction(cmd::kFileClose, tr("&Close"));
    MakeAction(cmd::kAppExit, tr("E&xit"));

    appMenu_ = new QMenu(this);
    appMenu_->setObjectName(QStringLiteral("ApplicationMenu"));
    for (int c : {cmd::kFileNew, cmd::kFileOpen, cmd::kImport, cmd::kFileSave, cmd::kFileSaveAs, cmd::kExport})
        appMenu_->addAction(Action(c));
    QMenu* print = appMenu_->addMenu(tr("Print"));
    print->setObjectName(QStringLiteral("PrintMenu"));
    print->setToolTip(tr("Preview and print the document"));
    print->addSection(tr("Preview and print the document"));
    for (int c : {cmd::kFilePrint, cmd::kFilePrintDirect, cmd::kFilePrintPreview, cmd::kFilePrintSetup})
        print->addAction(Action(c));
    appMenu_->addAction(Action(cmd::kFileClose));
    // The program keeps no recent files: the list stays empty.
    QMenu* recent = appMenu_->addMenu(tr("Recent Documents"));
    recent->setObjectName(QStringLiteral("RecentDocuments"));
    recent->setMinimumWidth(300);
    recent->setEnabled(false);
    appMenu_->addSeparator();
    appMenu_->addAction(Action(cmd::kAppExit));

    auto* top = new QHBoxLayout;
    top->setSpacing(4);
    auto* appButton = new QToolButton(this);
    appButton->setObjectName(QStringLiteral("ApplicationButton"));
    appButton->setText(QStringLiteral("VELDAN"));
    appButton->setMenu(appMenu_);
    appButton->setPopupMode(QToolButton::InstantPopup);
    top->addWidget(appButton);
    // Quick access toolbar.
    for (int c : {cmd::kFileNew, cmd::kFileOpen, cmd::kFileSave, cmd::kFilePrintDirect}) {
        QToolButton* b = MakeButton(Action(c), false);
        b->setObjectName(QStringLiteral("QuickAccess_%1").arg(c));
        top->addWidget(b);
    }
    top->addStretch(1);

    // Tab area: exposure box, style menu, help.
    exposure_ = new QComboBox(this);
    exposure_->setObjectName(QStringLiteral("ExposureBox"));
    exposure_->setProperty("command", cmd::kExposure);
    exposure_->setMinimumWidth(90);
    exposure_->setEnabled(false);
    top->addWidget(exposure_);

    looks_ = new QActionGroup(this);
    looks_->setExclusive(true);
    auto* styleMenu = new QMenu(this);
    styleMenu->setObjectName(QStringLiteral("StyleMenu"));
    const char* styles[] = {"&Blue Style", "B&lack Style", "&Silver Style", "&Aqua Style"};
    for (int i = 0; i < 4; ++i) {
        QAction* a = MakeAction(cmd::kLookFirst + 5 + i, tr(styles[i]));
        a->setCheckable(true);
        looks_->addAction(a);
        styleMenu->addAction(a);
    }
    // The classic looks are reachable from the menu too.
    styleMenu->addSeparator();
    const char* classic[] = {"Windows &2000", "Office &XP", "&Windows XP", "Office 200&3", "Visual Studio.NET 200&5"};
    for (int i = 0; i < 5; ++i) {
        QAction* a = MakeAction(cmd::kLookFirst + i, tr(classic[i]));
        a->setCheckable(true);
        looks_->addAction(a);
        styleMenu->addAction(a);
    }
    auto* styleButton = new QToolButton(this);
    styleButton->setObjectName(QStringLiteral("StyleButton"));
    styleButton->setText(tr("Style"));
    styleButton->setToolTip(tr("Modify Visual Style"));
    styleButton->setStatusTip(tr("Choose one of the Office 2007 themes"));
    styleButton->setWhatsThis(tr("Choose one of the Office 2007 themes"));
    styleButton->setMenu(styleMenu);
    styleButton->setPopupMode(QToolButton::InstantPopup);
    top->addWidget(styleButton);

    MakeAction(cmd::kHelpFinder, tr("&Help Topics"));
    auto* helpMenu = new QMenu(this);
    helpMenu->addAction(Action(cmd::kHelpFinder));
    auto* helpButton = new QToolButton(this);
    helpButton->setObjectName(QStringLiteral("HelpButton"));
    helpButton->setIcon(st->standardIcon(QStyle::SP_TitleBarContextHelpButton));
    helpButton->setText(QStringLiteral("?"));
    helpButton->setMenu(helpMenu);
    helpButton->setPopupMode(QToolButton::InstantPopup);
    top->addWidget(helpButton);
    outer->addLayout(top);

    // Category "Main": panels "View" and "Window".
    categories_ = new QTabWidget(this);
    categories_->setObjectName(QStringLiteral("RibbonCategories"));
    categories_->setDocumentMode(true);
    auto* main = new QWidget(categories_);
    auto* mainLayout = new QHBoxLayout(main);
    mainLayout->setContentsMargins(2, 2, 2, 2);

    auto* viewContent = new QWidget(main);
    auto* viewLayout = new QHBoxLayout(viewContent);
    viewLayout->setContentsMargins(0, 0, 0, 0);
    auto* modes = new QActionGroup(this);
    for (auto [c, text] : {std::pair{cmd::kFlowChart, "Flow Chart"}, std::pair{cmd::kWarped, "Warped"},
                           std::pair{cmd::kBlended, "Blended"}}) {
        QAction* a = MakeAction(c, tr(text));
        a->setCheckable(true);
        modes->addAction(a);
        viewLayout->addWidget(MakeButton(a, true));
    }
    Action(cmd::kFlowChart)->setChecked(true);
    auto* checks = new QVBoxLayout;
    headCheck_ = new QCheckBox(tr("VR Head Control"), viewContent);
    headCheck_->setObjectName(QStringLiteral("Check_%1").arg(cmd::kViewHeadPane));
    headCheck_->setProperty("command", cmd::kViewHeadPane);
    logCheck_ = new QCheckBox(tr("Log View"), viewContent);
    logCheck_->setObjectName(QStringLiteral("Check_%1").arg(cmd::kViewLogPane));
    logCheck_->setProperty("command", cmd::kViewLogPane);
    checks->addWidget(headCheck_);
    checks->addWidget(logCheck_);
    viewLayout->addLayout(checks);
    // The check boxes mirror the panes; clicking one asks to toggle its pane.
    connect(headCheck_, &QCheckBox::clicked, this, [this] { emit command(cmd::kViewHeadPane); });
    connect(logCheck_, &QCheckBox::clicked, this, [this] { emit command(cmd::kViewLogPane); });
    mainLayout->addWidget(MakePanel(tr("View"), viewContent));

    auto* windowContent = new QWidget(main);
    auto* windowLayout = new QHBoxLayout(windowContent);
    windowLayout->setContentsMargins(0, 0, 0, 0);
    QAction* windows = MakeAction(cmd::kWindowManager, tr("&Windows..."));
    auto* windowsMenu = new QMenu(this);
    windowsMenu->addAction(tr("&New Window"));
    windowsMenu->addAction(windows);
    auto* windowsButton = new QToolButton(windowContent);
    windowsButton->setObjectName(QStringLiteral("WindowsButton"));
    windowsButton->setText(tr("Windows"));
    windowsButton->setMenu(windowsMenu);
    windowsButton->setPopupMode(QToolButton::InstantPopup);
    windowsButton->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    windowLayout->addWidget(windowsButton);
    mainLayout->addWidget(MakePanel(tr("Window"), windowContent));
    mainLayout->addStretch(1);
    categories_->addTab(main, tr("&Main"));
    outer->addWidget(categories_);
}

QAction* Ribbon::MakeAction(int number, const QString& text, const QString& tip) {
    auto* a = new QAction(text, this);
    a->setObjectName(QStringLiteral("Command_%1").arg(number));
    a->setData(number);
    if (!tip.isEmpty()) a->setToolTip(tip);
    connect(a, &QAction::triggered, this, [this, number] { emit command(number); });
    actions_.insert(number, a);
    return a;
}

QWidget* Ribbon::MakePanel(const QString& caption, QWidget* content) {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel_") + QString(caption).remove(QLatin1Char('&')));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(4, 2, 4, 0);
    layout->setSpacing(1);
    layout->addWidget(content, 1);
    auto* label = new QLabel(caption, panel);
    label->setAlignment(Qt::AlignHCenter);
    layout->addWidget(label);
    return panel;
}

QToolButton* Ribbon::MakeButton(QAction* action, bool large) {
    auto* b = new QToolButton(this);
    b->setDefaultAction(action);
    b->setAutoRaise(true);
    b->setToolButtonStyle(large ? Qt::ToolButtonTextUnderIcon : Qt::ToolButtonIconOnly);
    if (large) b->setMinimumWidth(64);
    return b;
}

QStringList Ribbon::CategoryNames() const {
    QStringList names;
    for (int i = 0; i < categories_->count(); ++i) names << categories_->tabText(i);
    return names;
}

void Ribbon::SetCheckedLook(int look) {
    if (QAction* a = Action(look)) a->setChecked(true);
}

}  // namespace veldan::preview
