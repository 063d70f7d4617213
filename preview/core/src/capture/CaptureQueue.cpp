// CaptureQueue: the shot images waiting for their files, in shooting order.
#include "preview/capture/CaptureQueue.h"

namespace veldan::preview {

void CaptureQueue::Append(CVELDANpreviewDoc* doc, VELDANPanoramaImage* image, int tileNr, bool copy) {
    (void)AppendCounted(doc, image, tileNr, copy);
}

std::size_t CaptureQueue::AppendCounted(CVELDANpreviewDoc* doc, VELDANPanoramaImage* image, int tileNr, bool copy) {
    auto entry = std::make_unique<CaptureQueueEntry>(
        CaptureQueueEntry{doc, image, tileNr, nullptr, static_cast<unsigned char>(copy ? 1 : 0)});
    std::lock_guard<std::mutex> guard(lock_);
    CaptureQueueEntry* added = entry.release();  // owned by the list until taken or cleared
    (tail_ ? tail_->next : head_) = added;
    tail_ = added;
    return ++count_;
}

std::unique_ptr<CaptureQueueEntry> CaptureQueue::TakeHead() {
    std::lock_guard<std::mutex> guard(lock_);
    if (!head_) return nullptr;
    std::unique_ptr<CaptureQueueEntry> entry(head_);
    head_ = entry->next;
    if (!head_) tail_ = nullptr;
    --count_;
    entry->next = nullptr;
    return entry;
}

bool CaptureQueue::Empty() const {
    std::lock_guard<std::mutex> guard(lock_);
    return head_ == nullptr;
}

std::size_t CaptureQueue::Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
}

void CaptureQueue::Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    while (head_) {
        std::unique_ptr<CaptureQueueEntry> entry(head_);
        head_ = entry->next;
    }
    tail_ = nullptr;
    count_ = 0;
}

}  // namespace veldan::preview
