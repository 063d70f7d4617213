// AccessControl: the re-entrant reader/writer lock of images, warped images
// and the stitcher.
#include "VELDANPanorama/AccessControl.h"

#include <algorithm>

// The section (a mutex) guards the counts and hold lists for the few
// instructions of each operation; waiting threads sleep on a condition
// variable that every grant and every leave notifies, so no wake-up is lost:
// a waiter re-checks its condition under the section after each change.

AccessControl::AccessControl() = default;

AccessControl::AccessControl(const AccessControl&) : AccessControl() {}

AccessControl& AccessControl::operator=(const AccessControl&) {
    // The target keeps its own state: holds belong to the lock they were
    // taken on.
    return *this;
}

AccessControl::~AccessControl() {
    EnterWriteAccess();  // waits for other holders unless already shut down
    shutting_down_.store(1, std::memory_order_release);
    std::lock_guard lock(section_);
    wake_.notify_all();
}

AccessControl::Hold* AccessControl::Find(std::vector<Hold>& list, std::thread::id self) {
    for (auto& h : list)
        if (h.thread == self) return &h;
    return nullptr;
}

const AccessControl::Hold* AccessControl::Find(const std::vector<Hold>& list, std::thread::id self) {
    for (const auto& h : list)
        if (h.thread == self) return &h;
    return nullptr;
}

void AccessControl::Push(std::vector<Hold>& list, std::thread::id self) {
    if (Hold* h = Find(list, self))
        ++h->count;
    else
        list.push_back({self, 1});
}

bool AccessControl::Pop(std::vector<Hold>& list, std::thread::id self) {
    auto it = std::find_if(list.begin(), list.end(), [&](const Hold& h) { return h.thread == self; });
    if (it == list.end()) return false;
    if (--it->count == 0) list.erase(it);
    return true;
}

bool AccessControl::WriteGrantable(std::thread::id self) const {
    if (writer_count_ == 0 && reader_count_ == 0) return true;
    if (Find(writers_, self)) return true;  // re-entrant write
    // A sole reader upgrades (and keeps its read holds).
    if (writer_count_ == 0 && readers_.size() == 1 && readers_.front().thread == self) return true;
    return false;
}

bool AccessControl::EnterReadAccess() {
    if (IsShuttingDown()) return false;
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(section_);
    for (;;) {
        if (IsShuttingDown()) return false;
        // Waiting writers do not block readers; a writer may also read.
        if (writer_count_ == 0 || Find(writers_, self)) break;
        Sleep(lock);
    }
    ++reader_count_;
    Push(readers_, self);
    wake_.notify_all();
    return true;
}

void AccessControl::LeaveReadAccess() {
    const auto self = std::this_thread::get_id();
    std::lock_guard lock(section_);
    if (Pop(readers_, self) && reader_count_ > 0) --reader_count_;
    wake_.notify_all();
}

bool AccessControl::EnterWriteAccess() {
    if (IsShuttingDown()) return false;
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(section_);
    for (;;) {
        if (IsShuttingDown()) return false;
        if (WriteGrantable(self)) break;
        Sleep(lock);
    }
    ++writer_count_;
    Push(writers_, self);
    wake_.notify_all();
    return true;
}

void AccessControl::LeaveWriteAccess() {
    const auto self = std::this_thread::get_id();
    std::lock_guard lock(section_);
    if (Pop(writers_, self) && writer_count_ > 0) --writer_count_;
    wake_.notify_all();
}

bool AccessControl::SwitchReadToWriteAccess() {
    if (!EnterWriteAccess()) return false;
    LeaveReadAccess();
    return true;
}

bool AccessControl::SwitchWriteToReadAccess() {
    if (!EnterReadAccess()) return false;
    LeaveWriteAccess();
    return true;
}

void AccessControl::PreDestruct() {
    shutting_down_.store(1, std::memory_order_release);
    const auto self = std::this_thread::get_id();
    std::unique_lock lock(section_);
    // Wake every waiter so that it sees the flag and gives up.
    wake_.notify_all();
    while (!WriteGrantable(self)) Sleep(lock);
    ++writer_count_;
    Push(writers_, self);
    wake_.notify_all();
}

uint32_t AccessControl::ReaderCount() const {
    std::lock_guard lock(section_);
    return reader_count_;
}

void AccessControl::Sleep(std::unique_lock<std::mutex>& lock) {
    ++waiters_;
    wake_.wait(lock);
    --waiters_;
}

uint32_t AccessControl::WaiterCount() const {
    std::lock_guard lock(section_);
    return waiters_;
}

uint32_t AccessControl::WriterCount() const {
    std::lock_guard lock(section_);
    return writer_count_;
}
