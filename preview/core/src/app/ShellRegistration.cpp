// Registering and removing the project file type with the desktop: the MIME
// type and the desktop entry.
#include "preview/app/ShellRegistration.h"
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include "platform/AtomicFile.h"
#include "platform/Text.h"

namespace veldan::preview {

using platform::EqualsNoCase;
using platform::WriteFileAtomically;
namespace fs = std::filesystem;

fs::path UserDataFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') return data;
    const char* home = std::getenv("HOME");
    return fs::path(home && *home ? home : "/") / ".local" / "share";
}

fs::path DesktopEntryFile() { return UserDataFolder() / "applications" / "VELDANpreview.desktop"; }
fs::path MimeTypeFile() { return UserDataFolder() / "mime" / "packages" / "x-veldan-panorama-project.xml"; }

namespace {

bool Write(const fs::path& file, const std::string& text, std::string* error) {
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (WriteFileAtomically(file, text)) return true;
    if (error) *error = "Cannot write " + file.string() + ": " + std::strerror(errno);
    return false;
}

// The Exec key's program argument: quoted, with " ` $ \ escaped inside
// the quotes, then every backslash doubled and every % doubled as the
// key's own value escapes require.
std::string ExecQuoted(const fs::path& program) {
    std::string quoted = "\"";
    for (char c : program.string()) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted += '"';
    std::string value;
    for (char c : quoted) {
        if (c == '\\')
            value += "\\\\";
        else if (c == '%')
            value += "%%";
        else
            value += c;
    }
    return value;
}

}  // namespace

bool RegisterDocumentType(const fs::path& program, std::string* error) {
    const std::string mime =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"" +
        std::string(kProjectMimeType) +
        "\">\n"
        "    <comment>VELDAN Panorama Project</comment>\n"
        "    <glob pattern=\"*.vpp\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n";
    const std::string entry =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Name=VELDANpreview\n"
        "Comment=VELDAN Panorama Project\n"
        "Exec=" +
        ExecQuoted(program) +
        " %f\n"
        "MimeType=" +
        std::string(kProjectMimeType) +
        ";\n"
        "Icon=VELDANpreview\n"
        "Terminal=false\n"
        "Categories=Graphics;Photography;\n";
    return Write(MimeTypeFile(), mime, error) && Write(DesktopEntryFile(), entry, error);
}

bool UnregisterDocumentType(std::string* error) {
    bool ok = true;
    for (const fs::path& file : {DesktopEntryFile(), MimeTypeFile()}) {
        std::error_code ec;
        fs::remove(file, ec);
        if (ec) {
            ok = false;
            if (error) *error = "Cannot remove " + file.string() + ": " + ec.message();
        }
    }
    return ok;
}

ShellSwitch ParseShellSwitch(const std::string& argument) {
    if (EqualsNoCase(argument, "/Register") || EqualsNoCase(argument, "/Regserver") ||
        EqualsNoCase(argument, "--register"))
        return ShellSwitch::Register;
    if (EqualsNoCase(argument, "/Unregister") || EqualsNoCase(argument, "/Unregserver") ||
        EqualsNoCase(argument, "--unregister"))
        return ShellSwitch::Unregister;
    return ShellSwitch::None;
}

}  // namespace veldan::preview
