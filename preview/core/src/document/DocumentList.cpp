// DocumentList: the open documents and the busy holds of background work.
#include "preview/document/DocumentList.h"
#include <algorithm>
#include "preview/document/VELDANpreviewDoc.h"

namespace veldan::preview {

bool DocumentList::ContainsLocked(const CVELDANpreviewDoc* doc) const {
    return std::find(docs_.begin(), docs_.end(), doc) != docs_.end();
}

bool DocumentList::Hold(CVELDANpreviewDoc* doc) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!doc || !ContainsLocked(doc) || doc->busy_ < 0) return false;
    ++doc->busy_;
    return true;
}

void DocumentList::Release(CVELDANpreviewDoc* doc) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (!doc || !ContainsLocked(doc) || doc->busy_ <= 0) return;
        --doc->busy_;
    }
    released_.notify_all();
}

std::vector<CVELDANpreviewDoc*> DocumentList::OpenDocuments() {
    std::lock_guard<std::mutex> guard(lock_);
    std::vector<CVELDANpreviewDoc*> open;
    for (CVELDANpreviewDoc* d : docs_)
        if (d->busy_ >= 0) open.push_back(d);
    return open;
}

size_t DocumentList::Count() {
    std::lock_guard<std::mutex> guard(lock_);
    return docs_.size();
}

}  // namespace veldan::preview
