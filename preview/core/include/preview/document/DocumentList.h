#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

class CVELDANpreviewDoc;

namespace veldan::preview {

// The application's list of open documents and the lock that guards it and
// every document's busy counter. Background work (capture run, folder
// monitor) holds a document through Hold/Release, so that it can neither be
// closed nor destroyed under it.
class DocumentList {
public:
    DocumentList() = default;
    DocumentList(const DocumentList&) = delete;
    DocumentList& operator=(const DocumentList&) = delete;

    // Raises the document's busy counter when it is in the list and not
    // closing; false otherwise (the document must not be touched then).
    bool Hold(CVELDANpreviewDoc* doc);
    // Lowers the counter raised by a successful Hold.
    void Release(CVELDANpreviewDoc* doc);
    // Open documents that are not closing.
    std::vector<CVELDANpreviewDoc*> OpenDocuments();
    size_t Count();

private:
    friend class ::CVELDANpreviewDoc;
    bool ContainsLocked(const CVELDANpreviewDoc* doc) const;

    std::mutex lock_;
    std::condition_variable released_;  // a busy counter went down
    std::vector<CVELDANpreviewDoc*> docs_;
};

}  // namespace veldan::preview
