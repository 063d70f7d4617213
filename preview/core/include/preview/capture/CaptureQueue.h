#pragma once
#include <cstddef>
#include <memory>
#include <mutex>

class CVELDANpreviewDoc;
class VELDANPanoramaImage;

namespace veldan::preview {

// One shot image waiting for its file: the document that owns the image,
// the image in that document's project, the image's tile number, the next
// entry (null at the tail) and the copy flag (1: the file is written by DSLR
// Remote Pro and is copied; 0: it is moved).
struct CaptureQueueEntry {
    CVELDANpreviewDoc* document;
    VELDANPanoramaImage* image;
    int tileNr;
    CaptureQueueEntry* next;
    unsigned char copy;
};

// The process-wide first-in-first-out list of shot images waiting for their
// files, with its own lock (the queue lock). The capture run appends at the
// tail; the capture-folder monitor and the head's stop take at the head.
class CaptureQueue {
public:
    CaptureQueue() = default;
    ~CaptureQueue() { Clear(); }
    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    // Appends at the tail.
    void Append(CVELDANpreviewDoc* doc, VELDANPanoramaImage* image, int tileNr, bool copy);
    // Appends and returns the number of entries including the new one, in one
    // step under the lock (what the capture run logs).
    std::size_t AppendCounted(CVELDANpreviewDoc* doc, VELDANPanoramaImage* image, int tileNr, bool copy);
    // The head entry, now owned by the caller (its next is null); null when
    // the queue is empty.
    std::unique_ptr<CaptureQueueEntry> TakeHead();
    bool Empty() const;
    std::size_t Count() const;
    void Clear();
    // Calls f(const CaptureQueueEntry&) for every entry, head to tail, under
    // the lock; f must not call back into the queue.
    template <class F>
    void ForEach(F f) const {
        std::lock_guard<std::mutex> guard(lock_);
        for (const CaptureQueueEntry* e = head_; e; e = e->next) f(*e);
    }

private:
    mutable std::mutex lock_;  // the queue lock
    CaptureQueueEntry* head_ = nullptr;
    // The last entry (null when empty) and the number of entries, kept with
    // the list so that appending and counting do not walk it.
    CaptureQueueEntry* tail_ = nullptr;
    std::size_t count_ = 0;
};

}  // namespace veldan::preview
