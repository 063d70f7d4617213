// PortLink: the COM<n> symbolic link in the documents folder through which the
// driver finds the terminal.
#include "PortLink.h"

#include <system_error>

namespace veldan::headsim {

namespace fs = std::filesystem;

fs::path PortLink::LinkPath(const fs::path& documents, int comNumber) {
    return documents / "VELDANmodular" / "ports" / ("COM" + std::to_string(comNumber));
}

bool PortLink::Create(const fs::path& documents, int comNumber, const std::string& target, std::string& error) {
    Remove();
    if (comNumber < 1 || comNumber > 255) {
        error = "COM number " + std::to_string(comNumber) + " is not 1..255";
        return false;
    }
    fs::path link = LinkPath(documents, comNumber);
    std::error_code ec;
    fs::create_directories(link.parent_path(), ec);
    if (ec) {
        error = "cannot create " + link.parent_path().string() + ": " + ec.message();
        return false;
    }
    auto status = fs::symlink_status(link, ec);
    if (!ec && fs::exists(status)) {
        if (!fs::is_symlink(status)) {
            error = link.string() + " exists and is not a link; not replacing it";
            return false;
        }
        fs::remove(link, ec);
    }
    // Create under a temporary name and rename over the target, so that a
    // reader never sees the link missing or half made.
    fs::path temporary = link;
    temporary += ".new";
    fs::remove(temporary, ec);
    fs::create_symlink(target, temporary, ec);
    if (!ec) fs::rename(temporary, link, ec);
    if (ec) {
        error = "cannot link " + link.string() + " to " + target + ": " + ec.message();
        fs::remove(temporary, ec);
        return false;
    }
    path_ = link;
    target_ = target;
    return true;
}

void PortLink::Remove() {
    if (path_.empty()) return;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(path_, ec)) && fs::read_symlink(path_, ec) == fs::path(target_))
        fs::remove(path_, ec);
    path_.clear();
    target_.clear();
}

}  // namespace veldan::headsim
