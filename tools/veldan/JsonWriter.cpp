// JsonWriter: the veldan tool's JSON output.
#include "JsonWriter.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "platform/Text.h"

namespace veldan::cli {

using platform::ToUtf8;

void JsonWriter::Separate() {
    if (needComma_) out_ += ',';
    needComma_ = true;
}

void JsonWriter::BeginObject() {
    Separate();
    out_ += '{';
    needComma_ = false;
}

void JsonWriter::EndObject() {
    out_ += '}';
    needComma_ = true;
}

void JsonWriter::BeginArray() {
    Separate();
    out_ += '[';
    needComma_ = false;
}

void JsonWriter::EndArray() {
    out_ += ']';
    needComma_ = true;
}

void JsonWriter::Key(std::string_view key) {
    String(key);
    out_ += ':';
    needComma_ = false;
}

void JsonWriter::String(std::string_view utf8) {
    Separate();
    out_ += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
            case '"': out_ += "\\\""; break;
            case '\\': out_ += "\\\\"; break;
            case '\n': out_ += "\\n"; break;
            case '\r': out_ += "\\r"; break;
            case '\t': out_ += "\\t"; break;
            default:
                if (u < 0x20) {
                    char b[8];
                    std::snprintf(b, sizeof b, "\\u%04x", u);
                    out_ += b;
                } else {
                    out_ += c;
                }
        }
    }
    out_ += '"';
}

void JsonWriter::WideString(const wchar_t* text) {
    if (!text)
        Null();
    else
        String(ToUtf8(text));
}

void JsonWriter::Number(double value) {
    if (!std::isfinite(value)) {
        Null();
        return;
    }
    Separate();
    // The shortest text that reads back as the same double.
    char b[40];
    const auto r = std::to_chars(b, b + sizeof b, value);
    out_.append(b, r.ptr);
}

void JsonWriter::Integer(int64_t value) {
    Separate();
    out_ += std::to_string(value);
}

void JsonWriter::Bool(bool value) {
    Separate();
    out_ += value ? "true" : "false";
}

void JsonWriter::Null() {
    Separate();
    out_ += "null";
}

void JsonWriter::BeginObject(std::string_view key) {
    Key(key);
    BeginObject();
}

void JsonWriter::BeginArray(std::string_view key) {
    Key(key);
    BeginArray();
}

void JsonWriter::WideString(std::string_view key, const wchar_t* text) {
    Key(key);
    WideString(text);
}

void JsonWriter::Number(std::string_view key, double value) {
    Key(key);
    Number(value);
}

void JsonWriter::Integer(std::string_view key, int64_t value) {
    Key(key);
    Integer(value);
}

void JsonWriter::Bool(std::string_view key, bool value) {
    Key(key);
    Bool(value);
}

}  // namespace veldan::cli
