// The visual styles 210 to 218 as palettes over the Fusion style.
#include "VisualStyle.h"
#include <QApplication>
#include <QPalette>
#include <QStyleFactory>
#include "AppCommands.h"

namespace veldan::preview {
namespace {

struct Look {
    const char* name;
    QColor window, base, text, button, highlight;
};

const Look kLooks[] = {
    {"Windows 2000", QColor(212, 208, 200), Qt::white, Qt::black, QColor(212, 208, 200), QColor(10, 36, 106)},
    {"Office XP", QColor(246, 244, 236), Qt::white, Qt::black, QColor(236, 233, 216), QColor(182, 189, 210)},
    {"Windows XP", QColor(236, 233, 216), Qt::white, Qt::black, QColor(236, 233, 216), QColor(49, 106, 197)},
    {"Office 2003", QColor(196, 218, 250), Qt::white, Qt::black, QColor(221, 236, 254), QColor(255, 192, 111)},
    {"Visual Studio.NET 2005", QColor(238, 237, 229), Qt::white, Qt::black, QColor(238, 237, 229),
     QColor(51, 153, 255)},
    {"Office 2007 Blue", QColor(191, 219, 255), Qt::white, Qt::black, QColor(218, 233, 255), QColor(255, 213, 77)},
    {"Office 2007 Black", QColor(83, 83, 83), QColor(235, 235, 235), QColor(240, 240, 240), QColor(110, 110, 110),
     QColor(255, 190, 80)},
    {"Office 2007 Silver", QColor(208, 212, 221), Qt::white, Qt::black, QColor(226, 229, 236), QColor(255, 213, 77)},
    {"Office 2007 Aqua", QColor(196, 220, 226), Qt::white, Qt::black, QColor(216, 234, 238), QColor(255, 213, 77)},
};

// share of a, the rest of b.
QColor Blend(const QColor& a, const QColor& b, double share) {
    auto mix = [share](int x, int y) { return static_cast<int>(x * share + y * (1 - share) + 0.5); };
    return QColor(mix(a.red(), b.red()), mix(a.green(), b.green()), mix(a.blue(), b.blue()));
}

}  // namespace

int NormalizedLook(int look) { return look >= cmd::kLookFirst && look <= cmd::kLookLast ? look : cmd::kLookDefault; }

const char* LookName(int look) { return kLooks[NormalizedLook(look) - cmd::kLookFirst].name; }

void ApplyVisualStyle(int look) {
    const Look& l = kLooks[NormalizedLook(look) - cmd::kLookFirst];
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    QPalette p;
    p.setColor(QPalette::Window, l.window);
    p.setColor(QPalette::WindowText, l.text);
    p.setColor(QPalette::Base, l.base);
    p.setColor(QPalette::AlternateBase, l.base.darker(105));
    p.setColor(QPalette::Text, Qt::black);
    p.setColor(QPalette::Button, l.button);
    p.setColor(QPalette::ButtonText, l.text);
    p.setColor(QPalette::Highlight, l.highlight);
    p.setColor(QPalette::HighlightedText, Qt::black);
    p.setColor(QPalette::ToolTipBase, QColor(255, 255, 225));
    p.setColor(QPalette::ToolTipText, Qt::black);
    // Disabled controls must look disabled: their texts fade towards their
    // background and a disabled button is flatter than an enabled one (the
    // head pane's Start, Break and Stop tell the head's state this way).
    p.setColor(QPalette::Disabled, QPalette::ButtonText, Blend(l.text, l.button, 0.45));
    p.setColor(QPalette::Disabled, QPalette::WindowText, Blend(l.text, l.window, 0.45));
    p.setColor(QPalette::Disabled, QPalette::Text, Blend(Qt::black, l.base, 0.45));
    p.setColor(QPalette::Disabled, QPalette::Button, Blend(l.button, l.window, 0.5));
    QApplication::setPalette(p);
}

}  // namespace veldan::preview
