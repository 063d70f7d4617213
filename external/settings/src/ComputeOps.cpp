// CVeldanConfig::ComputeOps: a complete shooting run from the assembly's
// pattern and the configured limits, bracketing, repetitions and times.
//
// For every pass (repetitions) and every row within the vertical limits
// (in the assembly's order), the row's positions are visited in turn,
// alternate rows in the opposite direction so that the head does not swing
// back a full turn between rows. At each position:
//   H <angle> "Row r/R, shot s/S"   (when the angle changes)
//   V <angle>                       (when the row changes)
//   WAIT READY
// and then per release (bracketing):
//   RECOVER <recover ms>, PRESHOT, WAIT <pre-shot ms>, SHOOT,
//   WAIT <exposure ms>, RELEASE
// (waits of 0 ms are left out). With a twisting limit, positions beyond it
// are left out; a run without any position fails.
#include <cmath>
#include <string>
#include <vector>

#include "settings/VeldanConfig.h"

namespace {

int ToMilliseconds(double seconds) {
    double ms = std::floor(seconds * 1000.0 + 0.5);
    if (!(ms > 0)) return 0;
    if (ms > 2147483647.0) return 2147483647;
    return static_cast<int>(ms);
}

double NormaliseAngle(double angle) {
    double a = std::fmod(angle, 360.0);
    if (a < 0) a += 360.0;
    if (a >= 360.0) a -= 360.0;
    // Remove rounding noise such as 89.99999999999999 from 360 / n steps.
    double rounded = std::round(a * 1e9) / 1e9;
    return rounded == 360.0 ? 0.0 : rounded;
}

}  // namespace

bool CVeldanConfig::ComputeOps(CVeldanScript* target) {
    if (!target || shutterAddress < 0) return false;
    std::vector<const CVeldanAssembly::_ROW*> rows;
    for (int i = 0; i < assembly.GetRowCnt(); ++i) {
        const auto* row = assembly.GetRow(i);
        if (row->vertical >= lowerLimit && row->vertical <= upperLimit) rows.push_back(row);
    }
    if (rows.empty()) return false;

    const int recoverMs = ToMilliseconds(recoverTime);
    const int preshotMs = ToMilliseconds(preshotTime);
    const int exposureMs = ToMilliseconds(exposureTime);
    const int releases = bracketing < 1 ? 1 : bracketing;
    const int passes = repetitions < 1 ? 1 : repetitions;

    CVeldanScript run;
    auto add = [&](uint32_t kind, double angle = 0, int ms = 0, const char* text = nullptr) {
        op o;
        o.kind = kind;
        o.angle = angle;
        o.ms = ms;
        o.text = text;
        return run.AddOp(o);
    };
    bool ok = true;
    bool haveH = false, haveV = false;
    double lastH = 0, lastV = 0;
    bool reverse = false;
    int positions = 0;
    for (int pass = 0; pass < passes && ok; ++pass) {
        for (size_t r = 0; r < rows.size() && ok; ++r) {
            const auto& row = *rows[r];
            for (int k = 0; k < row.shots && ok; ++k) {
                int shot = reverse ? row.shots - 1 - k : k;
                double h = NormaliseAngle(row.start + 360.0 * shot / row.shots);
                // With a twisting limit the drive refuses angles beyond it.
                if (twistingLimit != -1 && h > twistingLimit) continue;
                ++positions;
                std::string label = "Row " + std::to_string(r + 1) + "/" + std::to_string(rows.size()) + ", shot " +
                                    std::to_string(shot + 1) + "/" + std::to_string(row.shots);
                if (passes > 1)
                    label = "Pass " + std::to_string(pass + 1) + "/" + std::to_string(passes) + ", " + label;
                const char* pendingText = label.c_str();
                if (!haveH || h != lastH) {
                    ok = ok && add(VELDAN_OP_H_ANGLE, h, 0, pendingText);
                    pendingText = nullptr;
                    haveH = true;
                    lastH = h;
                }
                if (!haveV || row.vertical != lastV) {
                    ok = ok && add(VELDAN_OP_V_ANGLE, row.vertical, 0, pendingText);
                    pendingText = nullptr;
                    haveV = true;
                    lastV = row.vertical;
                }
                ok = ok && add(VELDAN_OP_WAIT, 0, -1, pendingText);
                for (int b = 0; b < releases && ok; ++b) {
                    ok = ok && add(VELDAN_OP_WAIT_RECOVER, 0, recoverMs);
                    ok = ok && add(VELDAN_OP_PRESHOT);
                    if (preshotMs > 0) ok = ok && add(VELDAN_OP_WAIT, 0, preshotMs);
                    ok = ok && add(VELDAN_OP_SHOOT);
                    if (exposureMs > 0) ok = ok && add(VELDAN_OP_WAIT, 0, exposureMs);
                    ok = ok && add(VELDAN_OP_RELEASE);
                }
            }
            if (row.shots > 1) reverse = !reverse;
        }
    }
    if (!ok || positions == 0) return false;  // more operations than a script holds, or nothing to shoot
    target->CopyFrom(run);
    return true;
}
