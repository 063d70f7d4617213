#pragma once
// The virtual head as a child process on a pseudo-terminal, linked as COM<n>
// in the temporary documents folder, with a client for its control socket.
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

namespace veldan_test {

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

// Runs a program with arguments and returns its exit status (-1 when it
// could not be run); its standard output is appended to `output`.
int RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args, std::string& output);

}  // namespace veldan_test
