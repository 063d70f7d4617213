#pragma once
// Reading and writing the line-based text formats of the settings library:
// whole-stream input with size limits, line splitting with UTF-8 and control
// character checks, a small scanner for the tokens of one line, and the
// number and text forms that Save writes.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct DynStream;

namespace veldan::settings {

// Reads the rest of the stream. False (error set) on a read error or when
// the stream holds more than maxSize bytes.
bool ReadWholeStream(DynStream* stream, size_t maxSize, std::string& out, std::string& error);

// Splits text into lines (LF or CR LF; a UTF-8 byte order mark at the start
// is skipped). False (error names the line) on a NUL byte, another control
// character than tab, invalid UTF-8 or a line longer than maxLine bytes.
bool SplitLines(std::string_view text, size_t maxLine, std::vector<std::string_view>& lines, std::string& error);

// True when text is valid UTF-8 without control characters (tab allowed
// when allowTab).
bool IsCleanText(std::string_view text, bool allowTab = false);

// Tokens of one line: words, numbers, quoted texts, "#" comments.
class LineScanner {
public:
    explicit LineScanner(std::string_view line) : rest_(line) {}
    // True when only blanks or a comment remain.
    bool AtEnd();
    // A run of characters up to a blank, "=", "#" or a quote.
    bool Word(std::string_view& word);
    // Consumes `c` (after blanks) when it is next.
    bool Accept(char c);
    // A finite decimal number; the whole token must be the number.
    bool Number(double& value);
    // An integer within [min, max].
    bool Integer(long long& value, long long min, long long max);
    // A double-quoted text with the escapes \" and \\ (another backslash is
    // kept as it is). The result is checked with IsCleanText.
    bool Quoted(std::string& text);
    bool PeekQuote();

private:
    void SkipBlanks();
    std::string_view Token();
    std::string_view rest_;
};

// Shortest decimal form that reads back as the same double ("90", "-0.5").
std::string FormatNumber(double value);
// Quotes a text for the files, escaping quote and backslash.
std::string Quote(std::string_view text);
// Writes text and commits the stream (the file is complete on true).
bool WriteAndCommit(DynStream* stream, const std::string& text);
// Case-insensitive comparison of ASCII words.
bool WordEquals(std::string_view a, std::string_view b);

}  // namespace veldan::settings
