// ControlSocket: the UNIX socket taking one command per line, one thread per
// client.
#include "ControlSocket.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace veldan::headsim {

namespace fs = std::filesystem;

namespace {
bool FillAddress(const fs::path& path, sockaddr_un& address) {
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    const std::string text = path.string();
    if (text.empty() || text.size() >= sizeof address.sun_path) return false;
    std::memcpy(address.sun_path, text.c_str(), text.size() + 1);
    return true;
}

bool SomeoneListens(const sockaddr_un& address) {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    bool listens = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return listens;
}

bool SendAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}
}  // namespace

bool ControlSocket::Open(const fs::path& path, Handler handler, std::string& error) {
    Close();
    sockaddr_un address;
    if (!FillAddress(path, address)) {
        error = "socket path too long or empty: " + path.string();
        return false;
    }
    std::error_code ec;
    auto status = fs::symlink_status(path, ec);
    if (!ec && fs::exists(status)) {
        if (status.type() != fs::file_type::socket) {
            error = path.string() + " exists and is not a socket";
            return false;
        }
        if (SomeoneListens(address)) {
            error = "another virtual head answers on " + path.string();
            return false;
        }
        fs::remove(path, ec);
    }
    fs::create_directories(path.parent_path(), ec);
    listenFd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (listenFd_ < 0 || wakeFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 16) != 0) {
        error = "cannot open the control socket " + path.string() + ": " + std::strerror(errno);
        if (listenFd_ >= 0) ::close(listenFd_);
        if (wakeFd_ >= 0) ::close(wakeFd_);
        listenFd_ = wakeFd_ = -1;
        return false;
    }
    path_ = path;
    handler_ = std::move(handler);
    stopping_.store(false);
    acceptor_ = std::thread([this] { AcceptLoop(); });
    return true;
}

void ControlSocket::Close() {
    if (listenFd_ < 0) return;
    stopping_.store(true);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
    acceptor_.join();
    {
        std::lock_guard guard(clientsLock_);
        for (auto& client : clients_) ::shutdown(client->fd, SHUT_RDWR);
    }
    for (auto& client : clients_) {
        client->thread.join();
        ::close(client->fd);
    }
    clients_.clear();
    ::close(listenFd_);
    ::close(wakeFd_);
    listenFd_ = wakeFd_ = -1;
    std::error_code ec;
    fs::remove(path_, ec);
    path_.clear();
}

void ControlSocket::AcceptLoop() {
    while (!stopping_.load()) {
        pollfd fds[2] = {{listenFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (stopping_.load()) break;
        if (!(fds[0].revents & POLLIN)) continue;
        int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::lock_guard guard(clientsLock_);
        // Forget the clients that have gone.
        for (auto it = clients_.begin(); it != clients_.end();) {
            if ((*it)->done.load()) {
                (*it)->thread.join();
                ::close((*it)->fd);
                it = clients_.erase(it);
            } else {
                ++it;
            }
        }
        auto client = std::make_unique<Client>();
        client->fd = fd;
        Client& ref = *client;
        clients_.push_back(std::move(client));
        ref.thread = std::thread([this, &ref] { Serve(ref); });
    }
}

void ControlSocket::Serve(Client& client) {
    std::string pending;
    char buffer[1024];
    bool open = true;
    while (open && !stopping_.load()) {
        pollfd fds[2] = {{client.fd, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) break;
        if (stopping_.load()) break;
        if (!(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        ssize_t n = ::recv(client.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        pending.append(buffer, static_cast<size_t>(n));
        size_t newline;
        while (open && (newline = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, newline);
            pending.erase(0, newline + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.size() > kMaxLine) {
                SendAll(client.fd, "ERR line too long\n");
                open = false;
                break;
            }
            if (line == "quit" || line == "exit") {
                open = false;
                break;
            }
            std::string reply = handler_ ? handler_(line) : "ERR no handler";
            if (!SendAll(client.fd, reply + "\n")) open = false;
        }
        if (pending.size() > kMaxLine) {
            SendAll(client.fd, "ERR line too long\n");
            break;
        }
    }
    client.done.store(true);
}

}  // namespace veldan::headsim
