#pragma once
// Options that set the project's lens, sensor, camera, field of view,
// overlap, planning and bracketing values; shared by "plan" and "import".
#include <string>

#include "Arguments.h"
#include "VELDANPanoramaProject.h"

namespace veldan::cli {

using OptionResult = OptionReader::Result;

// The command line of "plan" and "import" (named by `command`): -o or
// --output FILE.vpp and their wording of usage errors.
OptionReader ProjectCommandOptions(const std::string& command, std::string& output);

// Applies `option` (already read from `reader`, whose value follows) to the
// project. On Error, `error` says why.
OptionResult ApplyProjectOption(const std::string& option, ArgumentReader& reader, VELDANPanoramaProject& project,
                                std::string& error);

}  // namespace veldan::cli
