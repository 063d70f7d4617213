#pragma once
// A small JSON writer for the tool's machine-readable output.
#include <cstdint>
#include <string>
#include <string_view>

namespace veldan::cli {

class JsonWriter {
public:
    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    // The key of the next value inside an object.
    void Key(std::string_view key);
    void String(std::string_view utf8);
    // A wide text, or null when absent.
    void WideString(const wchar_t* text);
    // Non-finite numbers are written as null (JSON has no NaN).
    void Number(double value);
    void Integer(int64_t value);
    void Bool(bool value);
    void Null();
    // The same inside an object, each after its key.
    void BeginObject(std::string_view key);
    void BeginArray(std::string_view key);
    void WideString(std::string_view key, const wchar_t* text);
    void Number(std::string_view key, double value);
    void Integer(std::string_view key, int64_t value);
    void Bool(std::string_view key, bool value);
    const std::string& Text() const { return out_; }

private:
    void Separate();
    std::string out_;
    bool needComma_ = false;
};

}  // namespace veldan::cli
