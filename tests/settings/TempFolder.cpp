// TempFolderTest: a fresh temporary HOME and documents folder per settings
// test, and file load and save helpers.
#include "TempFolder.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace veldan::test {

void TempFolderTest::SetUp() {
    std::string pattern = (std::filesystem::temp_directory_path() / "veldan-settings-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
    setenv("HOME", folder_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (folder_ / ".config").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (folder_ / "Documents").c_str(), 1);
}

void TempFolderTest::TearDown() {
    std::error_code ec;
    std::filesystem::remove_all(folder_, ec);
}

void TempFolderTest::WriteRaw(const std::string& name, const std::string& bytes) const {
    std::ofstream out(Path(name), std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good());
}

std::string TempFolderTest::ReadRaw(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

}  // namespace veldan::test
