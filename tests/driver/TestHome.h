#pragma once
// A temporary home for one test: HOME, XDG_CONFIG_HOME and XDG_DOCUMENTS_DIR
// point into a fresh folder that is removed afterwards.
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace veldan::test {

class TestHome {
public:
    TestHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pelkor-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        root_ = pattern;
        std::filesystem::create_directories(root_ / "Documents");
        setenv("HOME", root_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / ".config").c_str(), 1);
        setenv("XDG_DOCUMENTS_DIR", (root_ / "Documents").c_str(), 1);
    }
    ~TestHome() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TestHome(const TestHome&) = delete;
    TestHome& operator=(const TestHome&) = delete;

    const std::filesystem::path& Root() const { return root_; }
    std::filesystem::path PortsFolder() const { return root_ / "Documents" / "VELDANmodular" / "ports"; }
    // Links COM<n> to target in the ports folder.
    void LinkPort(unsigned n, const std::filesystem::path& target) const {
        std::filesystem::create_directories(PortsFolder());
        std::filesystem::path link = PortsFolder() / ("COM" + std::to_string(n));
        std::error_code ec;
        std::filesystem::remove(link, ec);
        std::filesystem::create_symlink(target, link);
    }

private:
    std::filesystem::path root_;
};

}  // namespace veldan::test
