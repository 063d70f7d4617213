#include "DemoHead.h"
#include <fstream>
#include <string>
#include "platform/SerialLine.h"

namespace veldan::preview::demo {

int FreeComNumber(const std::filesystem::path& portsFolder) {
  std::error_code ec;
  for (int n = 1; n <= 255; ++n) {
    const std::filesystem::path link = portsFolder / ("COM" + std::to_string(n));
    if (std::filesystem::exists(std::filesystem::symlink_status(link, ec))) continue;
    const std::filesystem::path device = veldan::SerialPortPath(static_cast<unsigned>(n));
    if (!device.empty() && std::filesystem::exists(std::filesystem::symlink_status(device, ec))) continue;
    return n;
  }
  return 0;
}

bool WriteDemoConfiguration(const std::filesystem::path& documents, const std::filesystem::path& configHome, int com,
                            const std::filesystem::path& captureFolder) {
  std::error_code ec;
  const std::filesystem::path config = documents / "VELDANmodular";
  std::filesystem::create_directories(config / "ports", ec);
  std::filesystem::create_directories(configHome / "VELDANpreview", ec);
  {
    std::ofstream settings(config / "settings.cfg", std::ios::binary | std::ios::trunc);
    settings << "# The virtual head (veldan-headsim --com " << com << ")\n"
             << "port = " << com << "\n"
             << "edition = \"vrhead\"\n"
             << "verbose = 1\n"
             << "preshot_time = 0.1\n"
             << "exposure_time = 0.05\n"
             << "recover_time = 0.2\n";
    if (!settings.flush()) return false;
  }
  // The profile escapes backslashes; a POSIX path has none to speak of,
  // but a folder name may.
  std::string folder;
  for (char c : captureFolder.string()) {
    if (c == '\\') folder += '\\';
    folder += c;
  }
  std::ofstream profile(configHome / "VELDANpreview" / "VELDANpreview.conf", std::ios::binary | std::ios::trunc);
  profile << "[Settings]\nCAPTURE_DIRECTORY=" << folder << "\n";
  return static_cast<bool>(profile.flush());
}

}  // namespace veldan::preview::demo
