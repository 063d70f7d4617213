// UTF-8 and UTF-32 conversions, lossless file-name paths, and case-blind
// comparison and folding.
#include "platform/Text.h"

#include <locale.h>
#include <wctype.h>
#include <clocale>
#include <cwctype>

namespace veldan::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;
// Bytes of a file name that are not UTF-8 are carried through wide text as
// the lone low surrogates U+DC80..U+DCFF ("surrogate escape"), so that such a
// name still opens the same file after a round trip.
constexpr char32_t kEscapeBase = 0xDC00;

bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// Decodes one sequence at text[i]; advances i past it. Returns false for an
// ill-formed sequence, with i advanced past its maximal valid prefix (at least
// one byte), as Unicode recommends for replacement.
bool DecodeOne(std::string_view text, size_t& i, char32_t& out) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    if (b0 < 0x80) {
        out = b0;
        ++i;
        return true;
    }
    int length;
    char32_t c;
    unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
        c = b0 & 0x1F;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        c = b0 & 0x0F;
        if (b0 == 0xE0) lo = 0xA0;  // overlong
        if (b0 == 0xED) hi = 0x9F;  // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        c = b0 & 0x07;
        if (b0 == 0xF0) lo = 0x90;  // overlong
        if (b0 == 0xF4) hi = 0x8F;  // above U+10FFFF
    } else {
        ++i;
        return false;
    }
    size_t j = i + 1;
    for (int k = 1; k < length; ++k, ++j) {
        if (j >= text.size()) {
            i = j;
            return false;
        }
        const auto b = static_cast<unsigned char>(text[j]);
        const unsigned char min = k == 1 ? lo : 0x80;
        const unsigned char max = k == 1 ? hi : 0xBF;
        if (b < min || b > max) {
            i = j;
            return false;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i = j;
    out = c;
    return true;
}

// Wide text to UTF-8. A pair of UTF-16 surrogates (text that came from a
// 16-bit source) is joined; other surrogates and values above U+10FFFF become
// U+FFFD, or their original byte when escapeBytes is set.
std::string EncodeUtf8(std::wstring_view text, bool escapeBytes) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        auto c = static_cast<char32_t>(text[i]);
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
            const auto next = static_cast<char32_t>(text[i + 1]);
            if (next >= 0xDC00 && next <= 0xDFFF) {
                AppendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (next - 0xDC00));
                ++i;
                continue;
            }
        }
        if (escapeBytes && c >= kEscapeBase + 0x80 && c <= kEscapeBase + 0xFF) {
            out.push_back(static_cast<char>(c - kEscapeBase));
            continue;
        }
        if (IsSurrogate(c) || c > 0x10FFFF) c = kReplacement;
        AppendUtf8(out, c);
    }
    return out;
}

std::wstring DecodeUtf8(std::string_view text, bool escapeBytes) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const size_t start = i;
        char32_t c;
        if (DecodeOne(text, i, c)) {
            out.push_back(static_cast<wchar_t>(c));
        } else if (escapeBytes) {
            for (size_t k = start; k < i; ++k)
                out.push_back(static_cast<wchar_t>(kEscapeBase + static_cast<unsigned char>(text[k])));
        } else {
            out.push_back(static_cast<wchar_t>(kReplacement));
        }
    }
    return out;
}

// Case folding independent of the program's locale: the C.UTF-8 locale's
// mapping (full Unicode in glibc), ASCII only when that locale is missing.
locale_t FoldingLocale() {
    static const locale_t locale = [] {
        locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        return l;
    }();
    return locale;
}

wchar_t FoldChar(wchar_t c) {
    if (c < 0x80) return (c >= L'A' && c <= L'Z') ? static_cast<wchar_t>(c + 32) : c;
    const locale_t locale = FoldingLocale();
    if (!locale) return c;
    return static_cast<wchar_t>(towlower_l(static_cast<wint_t>(c), locale));
}

}  // namespace

std::string ToUtf8(std::wstring_view text) { return EncodeUtf8(text, false); }

std::wstring FromUtf8(std::string_view text) { return DecodeUtf8(text, false); }

std::filesystem::path PathFromWide(std::wstring_view text) { return std::filesystem::path(EncodeUtf8(text, true)); }

std::wstring PathToWide(const std::filesystem::path& path) { return DecodeUtf8(path.native(), true); }

std::wstring FoldCase(std::wstring_view text) {
    std::wstring out(text);
    for (wchar_t& c : out) c = FoldChar(c);
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && FoldChar(a[i]) != FoldChar(b[i])) return false;
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    bool ascii = true;
    for (char c : a) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    for (char c : b) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii) {
        if (a.size() != b.size()) return false;
        for (size_t i = 0; i < a.size(); ++i)
            if (FoldChar(static_cast<wchar_t>(a[i])) != FoldChar(static_cast<wchar_t>(b[i]))) return false;
        return true;
    }
    return EqualsNoCase(std::wstring_view(FromUtf8(a)), std::wstring_view(FromUtf8(b)));
}

}  // namespace veldan::platform
