// Shooting scripts: file round trips, hand-written files, single lines and
// concurrent appending while a runner reads.
#include <atomic>
#include <cstring>
#include <thread>

#include "TempFolder.h"
#include "settings/VeldanScript.h"

namespace veldan::test {

namespace {

struct Expected {
    uint32_t kind;
    double angle, angle2;
    int32_t ms;
    const char* text;
};

void ExpectOps(const CVeldanScript& script, const std::vector<Expected>& expected) {
    ASSERT_EQ(script.GetOpCnt(), static_cast<int>(expected.size()));
    for (size_t i = 0; i < expected.size(); ++i) {
        const op* o = script.GetOp(static_cast<int>(i));
        ASSERT_NE(o, nullptr);
        SCOPED_TRACE("operation " + std::to_string(i));
        EXPECT_EQ(o->kind, expected[i].kind);
        EXPECT_EQ(o->angle, expected[i].angle);
        EXPECT_EQ(o->angle2, expected[i].angle2);
        EXPECT_EQ(o->ms, expected[i].ms);
        if (expected[i].text) {
            ASSERT_NE(o->text, nullptr);
            EXPECT_STREQ(o->text, expected[i].text);
        } else {
            EXPECT_EQ(o->text, nullptr);
        }
    }
}

const std::vector<Expected> kEveryKind = {
    {VELDAN_OP_H_ANGLE, 90, 0, 0, nullptr},
    {VELDAN_OP_V_ANGLE, -30.25, 0, 0, "Row \"one\" \\ left"},
    {VELDAN_OP_WAIT, 0, 0, 500, nullptr},
    {VELDAN_OP_WAIT, 0, 0, -1, nullptr},
    {VELDAN_OP_WAIT_RECOVER, 0, 0, 1000, nullptr},
    {VELDAN_OP_PRESHOT, 0, 0, 0, nullptr},
    {VELDAN_OP_SHOOT, 0, 0, 0, "Schuß № 1 – größer"},
    {VELDAN_OP_RELEASE, 0, 0, 0, nullptr},
    {VELDAN_OP_NOTE, 0, 0, 0, "Turn the lens # not a comment"},
    {VELDAN_OP_PAUSE, 0, 0, 0, ""},
    {VELDAN_OP_NOP, 0, 0, 0, nullptr},
    {VELDAN_OP_POSITION, 0.1, 1e-7, 0, nullptr},
    {VELDAN_OP_H_ANGLE, 359.99999999999994, 0, 0, nullptr},
};

void Fill(CVeldanScript& script, const std::vector<Expected>& ops) {
    for (const auto& e : ops) {
        op o;
        o.kind = e.kind;
        o.angle = e.angle;
        o.angle2 = e.angle2;
        o.ms = e.ms;
        o.text = e.text;
        ASSERT_TRUE(script.AddOp(o)) << script.GetLoadError();
    }
}

class ScriptTest : public TempFolderTest {};

}  // namespace

TEST_F(ScriptTest, EveryKindSurvivesSaveAndLoadThroughARealFile) {
    CVeldanScript script;
    Fill(script, kEveryKind);
    ASSERT_TRUE(SaveFile(script, Path("run.txt")));

    CVeldanScript loaded;
    ASSERT_TRUE(LoadFile(loaded, Path("run.txt"))) << loaded.GetLoadError();
    ExpectOps(loaded, kEveryKind);

    // The file is what a person would write by hand.
    std::string text = ReadRaw("run.txt");
    for (const char* line :
         {"\nH 90\n", "\nV -30.25 \"Row \\\"one\\\" \\\\ left\"\n", "\nWAIT 500\n", "\nWAIT READY\n",
          "\nRECOVER 1000\n", "\nPRESHOT\n", "\nRELEASE\n", "\nPAUSE \"\"\n", "\nNOP\n", "\nPOS 0.1 1e-07\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line;

    // Saving again gives the same bytes.
    ASSERT_TRUE(SaveFile(loaded, Path("again.txt")));
    EXPECT_EQ(ReadRaw("again.txt"), text);
}

TEST_F(ScriptTest, HandWrittenFileWithCommentsOddSpacingAndWindowsLineEnds) {
    WriteRaw("hand.txt",
             "\xEF\xBB\xBF# my pano\r\n"
             "\r\n"
             "   h\t+90   # first column\r\n"
             "V -30\"tilted\"\r\n"
             "wait ready\n"
             "WAIT 0\n"
             "Recover   250\n"
             "\t\tpreshot\n"
             "SHOOT \"shot # 1\"   # the shot\n"
             "release\n"
             "pos 1.5e2 -4.5E1\n"
             "   # indented comment\n"
             "PAUSE");  // no line feed at the end
    CVeldanScript script;
    ASSERT_TRUE(LoadFile(script, Path("hand.txt"))) << script.GetLoadError();
    ExpectOps(script, {
                          {VELDAN_OP_H_ANGLE, 90, 0, 0, nullptr},
                          {VELDAN_OP_V_ANGLE, -30, 0, 0, "tilted"},
                          {VELDAN_OP_WAIT, 0, 0, -1, nullptr},
                          {VELDAN_OP_WAIT, 0, 0, 0, nullptr},
                          {VELDAN_OP_WAIT_RECOVER, 0, 0, 250, nullptr},
                          {VELDAN_OP_PRESHOT, 0, 0, 0, nullptr},
                          {VELDAN_OP_SHOOT, 0, 0, 0, "shot # 1"},
                          {VELDAN_OP_RELEASE, 0, 0, 0, nullptr},
                          {VELDAN_OP_POSITION, 150, -45, 0, nullptr},
                          {VELDAN_OP_PAUSE, 0, 0, 0, nullptr},
                      });
}

TEST_F(ScriptTest, LoadReplacesOperationsAndEmptyFileGivesEmptyScript) {
    CVeldanScript script;
    ASSERT_TRUE(script.AddOpFromString("H 10"));
    WriteRaw("one.txt", "SHOOT\n");
    ASSERT_TRUE(LoadFile(script, Path("one.txt")));
    ExpectOps(script, {{VELDAN_OP_SHOOT, 0, 0, 0, nullptr}});
    WriteRaw("empty.txt", "");
    ASSERT_TRUE(LoadFile(script, Path("empty.txt")));
    EXPECT_EQ(script.GetOpCnt(), 0);
}

TEST(ScriptLines, AddOpFromStringAcceptsOperationsAndRejectsMalformedLines) {
    CVeldanScript script;
    EXPECT_TRUE(script.AddOpFromString("H 90"));
    EXPECT_TRUE(script.AddOpFromString("WAIT -1"));
    EXPECT_TRUE(script.AddOpFromString("RECOVER 1000 \"camera\""));
    EXPECT_EQ(script.GetOpCnt(), 3);
    EXPECT_EQ(script.GetOp(1)->ms, -1);
    EXPECT_STREQ(script.GetOp(2)->text, "camera");

    // Blank and comment lines are valid but add nothing.
    EXPECT_TRUE(script.AddOpFromString(""));
    EXPECT_TRUE(script.AddOpFromString("   # nothing"));
    // Malformed lines add nothing and say why.
    for (const char* bad : {"H",           "H ninety",        "H 90 30",
                            "JUMP 3",      "WAIT soon",       "SHOOT \"open",
                            "POS 1",       "V 0x10",          "H nan",
                            "H inf",       "H 1e999",         "WAIT 1.5",
                            "SHOOT extra", "RECOVER",         "H 90 \"a\" \"b\"",
                            "H 3600.5",    "V -180.01",       "WAIT -2",
                            "RECOVER -1",  "WAIT 2147483648", "H 1e-9999x",
                            "H +-5",       "WAIT +-1",        "H +",
                            "PRESHOT\x01", "H 9\xC3"}) {
        EXPECT_FALSE(script.AddOpFromString(bad)) << bad;
        EXPECT_FALSE(script.GetLoadError().empty()) << bad;
    }
    EXPECT_FALSE(script.AddOpFromString(nullptr));
    EXPECT_EQ(script.GetOpCnt(), 3);
    EXPECT_EQ(script.GetOp(3), nullptr);
    EXPECT_EQ(script.GetOp(-1), nullptr);

    script.ClearOps();
    EXPECT_EQ(script.GetOpCnt(), 0);
}

TEST(ScriptLines, AddOpRefusesRecordsTheFormatCannotHold) {
    CVeldanScript script;
    op o;
    o.kind = 3;  // two bits
    EXPECT_FALSE(script.AddOp(o));
    o.kind = 2048;
    EXPECT_FALSE(script.AddOp(o));
    o.kind = VELDAN_OP_H_ANGLE;
    o.angle = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(script.AddOp(o));
    o.angle = 10;
    o.text = "line\nbreak";
    EXPECT_FALSE(script.AddOp(o));
    o.text = "\xFF";
    EXPECT_FALSE(script.AddOp(o));
    EXPECT_EQ(script.GetOpCnt(), 0);
    // Fields a kind does not use are cleared, so a round trip keeps them equal.
    o.text = nullptr;
    o.ms = 77;
    o.angle2 = 5;
    ASSERT_TRUE(script.AddOp(o));
    EXPECT_EQ(script.GetOp(0)->ms, 0);
    EXPECT_EQ(script.GetOp(0)->angle2, 0);
    EXPECT_EQ(CVeldanScript::FormatOp(*script.GetOp(0)), "H 10");
}

TEST(ScriptConcurrency, RunnerReadsWhileCallerAppends) {
    CVeldanScript script;
    constexpr int kLines = 20000;
    std::atomic<bool> done{false};
    std::atomic<int> refused{0};
    std::thread writer([&] {
        for (int i = 0; i < kLines; ++i) {
            std::string line = "WAIT " + std::to_string(i) + " \"op " + std::to_string(i) + "\"";
            if (!script.AddOpFromString(line.c_str())) ++refused;
        }
        done = true;
    });
    // The runner walks forward as operations arrive, like an endless run.
    int next = 0;
    while (next < kLines) {
        const op* o = script.GetOp(next);
        if (!o) {
            if (done && script.GetOpCnt() == next) break;
            std::this_thread::yield();
            continue;
        }
        ASSERT_EQ(o->ms, next);
        ASSERT_EQ(std::string(o->text), "op " + std::to_string(next));
        ++next;
    }
    writer.join();
    EXPECT_EQ(refused, 0);
    EXPECT_EQ(next, kLines);
    // Records handed out earlier are still valid.
    EXPECT_STREQ(script.GetOp(0)->text, "op 0");
}

}  // namespace veldan::test
