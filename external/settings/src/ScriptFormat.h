#pragma once
// One line of the script format <-> one operation record.
#include <string>
#include <string_view>
#include "settings/VeldanScript.h"

namespace veldan::settings {

// Ranges the format accepts.
constexpr double kMaxHorizontalAngle = 3600.0;
constexpr double kMaxVerticalAngle = 180.0;

// Result of parsing a line: an operation, nothing (blank or comment), or an
// error (message set).
enum class LineResult { Operation, Empty, Error };

LineResult ParseOpLine(std::string_view line, op& operation, std::string& text, bool& hasText, std::string& error);

// Checks and normalises a record (unused fields zeroed). False with error
// for an unknown kind or a value out of range.
bool NormaliseOp(op& operation, std::string& error);

std::string FormatOpLine(const op& operation);

}  // namespace veldan::settings
