#pragma once
#include <atomic>
#include <filesystem>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace veldan::headsim {

// A UNIX stream socket taking one text command per line and answering each
// with one line. Every client has its own thread, so that a command that
// waits (a shutter release waiting for its file) does not hold up another
// client reading the state.
class ControlSocket {
public:
    using Handler = std::function<std::string(const std::string& line)>;

    ControlSocket() = default;
    ~ControlSocket() { Close(); }
    ControlSocket(const ControlSocket&) = delete;
    ControlSocket& operator=(const ControlSocket&) = delete;

    // A socket file left behind by a simulator that is gone is replaced; a
    // socket on which another simulator answers is refused.
    bool Open(const std::filesystem::path& path, Handler handler, std::string& error);
    void Close();
    const std::filesystem::path& Path() const { return path_; }

    static constexpr size_t kMaxLine = 4096;

private:
    struct Client {
        int fd = -1;
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void AcceptLoop();
    void Serve(Client& client);

    std::filesystem::path path_;
    Handler handler_;
    int listenFd_ = -1;
    int wakeFd_ = -1;
    std::atomic<bool> stopping_{false};
    std::thread acceptor_;
    std::mutex clientsLock_;
    std::list<std::unique_ptr<Client>> clients_;
};

}  // namespace veldan::headsim
