#pragma once
#include <filesystem>
#include <string>

namespace veldan::headsim {

// The symbolic link <documents>/VELDANmodular/ports/COM<n> through which the
// bus driver finds the terminal, as it finds a real port. A link left behind
// by a simulator that was killed is replaced; anything that is not a link is
// never touched. The link is removed only while it still points to the
// terminal this object linked, so that a second simulator's link survives.
class PortLink {
public:
    PortLink() = default;
    ~PortLink() { Remove(); }
    PortLink(const PortLink&) = delete;
    PortLink& operator=(const PortLink&) = delete;

    static std::filesystem::path LinkPath(const std::filesystem::path& documents, int comNumber);

    bool Create(const std::filesystem::path& documents, int comNumber, const std::string& target, std::string& error);
    void Remove();
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
    std::string target_;
};

}  // namespace veldan::headsim
