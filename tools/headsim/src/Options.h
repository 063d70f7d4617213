#pragma once
#include <string>
#include <vector>

#include "HeadSimulator.h"

namespace veldan::headsim {

enum class Action { Run, Help, WriteScene, Fail };

struct CommandLine {
    Action action = Action::Fail;
    SimOptions sim;
    std::string sceneOut;  // --write-scene
    int sceneWidth = 3600;
    int sceneHeight = 1800;
    std::string error;
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);
const char* UsageText();

}  // namespace veldan::headsim
