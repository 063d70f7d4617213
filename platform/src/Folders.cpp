// The documents, configuration, program, data and library folders, following
// the XDG rules and the installation.
#include "platform/Folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace veldan::platform {

namespace fs = std::filesystem;

namespace {

std::string Env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

fs::path HomeFolder() {
    std::string home = Env("HOME");
    if (!home.empty()) return fs::path(home);
    // No HOME in the environment (a service, a stripped environment): the
    // account's home from the password database.
    std::vector<char> buffer(16384);
    passwd pw{};
    passwd* result = nullptr;
    if (getpwuid_r(getuid(), &pw, buffer.data(), buffer.size(), &result) == 0 && result && result->pw_dir &&
        result->pw_dir[0] == '/')
        return fs::path(result->pw_dir);
    return {};
}

fs::path ConfigHome() {
    const std::string xdg = Env("XDG_CONFIG_HOME");
    if (!xdg.empty() && xdg.front() == '/') return fs::path(xdg);
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / ".config";
}

// The value of one assignment in user-dirs.dirs, as the shell would read it:
// "$HOME/..." or "/absolute/...", in double quotes, with backslash escapes.
std::string ParseUserDirValue(std::string_view raw, const fs::path& home) {
    std::string value;
    size_t i = 0;
    const bool quoted = !raw.empty() && raw.front() == '"';
    if (quoted) ++i;
    for (; i < raw.size(); ++i) {
        const char c = raw[i];
        if (quoted && c == '"') break;
        if (!quoted && (c == ' ' || c == '\t' || c == '#')) break;
        if (c == '\\' && i + 1 < raw.size()) {
            value.push_back(raw[++i]);
            continue;
        }
        if (c == '$') {
            const std::string_view rest = raw.substr(i);
            if (rest.starts_with("${HOME}")) {
                value += home.string();
                i += 6;
                continue;
            }
            if (rest.starts_with("$HOME")) {
                value += home.string();
                i += 4;
                continue;
            }
        }
        value.push_back(c);
    }
    return value;
}

// XDG_DOCUMENTS_DIR from $XDG_CONFIG_HOME/user-dirs.dirs (the last
// assignment wins, as when the file is sourced). Empty when not found.
fs::path DocumentsFromUserDirs(const fs::path& home) {
    const fs::path configHome = ConfigHome();
    if (configHome.empty()) return {};
    std::ifstream in(configHome / "user-dirs.dirs");
    if (!in) return {};
    fs::path found;
    std::string line;
    constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=";
    while (std::getline(in, line)) {
        size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') continue;
        std::string_view rest = std::string_view(line).substr(start);
        if (!rest.starts_with(kKey)) continue;
        const std::string value = ParseUserDirValue(rest.substr(kKey.size()), home);
        if (!value.empty() && value.front() == '/') found = fs::path(value);
    }
    return found;
}

fs::path EnsureFolder(fs::path folder) {
    if (folder.empty()) return folder;
    std::error_code ec;
    fs::create_directories(folder, ec);  // failure shows later as a clear open error
    return folder;
}

}  // namespace

fs::path DocumentsFolder() {
    const std::string fromEnv = Env("XDG_DOCUMENTS_DIR");
    if (!fromEnv.empty() && fromEnv.front() == '/') return EnsureFolder(fs::path(fromEnv));
    const fs::path home = HomeFolder();
    if (home.empty()) return {};
    fs::path documents = DocumentsFromUserDirs(home);
    if (documents.empty()) documents = home / "Documents";
    return EnsureFolder(documents.lexically_normal());
}

fs::path ConfigurationFolder() {
    const fs::path documents = DocumentsFolder();
    if (documents.empty()) return {};
    return EnsureFolder(documents / "VELDANmodular");
}

fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) return {};
    return exe.parent_path();
}

fs::path SystemDataFolder() {
    const std::string fromEnv = Env("VELDAN_DATA_DIR");
    if (!fromEnv.empty()) return fs::path(fromEnv);
    // An installation moved or installed with "cmake --install --prefix P"
    // keeps its data beside its programs: <P>/bin/../share/VELDANmodular.
    // The configured prefix is only the fall-back, so that one installation
    // never reads the assemblies of another.
    const fs::path program = ProgramFolder();
    if (!program.empty()) {
        const fs::path relocated = (program.parent_path() / VELDAN_INSTALL_RELDATADIR).lexically_normal();
        std::error_code ec;
        if (fs::is_directory(relocated, ec)) return relocated;
    }
    return fs::path(VELDAN_INSTALL_DATADIR);
}

fs::path InstalledLibraryFolder() { return fs::path(VELDAN_INSTALL_LIBDIR); }

fs::path ProfileFile(const std::string& program) {
    const fs::path configHome = ConfigHome();
    if (configHome.empty()) return {};
    return configHome / program / (program + ".conf");
}

}  // namespace veldan::platform
