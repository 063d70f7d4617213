#pragma once
// The virtual head as a child process on a pseudo-terminal, linked as COM<n>
// in the temporary documents folder, with a client for its control socket.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace veldan::test {

class VirtualHead {
public:
    // Path of the built simulator; empty when it was not built.
    static std::filesystem::path Program();

    VirtualHead() = default;
    ~VirtualHead();
    VirtualHead(const VirtualHead&) = delete;
    VirtualHead& operator=(const VirtualHead&) = delete;

    // Starts the simulator with COM<com> and the extra options, waits for its
    // "ready" line. False with a reason when it does not come up.
    bool Start(int com, const std::filesystem::path& documents, const std::vector<std::string>& options,
               std::string& error);
    void Stop();

    // Sends one control-socket command and returns the reply line ("" when
    // the socket cannot be reached).
    std::string Command(const std::string& command);
    // The value of "key=" in the reply of "state".
    std::string StateValue(const std::string& key);
    // Horizontal and vertical angle of the simulated head.
    bool Angles(double& horizontal, double& vertical);

private:
    pid_t pid_ = -1;
    int stdoutFd_ = -1;
    std::filesystem::path socket_;
};

// The settings.cfg of a head on COM<com> laid out as StandardHeadOptions
// starts the simulator: drives 0 and 1, control module 2 with the shutter on
// relay 1 and the pre-shot on relay 0, a battery from 10.5 V to 12.6 V.
std::string StandardHeadSettings(int com);
// The simulator's options for that layout, running ten times faster than
// real time on a battery of 11.55 V, followed by `extra`.
std::vector<std::string> StandardHeadOptions(const std::vector<std::string>& extra = {});

// Runs a program with arguments and returns its exit status (-1 when it
// could not be run); its standard output is appended to `output`.
int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args, std::string& output);

}  // namespace veldan::test
