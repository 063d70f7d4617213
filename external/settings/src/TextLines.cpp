// Line-based text input and output shared by the three file formats.
#include "TextLines.h"

#include <charconv>
#include <cmath>
#include <cstdint>

#include "stream/DynStream.h"

namespace veldan::settings {

bool ReadWholeStream(DynStream* stream, size_t maxSize, std::string& out, std::string& error) {
    out.clear();
    if (!stream) {
        error = "no stream";
        return false;
    }
    char buffer[16384];
    for (;;) {
        size_t n = dyn_fread(buffer, 1, sizeof buffer, stream);
        if (n > 0) {
            if (out.size() + n > maxSize) {
                error = "file is larger than " + std::to_string(maxSize) + " bytes";
                return false;
            }
            out.append(buffer, n);
        }
        if (n < sizeof buffer) break;
    }
    if (dyn_ferror(stream)) {
        error = "read error";
        return false;
    }
    return true;
}

namespace {

// Length of the valid UTF-8 sequence at text[i], 0 when invalid.
size_t Utf8Length(std::string_view text, size_t i) {
    auto b = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    unsigned char c = b(i);
    if (c < 0x80) return 1;
    size_t n;
    uint32_t cp;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        cp = c & 0x07;
    } else
        return 0;
    if (i + n > text.size()) return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF))) return 0;
    if (cp >= 0xD800 && cp <= 0xDFFF) return 0;
    return n;
}

}  // namespace

bool IsCleanText(std::string_view text, bool allowTab) {
    for (size_t i = 0; i < text.size();) {
        auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            if (!(allowTab && c == '\t')) return false;
        }
        size_t n = Utf8Length(text, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

bool SplitLines(std::string_view text, size_t maxLine, std::vector<std::string_view>& lines, std::string& error) {
    lines.clear();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    size_t lineNo = 0;
    while (!text.empty()) {
        ++lineNo;
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.size() > maxLine) {
            error = "line " + std::to_string(lineNo) + ": longer than " + std::to_string(maxLine) + " bytes";
            return false;
        }
        if (line.find('\0') != std::string_view::npos) {
            error = "line " + std::to_string(lineNo) + ": NUL byte (not a text file)";
            return false;
        }
        if (!IsCleanText(line, true)) {
            error = "line " + std::to_string(lineNo) + ": control character or invalid UTF-8";
            return false;
        }
        lines.push_back(line);
    }
    return true;
}

void LineScanner::SkipBlanks() {
    while (!rest_.empty() && (rest_.front() == ' ' || rest_.front() == '\t')) rest_.remove_prefix(1);
}

bool LineScanner::AtEnd() {
    SkipBlanks();
    return rest_.empty() || rest_.front() == '#';
}

std::string_view LineScanner::Token() {
    SkipBlanks();
    size_t n = 0;
    while (n < rest_.size()) {
        char c = rest_[n];
        if (c == ' ' || c == '\t' || c == '=' || c == '#' || c == '"') break;
        ++n;
    }
    std::string_view token = rest_.substr(0, n);
    rest_.remove_prefix(n);
    return token;
}

bool LineScanner::Word(std::string_view& word) {
    word = Token();
    return !word.empty();
}

bool LineScanner::Accept(char c) {
    SkipBlanks();
    if (rest_.empty() || rest_.front() != c) return false;
    rest_.remove_prefix(1);
    return true;
}

bool LineScanner::PeekQuote() {
    SkipBlanks();
    return !rest_.empty() && rest_.front() == '"';
}

bool LineScanner::Number(double& value) {
    std::string_view saved = rest_;
    std::string_view token = Token();
    if (token.size() > 1 && token.front() == '+' && token[1] != '-') token.remove_prefix(1);
    // Plain decimal numbers only: no hexadecimal, "inf" or "nan".
    bool digit = false;
    for (char c : token) {
        if (c >= '0' && c <= '9')
            digit = true;
        else if (c != '-' && c != '.' && c != 'e' && c != 'E' && c != '+') {
            rest_ = saved;
            return false;
        }
    }
    double v = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), v, std::chars_format::general);
    if (!digit || ec != std::errc() || end != token.data() + token.size() || !std::isfinite(v)) {
        rest_ = saved;
        return false;
    }
    value = v == 0 ? 0.0 : v;  // no negative zero in the files
    return true;
}

bool LineScanner::Integer(long long& value, long long min, long long max) {
    std::string_view saved = rest_;
    std::string_view token = Token();
    if (token.size() > 1 && token.front() == '+' && token[1] != '-') token.remove_prefix(1);
    long long v = 0;
    auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), v, 10);
    if (token.empty() || ec != std::errc() || end != token.data() + token.size() || v < min || v > max) {
        rest_ = saved;
        return false;
    }
    value = v;
    return true;
}

bool LineScanner::Quoted(std::string& text) {
    std::string_view saved = rest_;
    if (!Accept('"')) return false;
    text.clear();
    while (!rest_.empty()) {
        char c = rest_.front();
        rest_.remove_prefix(1);
        if (c == '"') return IsCleanText(text) || ((rest_ = saved), false);
        if (c == '\\' && !rest_.empty() && (rest_.front() == '"' || rest_.front() == '\\')) {
            text += rest_.front();
            rest_.remove_prefix(1);
            continue;
        }
        text += c;
    }
    rest_ = saved;  // no closing quote
    return false;
}

std::string FormatNumber(double value) {
    if (value == 0) value = 0;  // "-0" reads as 0 anyway; write it plainly
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    if (ec != std::errc()) return "0";
    return std::string(buffer, end);
}

std::string Quote(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

bool WriteAndCommit(DynStream* stream, const std::string& text) {
    if (!stream) return false;
    if (!text.empty() && dyn_fwrite(text.data(), 1, text.size(), stream) != text.size()) return false;
    return dyn_fcommit(stream) == 0 && !dyn_ferror(stream);
}

bool WordEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

}  // namespace veldan::settings
