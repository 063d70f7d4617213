// The virtual head as a child process of the screenshot programs, and its demo
// configuration.
#include "VirtualHeadProcess.h"
#include <QDeadlineTimer>
#include <fstream>
#include <string>

namespace veldan::preview::demo {

bool VirtualHeadProcess::Start(const std::filesystem::path& program, const QStringList& arguments, int timeoutMs,
                               QString& error) {
    Stop();
    // The simulator's diagnostics go to our standard error; its standard
    // output carries the ready line.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start(QString::fromStdString(program.string()), arguments);
    if (!process_.waitForStarted(timeoutMs)) {
        error =
            QStringLiteral("cannot start %1: %2").arg(QString::fromStdString(program.string()), process_.errorString());
        return false;
    }
    QByteArray text;
    QDeadlineTimer deadline(timeoutMs);
    while (!text.contains(" ready\n")) {
        if (deadline.hasExpired() || process_.state() == QProcess::NotRunning) {
            error = QStringLiteral("the virtual head did not report ready: %1").arg(QString::fromLocal8Bit(text));
            Stop();
            return false;
        }
        if (process_.waitForReadyRead(static_cast<int>(std::min<qint64>(deadline.remainingTime(), 500))))
            text += process_.readAllStandardOutput();
    }
    // Whatever it prints later is dropped as it arrives instead of piling up.
    QObject::disconnect(&process_, &QProcess::readyReadStandardOutput, nullptr, nullptr);
    QObject::connect(&process_, &QProcess::readyReadStandardOutput, &process_,
                     [this] { process_.readAllStandardOutput(); });
    return true;
}

void VirtualHeadProcess::Stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(10000)) {
        process_.kill();
        process_.waitForFinished(5000);
    }
}

namespace {
std::string ComDevice(int n) {
    if (n <= 32) return "/dev/ttyS" + std::to_string(n - 1);
    if (n <= 64) return "/dev/ttyUSB" + std::to_string(n - 33);
    if (n <= 80) return "/dev/ttyACM" + std::to_string(n - 65);
    if (n <= 99) return "/dev/rfcomm" + std::to_string(n - 81);
    return "";
}
}  // namespace

int FreeComNumber(const std::filesystem::path& portsFolder) {
    std::error_code ec;
    for (int n = 1; n <= 255; ++n) {
        const std::string device = ComDevice(n);
        if (std::filesystem::exists(portsFolder / ("COM" + std::to_string(n)), ec)) continue;
        if (std::filesystem::is_symlink(portsFolder / ("COM" + std::to_string(n)), ec)) continue;
        if (!device.empty() && std::filesystem::exists(device, ec)) continue;
        return n;
    }
    return 0;
}

bool WriteDemoConfiguration(const std::filesystem::path& documents, const std::filesystem::path& configHome, int com,
                            const std::filesystem::path& captureFolder) {
    std::error_code ec;
    const std::filesystem::path config = documents / "VELDANmodular";
    std::filesystem::create_directories(config / "ports", ec);
    std::filesystem::create_directories(configHome / "VELDANpreview", ec);
    {
        std::ofstream settings(config / "settings.cfg", std::ios::binary | std::ios::trunc);
        settings << "# The virtual head (veldan-headsim --com " << com << ")\n"
                 << "port = " << com << "\n"
                 << "edition = \"vrhead\"\n"
                 << "verbose = 1\n"
                 << "preshot_time = 0.1\n"
                 << "exposure_time = 0.05\n"
                 << "recover_time = 0.2\n";
        if (!settings.flush()) return false;
    }
    // The profile escapes backslashes; a POSIX path has none to speak of,
    // but a folder name may.
    std::string folder;
    for (char c : captureFolder.string()) {
        if (c == '\\') folder += '\\';
        folder += c;
    }
    std::ofstream profile(configHome / "VELDANpreview" / "VELDANpreview.conf", std::ios::binary | std::ios::trunc);
    profile << "[Settings]\nCAPTURE_DIRECTORY=" << folder << "\n";
    return static_cast<bool>(profile.flush());
}

}  // namespace veldan::preview::demo
