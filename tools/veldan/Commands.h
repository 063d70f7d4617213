#pragma once
// The sub-commands of the veldan tool. Each takes the arguments after its
// name and returns the process exit status: 0 success, 1 a failure of the
// work itself (files, projects), 2 bad arguments.
#include <string>
#include <vector>

namespace veldan::cli {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int PlanCommand(const std::vector<std::string>& args);
int ImportCommand(const std::vector<std::string>& args);
int InfoCommand(const std::vector<std::string>& args);
int ThumbCommand(const std::vector<std::string>& args);
int ExportCommand(const std::vector<std::string>& args);
int PreviewCommand(const std::vector<std::string>& args);
int CaptureCommand(const std::vector<std::string>& args);

// Prints "veldan: <message>" to standard error and returns status.
int Fail(int status, const std::string& message);

}  // namespace veldan::cli
