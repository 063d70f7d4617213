#pragma once
#include <cstddef>
#include <memory>
#include <mutex>

class CVELDANpreviewDoc;
class VELDANPanoramaImage;

namespace veldan::preview {

// One shot image waiting for its file: the document that owns the image,
// the image in that document's project, its tile number, the next entry and
// whether the file must be copied (1, DSLR Remote Pro) or moved (0).
struct CaptureQueueEntry {
  CVELDANpreviewDoc* document;
  VELDANPanoramaImage* image;
  int tileNr;
  CaptureQueueEntry* next;
  unsigned char copy;
};

// The process-wide first-in-first-out list of shot images waiting for their
// files, with its own lock (the queue lock). The capture run appends at the
// tail, the capture-folder monitor takes entries at the head. The queue owns
// its entries; an entry taken out belongs to the taker.
class CaptureQueue {
public:
  CaptureQueue() = default;
  ~CaptureQueue() { Clear(); }
  CaptureQueue(const CaptureQueue&) = delete;
  CaptureQueue& operator=(const CaptureQueue&) = delete;

  // Appends an entry at the tail.
  void Append(CVELDANpreviewDoc* doc, VELDANPanoramaImage* image, int tileNr, bool copy) {
    auto entry = std::make_unique<CaptureQueueEntry>(
        CaptureQueueEntry{doc, image, tileNr, nullptr, static_cast<unsigned char>(copy ? 1 : 0)});
    std::lock_guard<std::mutex> guard(lock_);
    CaptureQueueEntry* raw = entry.release();  // owned by the list from here
    if (tail_)
      tail_->next = raw;
    else
      head_ = raw;
    tail_ = raw;
    ++count_;
  }

  // Takes the head entry out of the queue; null when the queue is empty.
  std::unique_ptr<CaptureQueueEntry> TakeHead() {
    std::lock_guard<std::mutex> guard(lock_);
    CaptureQueueEntry* entry = head_;
    if (!entry) return nullptr;
    head_ = entry->next;
    if (!head_) tail_ = nullptr;
    entry->next = nullptr;
    --count_;
    return std::unique_ptr<CaptureQueueEntry>(entry);
  }

  bool Empty() const {
    std::lock_guard<std::mutex> guard(lock_);
    return head_ == nullptr;
  }
  std::size_t Count() const {
    std::lock_guard<std::mutex> guard(lock_);
    return count_;
  }

  // Frees every entry.
  void Clear() {
    std::lock_guard<std::mutex> guard(lock_);
    while (head_) {
      std::unique_ptr<CaptureQueueEntry> entry(head_);
      head_ = entry->next;
    }
    tail_ = nullptr;
    count_ = 0;
  }

  // Calls f(const CaptureQueueEntry&) for every entry, head to tail, under
  // the queue lock (f must not touch the queue).
  template <class F>
  void ForEach(F f) const {
    std::lock_guard<std::mutex> guard(lock_);
    for (const CaptureQueueEntry* e = head_; e; e = e->next) f(*e);
  }

private:
  mutable std::mutex lock_;
  CaptureQueueEntry* head_ = nullptr;
  CaptureQueueEntry* tail_ = nullptr;
  std::size_t count_ = 0;
};

}  // namespace veldan::preview
