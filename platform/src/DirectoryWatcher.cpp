// DirectoryWatcher: the inotify thread of a recursive watch and the queue of
// complete-file changes.
#include "platform/DirectoryWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "InotifyTree.h"
#include "platform/Thread.h"

namespace veldan::platform {

namespace fs = std::filesystem;

namespace {

// How long a move out of a folder waits for its partner event before it is
// taken for a move out of the tree. The kernel queues both halves of a rename
// back to back, so this only matters when a read ends between them.
constexpr int kMovePartnerWaitMs = 20;

class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) close(fd_);
        fd_ = fd;
    }

private:
    int fd_;
};

}  // namespace

struct DirectoryWatcher::Impl {
    // Queue of changes (queue mode).
    mutable std::mutex queueMutex;
    std::condition_variable queueChanged;
    std::deque<DirectoryChange> queue;
    Event pending{true};

    // Watch state; root and error under stateMutex.
    mutable std::mutex stateMutex;
    fs::path root;
    std::string lastError;
    std::atomic<bool> running{false};
    std::atomic<bool> stopping{false};
    Descriptor inotifyFd;
    Descriptor stopFd;
    std::thread thread;
    Callback callback;

    void Deliver(DirectoryChange change) {
        if (callback) {
            callback(change);
            return;
        }
        {
            std::lock_guard lock(queueMutex);
            queue.push_back(std::move(change));
            pending.Set();
        }
        queueChanged.notify_all();
    }

    void SetError(std::string text) {
        std::lock_guard lock(stateMutex);
        lastError = std::move(text);
    }

    void Run(std::unique_ptr<detail::InotifyTree> tree);
};

void DirectoryWatcher::Impl::Run(std::unique_ptr<detail::InotifyTree> tree) {
    SetCurrentThreadName("dir-watcher");
    // Room for many events per read (each is copied out before use).
    std::vector<char> buffer(64 * 1024);
    std::string reportedError;
    while (!stopping) {
        pollfd fds[2] = {{inotifyFd.Get(), POLLIN, 0}, {stopFd.Get(), POLLIN, 0}};
        const int ready = poll(fds, 2, tree->HasPendingMove() ? kMovePartnerWaitMs : -1);
        if (ready < 0) {
            if (errno == EINTR) continue;
            SetError(std::string("poll failed: ") + std::strerror(errno));
            tree->FlushPendingMove();
            Deliver({DirectoryChange::Kind::Ended, {}, {}});
            break;
        }
        if (fds[1].revents) break;
        if (ready == 0) {
            tree->FlushPendingMove();
            continue;
        }
        const ssize_t n = read(inotifyFd.Get(), buffer.data(), buffer.size());
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            SetError(std::string("reading the change notifications failed: ") + std::strerror(errno));
            tree->FlushPendingMove();
            Deliver({DirectoryChange::Kind::Ended, {}, {}});
            break;
        }
        const bool goOn = tree->Handle(buffer.data(), static_cast<size_t>(n));
        if (tree->LastError() != reportedError) {
            reportedError = tree->LastError();
            SetError(reportedError);
        }
        if (!goOn) break;
    }
    running = false;
}

DirectoryWatcher::DirectoryWatcher() : impl_(std::make_unique<Impl>()) {}

DirectoryWatcher::~DirectoryWatcher() { Stop(); }

bool DirectoryWatcher::Start(const fs::path& root, std::string* error) { return Start(root, Callback(), error); }

bool DirectoryWatcher::Start(const fs::path& root, Callback callback, std::string* error) {
    auto fail = [&](std::string text) {
        if (error) *error = text;
        impl_->SetError(std::move(text));
        return false;
    };
    if (impl_->thread.joinable()) {
        if (impl_->running) return fail("the watcher is already running");
        Stop();
    }
    std::error_code ec;
    const fs::path absolute = fs::absolute(root, ec);
    if (ec || !fs::is_directory(absolute, ec)) return fail("not a folder: " + root.string());

    impl_->inotifyFd.Reset(inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (impl_->inotifyFd.Get() < 0) return fail(std::string("inotify_init1 failed: ") + std::strerror(errno));
    impl_->stopFd.Reset(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    if (impl_->stopFd.Get() < 0) {
        impl_->inotifyFd.Reset();
        return fail(std::string("eventfd failed: ") + std::strerror(errno));
    }
    impl_->stopping = false;
    impl_->callback = std::move(callback);
    {
        std::lock_guard lock(impl_->stateMutex);
        impl_->root = absolute;
        impl_->lastError.clear();
    }
    Impl* impl = impl_.get();
    auto tree = std::make_unique<detail::InotifyTree>(
        impl->inotifyFd.Get(), absolute, [impl](DirectoryChange change) { impl->Deliver(std::move(change)); },
        impl->stopping);
    std::string initError;
    if (!tree->Init(&initError)) {
        impl_->inotifyFd.Reset();
        impl_->stopFd.Reset();
        return fail(initError);
    }
    if (!tree->LastError().empty()) impl_->SetError(tree->LastError());
    impl_->running = true;
    impl_->thread = std::thread([impl, t = std::move(tree)]() mutable { impl->Run(std::move(t)); });
    return true;
}

void DirectoryWatcher::Stop() {
    if (!impl_->thread.joinable()) return;
    impl_->stopping = true;
    // Called from the callback by mistake: the thread ends after the callback
    // returns and is joined by the next Stop or the destructor.
    if (impl_->thread.get_id() == std::this_thread::get_id()) return;
    const uint64_t one = 1;
    ssize_t written;
    do {
        written = write(impl_->stopFd.Get(), &one, sizeof one);
    } while (written < 0 && errno == EINTR);
    impl_->thread.join();
    impl_->running = false;
    impl_->inotifyFd.Reset();
    impl_->stopFd.Reset();
    impl_->callback = nullptr;
}

bool DirectoryWatcher::IsRunning() const { return impl_->running; }

fs::path DirectoryWatcher::Root() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->root;
}

std::string DirectoryWatcher::LastError() const {
    std::lock_guard lock(impl_->stateMutex);
    return impl_->lastError;
}

Event& DirectoryWatcher::ChangesPending() { return impl_->pending; }

bool DirectoryWatcher::NextChange(DirectoryChange& out, uint32_t timeoutMs) {
    std::unique_lock lock(impl_->queueMutex);
    auto ready = [&] { return !impl_->queue.empty(); };
    if (timeoutMs == kInfinite) {
        impl_->queueChanged.wait(lock, ready);
    } else if (!impl_->queueChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
        return false;
    }
    out = std::move(impl_->queue.front());
    impl_->queue.pop_front();
    if (impl_->queue.empty()) impl_->pending.Reset();
    return true;
}

std::vector<DirectoryChange> DirectoryWatcher::TakeChanges() {
    std::lock_guard lock(impl_->queueMutex);
    std::vector<DirectoryChange> out(std::make_move_iterator(impl_->queue.begin()),
                                     std::make_move_iterator(impl_->queue.end()));
    impl_->queue.clear();
    impl_->pending.Reset();
    return out;
}

}  // namespace veldan::platform
