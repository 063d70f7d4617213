// The script text format: one operation per line, e.g. "H 90", "WAIT READY",
// "POS 90 30 \"Tile 1\"", each optionally followed by a quoted text and a
// "#" comment.
#include "ScriptFormat.h"

#include <cmath>
#include <cstdint>

#include "TextLines.h"

namespace veldan::settings {

namespace {

struct OpName {
    const char* word;
    uint32_t kind;
};

constexpr OpName kOpNames[] = {
    {"H", VELDAN_OP_H_ANGLE},       {"V", VELDAN_OP_V_ANGLE},
    {"WAIT", VELDAN_OP_WAIT},       {"RECOVER", VELDAN_OP_WAIT_RECOVER},
    {"PRESHOT", VELDAN_OP_PRESHOT}, {"SHOOT", VELDAN_OP_SHOOT},
    {"RELEASE", VELDAN_OP_RELEASE}, {"NOTE", VELDAN_OP_NOTE},
    {"PAUSE", VELDAN_OP_PAUSE},     {"NOP", VELDAN_OP_NOP},
    {"POS", VELDAN_OP_POSITION},
};

const char* NameOf(uint32_t kind) {
    for (const auto& n : kOpNames)
        if (n.kind == kind) return n.word;
    return nullptr;
}

bool InRange(double v, double limit) { return std::isfinite(v) && v >= -limit && v <= limit; }

}  // namespace

bool NormaliseOp(op& o, std::string& error) {
    switch (o.kind) {
        case VELDAN_OP_H_ANGLE:
            if (!InRange(o.angle, kMaxHorizontalAngle)) {
                error = "horizontal angle out of range";
                return false;
            }
            o.angle2 = 0;
            o.ms = 0;
            break;
        case VELDAN_OP_V_ANGLE:
            if (!InRange(o.angle, kMaxVerticalAngle)) {
                error = "vertical angle out of range";
                return false;
            }
            o.angle2 = 0;
            o.ms = 0;
            break;
        case VELDAN_OP_POSITION:
            if (!InRange(o.angle, kMaxHorizontalAngle) || !InRange(o.angle2, kMaxVerticalAngle)) {
                error = "position out of range";
                return false;
            }
            o.ms = 0;
            break;
        case VELDAN_OP_WAIT:
            if (o.ms < -1) {
                error = "wait time out of range";
                return false;
            }
            o.angle = o.angle2 = 0;
            break;
        case VELDAN_OP_WAIT_RECOVER:
            if (o.ms < 0) {
                error = "recover time out of range";
                return false;
            }
            o.angle = o.angle2 = 0;
            break;
        case VELDAN_OP_PRESHOT:
        case VELDAN_OP_SHOOT:
        case VELDAN_OP_RELEASE:
        case VELDAN_OP_NOTE:
        case VELDAN_OP_PAUSE:
        case VELDAN_OP_NOP:
            o.angle = o.angle2 = 0;
            o.ms = 0;
            break;
        default: error = "unknown operation kind " + std::to_string(o.kind); return false;
    }
    if (o.angle == 0) o.angle = 0;  // no negative zero
    if (o.angle2 == 0) o.angle2 = 0;
    return true;
}

LineResult ParseOpLine(std::string_view line, op& o, std::string& text, bool& hasText, std::string& error) {
    LineScanner scan(line);
    o = op{};
    text.clear();
    hasText = false;
    if (scan.AtEnd()) return LineResult::Empty;
    std::string_view word;
    if (!scan.Word(word)) {
        error = "operation name expected";
        return LineResult::Error;
    }
    const OpName* name = nullptr;
    for (const auto& n : kOpNames)
        if (WordEquals(word, n.word)) name = &n;
    if (!name) {
        error = "unknown operation \"" + std::string(word.substr(0, 40)) + "\"";
        return LineResult::Error;
    }
    o.kind = name->kind;
    long long ms = 0;
    switch (o.kind) {
        case VELDAN_OP_H_ANGLE:
        case VELDAN_OP_V_ANGLE:
            if (!scan.Number(o.angle)) {
                error = std::string(name->word) + ": angle in degrees expected";
                return LineResult::Error;
            }
            break;
        case VELDAN_OP_POSITION:
            if (!scan.Number(o.angle) || !scan.Number(o.angle2)) {
                error = "POS: horizontal and vertical angle expected";
                return LineResult::Error;
            }
            break;
        case VELDAN_OP_WAIT: {
            std::string_view saved;
            LineScanner probe = scan;
            if (probe.Word(saved) && WordEquals(saved, "READY")) {
                scan = probe;
                o.ms = -1;
            } else if (scan.Integer(ms, -1, INT32_MAX)) {
                o.ms = static_cast<int32_t>(ms);
            } else {
                error = "WAIT: milliseconds (0 to 2147483647) or READY expected";
                return LineResult::Error;
            }
            break;
        }
        case VELDAN_OP_WAIT_RECOVER:
            if (!scan.Integer(ms, 0, INT32_MAX)) {
                error = "RECOVER: milliseconds (0 to 2147483647) expected";
                return LineResult::Error;
            }
            o.ms = static_cast<int32_t>(ms);
            break;
        default: break;
    }
    if (scan.PeekQuote()) {
        if (!scan.Quoted(text)) {
            error = "unterminated or invalid quoted text";
            return LineResult::Error;
        }
        hasText = true;
    }
    if (!scan.AtEnd()) {
        error = "unexpected text after the operation";
        return LineResult::Error;
    }
    if (!NormaliseOp(o, error)) return LineResult::Error;
    return LineResult::Operation;
}

std::string FormatOpLine(const op& o) {
    const char* name = NameOf(o.kind);
    if (!name) return "NOP";
    std::string line = name;
    switch (o.kind) {
        case VELDAN_OP_H_ANGLE:
        case VELDAN_OP_V_ANGLE: line += " " + FormatNumber(o.angle); break;
        case VELDAN_OP_POSITION: line += " " + FormatNumber(o.angle) + " " + FormatNumber(o.angle2); break;
        case VELDAN_OP_WAIT: line += o.ms == -1 ? std::string(" READY") : " " + std::to_string(o.ms); break;
        case VELDAN_OP_WAIT_RECOVER: line += " " + std::to_string(o.ms); break;
        default: break;
    }
    if (o.text) line += " " + Quote(o.text);
    return line;
}

}  // namespace veldan::settings
