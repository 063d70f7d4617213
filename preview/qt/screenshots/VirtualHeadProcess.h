#pragma once
#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>

namespace veldan::preview::demo {

// The virtual head `veldan-headsim` as a child process: started with its
// options, awaited until it reports its line ready, stopped (SIGTERM) when
// this object goes.
class VirtualHeadProcess {
public:
    VirtualHeadProcess() = default;
    ~VirtualHeadProcess() { Stop(); }
    VirtualHeadProcess(const VirtualHeadProcess&) = delete;
    VirtualHeadProcess& operator=(const VirtualHeadProcess&) = delete;

    // Starts program with arguments and waits up to timeoutMs for its
    // "ready" line. False with a reason (and nothing left running) otherwise.
    bool Start(const std::filesystem::path& program, const QStringList& arguments, int timeoutMs, QString& error);
    void Stop();
    bool Running() const { return process_.state() != QProcess::NotRunning; }

private:
    QProcess process_;
};

// The lowest COM number that no serial device answers to on this machine
// (COM1-32 ttyS, 33-64 ttyUSB, 65-80 ttyACM, 81-99 rfcomm; above 99 there
// is none) and that has no link in portsFolder, so that a demo can never
// reach a real device; 0 when there is none.
int FreeComNumber(const std::filesystem::path& portsFolder);

// Writes what a demo home needs for the virtual head on COM<com>, as
// `make run` does: <documents>/VELDANmodular/settings.cfg and the desktop
// program's profile value Settings/CAPTURE_DIRECTORY in
// <configHome>/VELDANpreview/VELDANpreview.conf. False when a file cannot
// be written.
bool WriteDemoConfiguration(const std::filesystem::path& documents, const std::filesystem::path& configHome, int com,
                            const std::filesystem::path& captureFolder);

}  // namespace veldan::preview::demo
