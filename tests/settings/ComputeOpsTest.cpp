// ComputeOps: a complete run from the shipped assembly, checked the way the
// runner and the script import read it.
#include <cmath>
#include <map>
#include <set>

#include "TempFolder.h"
#include "settings/VeldanConfig.h"

namespace veldan::test {

namespace {

struct Shot {
    double h, v;
    bool operator<(const Shot& o) const { return h != o.h ? h < o.h : v < o.v; }
};

// Walks the script as the runner does and checks the contact sequence of
// every release; returns the position of every shot.
std::vector<Shot> Shots(const CVeldanScript& script, int preshotMs, int exposureMs, int recoverMs) {
    std::vector<Shot> shots;
    bool haveH = false, haveV = false, ready = false;
    double h = 0, v = 0;
    int n = script.GetOpCnt();
    for (int i = 0; i < n; ++i) {
        const op* o = script.GetOp(i);
        switch (o->kind) {
            case VELDAN_OP_H_ANGLE:
                h = o->angle;
                haveH = true;
                ready = false;
                break;
            case VELDAN_OP_V_ANGLE:
                v = o->angle;
                haveV = true;
                ready = false;
                break;
            case VELDAN_OP_WAIT:
                if (o->ms == -1) ready = true;
                break;
            case VELDAN_OP_WAIT_RECOVER: {
                EXPECT_EQ(o->ms, recoverMs);
                // RECOVER, PRESHOT, [WAIT pre-shot], SHOOT, [WAIT exposure], RELEASE
                int k = i + 1;
                EXPECT_EQ(script.GetOp(k++)->kind, VELDAN_OP_PRESHOT);
                if (preshotMs > 0) {
                    EXPECT_EQ(script.GetOp(k)->kind, VELDAN_OP_WAIT);
                    EXPECT_EQ(script.GetOp(k++)->ms, preshotMs);
                }
                EXPECT_EQ(script.GetOp(k++)->kind, VELDAN_OP_SHOOT);
                if (exposureMs > 0) {
                    EXPECT_EQ(script.GetOp(k)->kind, VELDAN_OP_WAIT);
                    EXPECT_EQ(script.GetOp(k++)->ms, exposureMs);
                }
                EXPECT_EQ(script.GetOp(k)->kind, VELDAN_OP_RELEASE);
                break;
            }
            case VELDAN_OP_SHOOT:
                EXPECT_TRUE(haveH && haveV && ready) << "shot before the head stands at a position, op " << i;
                shots.push_back({h, v});
                break;
            default: break;
        }
    }
    return shots;
}

class ComputeOpsTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_TRUE(LoadFile(config.assembly, VELDAN_DEFAULT_ASSEMBLY)) << config.assembly.GetLoadError();
    }
    CVeldanConfig config;
};

}  // namespace

TEST_F(ComputeOpsTest, DefaultAssemblyGivesACompleteSphere) {
    ASSERT_TRUE(config.ComputeOps(&config.script));
    auto shots = Shots(config.script, 500, 200, 1000);
    ASSERT_EQ(shots.size(), 30u);  // 12 + 8 + 8 + zenith + nadir
    std::set<Shot> unique(shots.begin(), shots.end());
    EXPECT_EQ(unique.size(), 30u);
    std::map<double, std::set<double>> rows;
    for (const auto& s : shots) {
        EXPECT_GE(s.h, 0);
        EXPECT_LT(s.h, 360);
        rows[s.v].insert(s.h);
    }
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0].size(), 12u);
    EXPECT_EQ(rows[0].count(30), 1u);
    EXPECT_EQ(rows[45].size(), 8u);
    EXPECT_EQ(rows[45].count(22.5), 1u);
    EXPECT_EQ(rows[45].count(67.5), 1u);
    EXPECT_EQ(rows[-45].size(), 8u);
    EXPECT_EQ(rows[90].size(), 1u);
    EXPECT_EQ(rows[-90].size(), 1u);
    // The first operation tells the user where the run stands.
    ASSERT_NE(config.script.GetOp(0)->text, nullptr);
    EXPECT_STREQ(config.script.GetOp(0)->text, "Row 1/5, shot 1/12");

    // The run survives its own file form.
    ASSERT_TRUE(SaveFile(config.script, Path("run.txt")));
    CVeldanScript loaded;
    ASSERT_TRUE(LoadFile(loaded, Path("run.txt")));
    EXPECT_EQ(Shots(loaded, 500, 200, 1000).size(), 30u);
}

TEST_F(ComputeOpsTest, RowsOutsideTheVerticalLimitsAreLeftOut) {
    config.lowerLimit = -50;
    config.upperLimit = 60;
    ASSERT_TRUE(config.ComputeOps(&config.script));
    auto shots = Shots(config.script, 500, 200, 1000);
    EXPECT_EQ(shots.size(), 28u);
    for (const auto& s : shots) EXPECT_LE(std::fabs(s.v), 45);
}

TEST_F(ComputeOpsTest, PositionsBeyondTheTwistingLimitAreLeftOut) {
    config.twistingLimit = 360;
    ASSERT_TRUE(config.ComputeOps(&config.script));
    EXPECT_EQ(Shots(config.script, 500, 200, 1000).size(), 30u);
    config.twistingLimit = 180;
    ASSERT_TRUE(config.ComputeOps(&config.script));
    auto shots = Shots(config.script, 500, 200, 1000);
    // 0..180 in the horizon row: 7 of 12; 22.5..157.5 in the 45 degree rows: 4 of 8; zenith, nadir.
    EXPECT_EQ(shots.size(), 7u + 4 + 4 + 1 + 1);
    for (const auto& s : shots) EXPECT_LE(s.h, 180);

    // A pattern whose only position lies beyond the limit gives no run.
    config.assembly.ClearRows();
    ASSERT_TRUE(config.assembly.AddRow({0, 1, 270}));
    EXPECT_FALSE(config.ComputeOps(&config.script));
    EXPECT_EQ(Shots(config.script, 500, 200, 1000).size(), 17u);
}

TEST_F(ComputeOpsTest, BracketingRepetitionsAndTimesShapeTheRun) {
    config.bracketing = 3;
    config.repetitions = 2;
    config.preshotTime = 0;
    config.exposureTime = 1.0005;
    config.recoverTime = 0.25;
    ASSERT_TRUE(config.ComputeOps(&config.script));
    auto shots = Shots(config.script, 0, 1001, 250);
    EXPECT_EQ(shots.size(), 30u * 3 * 2);
    for (int i = 0; i < config.script.GetOpCnt(); ++i)
        EXPECT_FALSE(config.script.GetOp(i)->kind == VELDAN_OP_WAIT && config.script.GetOp(i)->ms == 0);
}

TEST_F(ComputeOpsTest, ImpossibleRunFailsAndLeavesTheScriptAlone) {
    config.script.AddOpFromString("H 12");
    config.lowerLimit = 10;
    config.upperLimit = 20;  // no row in range
    EXPECT_FALSE(config.ComputeOps(&config.script));
    config.lowerLimit = -90;
    config.upperLimit = 90;
    config.shutterAddress = -1;  // nothing to shoot with
    EXPECT_FALSE(config.ComputeOps(&config.script));
    EXPECT_FALSE(config.ComputeOps(nullptr));
    CVeldanConfig empty;  // no assembly loaded
    EXPECT_FALSE(empty.ComputeOps(&config.script));
    ASSERT_EQ(config.script.GetOpCnt(), 1);
    EXPECT_EQ(config.script.GetOp(0)->angle, 12);
}

}  // namespace veldan::test
