// Waiting on the screenshot programs' window thread while its events are
// processed.
#include "EventWaits.h"
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QTest>
#include "PreviewView.h"

namespace veldan::preview::demo {

bool WaitFor(const std::function<bool()>& condition, int ms) { return QTest::qWaitFor(condition, ms); }

void Settle(CVELDANpreviewView* view, int quietMs, int limitMs) {
    QElapsedTimer sinceChange;
    sinceChange.start();
    QMetaObject::Connection c;
    if (view) c = QObject::connect(view, &CVELDANpreviewView::documentModified, [&] { sinceChange.restart(); });
    QDeadlineTimer limit(limitMs);
    while (!limit.hasExpired() && sinceChange.elapsed() < quietMs) QTest::qWait(20);
    QObject::disconnect(c);
}

}  // namespace veldan::preview::demo
