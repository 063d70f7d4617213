#pragma once
// The two built-in output functions of a handle: the console writer and the
// log-file writer, plus the formatting helper they share.
#include <cstdarg>
#include <string>

namespace veldan::control {

// Formats a wide printf-style text (C library meaning) into a string; an
// unformattable text gives the format itself, so that nothing is silently lost.
std::wstring FormatWide(const wchar_t* format, va_list args);

// Writes UTF-8 text to the process's standard output and flushes it.
void WriteToStandardOutput(const std::wstring& text);

// Writes the formatted text to standard output only.
int ConsoleWriter(const wchar_t* format, ...);

// Appends the formatted text to "VELDANcontrol.log" in the current folder
// (opened and closed at every call) and writes it to standard output.
int LogFileWriter(const wchar_t* format, ...);

// True when "VELDANcontrol.log" exists in the current folder and can be read:
// the user asked for a log file by creating it.
bool LogFileRequested();

inline constexpr const char* kLogFileName = "VELDANcontrol.log";

}  // namespace veldan::control
