// QtCaptureMonitorUi: the capture monitor's questions and progress as dialogs
// run on the window thread.
#include "QtCaptureMonitorUi.h"
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QProgressDialog>
#include <QThread>
#include "platform/Text.h"

namespace veldan::preview {

namespace {

QString Q(const std::wstring& text) { return QString::fromStdWString(text); }

// Runs f on the window thread and returns its result; false without an
// application.
template <class F>
bool OnWindowThread(F f) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return false;
    if (QThread::currentThread() == app->thread()) return f();
    bool result = false;
    QMetaObject::invokeMethod(
        app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

}  // namespace

QtCaptureMonitorUi::QtCaptureMonitorUi(QWidget* owner) : owner_(owner) {}
QtCaptureMonitorUi::~QtCaptureMonitorUi() = default;

bool QtCaptureMonitorUi::AskYesNo(const std::wstring& caption, const std::wstring& text) {
    return OnWindowThread([&] {
        return QMessageBox::question(owner_, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::Yes) == QMessageBox::Yes;
    });
}

bool QtCaptureMonitorUi::AskOkCancel(const std::wstring& caption, const std::wstring& text) {
    return OnWindowThread([&] {
        return QMessageBox::information(owner_, Q(caption), Q(text), QMessageBox::Ok | QMessageBox::Cancel,
                                        QMessageBox::Ok) == QMessageBox::Ok;
    });
}

QStringList QtCaptureMonitorUi::NameFilters(const std::wstring& filter) {
    const QStringList parts = Q(filter).split(QLatin1Char('|'), Qt::SkipEmptyParts);
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p == QLatin1String("*.*") ? QStringLiteral("*") : p;
            patterns << pattern;
            if (pattern.toUpper() != pattern) patterns << pattern.toUpper();
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

bool QtCaptureMonitorUi::LocateFiles(const std::wstring& title, const std::wstring&, const std::wstring& filter,
                                     std::vector<std::wstring>& chosen) {
    return OnWindowThread([&] {
        QFileDialog dialog(owner_, Q(title));
        dialog.setFileMode(QFileDialog::ExistingFiles);
        dialog.setNameFilters(NameFilters(filter));
        dialog.setOption(QFileDialog::ReadOnly, false);
        if (dialog.exec() != QDialog::Accepted) return false;
        chosen.clear();
        for (const QString& f : dialog.selectedFiles()) chosen.push_back(f.toStdWString());
        return true;
    });
}

void QtCaptureMonitorUi::ProgressBegin(uint32_t range) {
    OnWindowThread([&] {
        progress_ = std::make_unique<QProgressDialog>(owner_);
        progress_->setCancelButton(nullptr);
        progress_->setRange(0, static_cast<int>(range));
        progress_->setMinimumDuration(0);
        progress_->setValue(0);
        progress_->show();
        return true;
    });
}

void QtCaptureMonitorUi::ProgressSet(uint32_t position) {
    OnWindowThread([&] {
        if (progress_) progress_->setValue(static_cast<int>(position));
        return true;
    });
}

void QtCaptureMonitorUi::ProgressEnd() {
    OnWindowThread([&] {
        progress_.reset();
        return true;
    });
}

void StopCaptureMonitor(CaptureFolderMonitor& monitor, veldan::platform::Event& stopEvent) {
    stopEvent.Set();
    while (!monitor.WaitFinished(20)) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    monitor.Join();
}

}  // namespace veldan::preview
