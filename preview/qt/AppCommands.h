#pragma once
// Command numbers of the desktop program, as the ribbon, the menus and the
// tests know them.
namespace veldan::preview::cmd {
constexpr int kFileNew = 57600;
constexpr int kFileOpen = 57601;
constexpr int kFileClose = 57602;
constexpr int kFileSave = 57603;
constexpr int kFileSaveAs = 57604;
constexpr int kFilePrintSetup = 57606;
constexpr int kFilePrint = 57607;
constexpr int kFilePrintDirect = 57608;
constexpr int kFilePrintPreview = 57609;
constexpr int kAppExit = 57665;
constexpr int kHelpFinder = 57667;
constexpr int kHelp = 57669;
constexpr int kHelpUsing = 57670;
constexpr int kContextHelp = 57671;
constexpr int kImport = 310;
constexpr int kExport = 32783;
constexpr int kFlowChart = 32787;
constexpr int kWarped = 32785;
constexpr int kBlended = 32904;
constexpr int kViewHeadPane = 185;
constexpr int kViewLogPane = 149;
constexpr int kExposure = 186;
constexpr int kWindowManager = 131;
constexpr int kLookFirst = 210;    // Windows 2000
constexpr int kLookLast = 218;     // Office 2007 aqua
constexpr int kLookDefault = 216;  // Office 2007 black
constexpr int kEditCopy = 57634;
constexpr int kEditClear = 57632;
}  // namespace veldan::preview::cmd
