// Initialisation through the C interface without a head on the line: start
// switches and their echoes, usage and version texts, the search orders of
// the configuration, assembly and script files on real folders, the log
// file rule, and the messages of a port that cannot be opened.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>

#include "ControlTestSupport.h"
#include "VELDANcontrol.h"

namespace veldan::test {

namespace fs = std::filesystem;

namespace {

const std::wstring kUsage =
    L"VELDANcontrol_init parameters:\n"
    L"\n"
    L"-c <file>        Configuration file to be used instead of 'settings.cfg'.\n"
    L"-o <cfg>=<value> additional configuration\n"
    L"-h               Shows this usage information.\n"
    L"-n               Stay at the last position on shutting down.\n"
    L"-p               Do not go to parking position.\n"
    L"-s <file>        Userdefined script-file to be used.\n"
    L"-v               Be verbose.\n"
    L"-q               Be quiet. Doesn't output anything at all.\n"
    L"-V               Print version information.\n"
    L"-su              Suppress startup banner.\n"
    L"-swm             Suppress HAL notification messages\n"
    L"\nParameters are read from left to right and can overwrite each other.\n\n";

const std::wstring kVersionLines =
    L"VELDANcontrol library 1.5.0\n"
    L"VELDANsettings library 1.0.0 [OK]\n"
    L"Pelkor library 2.1.0 [OK]\n";

ControlHandle InitCaptured(const Args& args) {
    return VELDANcontrol_init_redirect(args.argc(), args.argv(), &CaptureOutput);
}

}  // namespace

TEST(ControlInterface, VersionAndCharset) {
    int major = 0, minor = 0, build = -1;
    VELDANcontrol_version(&major, &minor, &build);
    EXPECT_EQ(major, 1);
    EXPECT_EQ(minor, 5);
    EXPECT_EQ(build, 0);
    VELDANcontrol_version(nullptr, &minor, nullptr);
    EXPECT_EQ(VELDANcontrol_charset(), 1);
}

TEST(ControlInterface, EveryEntryPointRefusesANullHandle) {
    ControlHandle h = nullptr;
    const wchar_t* args[] = {L"-v"};
    EXPECT_EQ(VELDANcontrol_reload(h, 1, args), -1);
    EXPECT_EQ(VELDANcontrol_reload_LabView(h, nullptr), -1);
    EXPECT_EQ(VELDANcontrol_deinit(h), -1);
    EXPECT_EQ(VELDANcontrol_set_main_window(h, nullptr), -1);
    EXPECT_EQ(VELDANcontrol_set_time_recover(h, 500), 0.0);
    EXPECT_EQ(VELDANcontrol_set_time_preshot(h, 500), 0.0);
    EXPECT_EQ(VELDANcontrol_set_time_exposure(h, 500), 0.0);
    EXPECT_EQ(VELDANcontrol_set_global_speed(h, 0.5), 0.0);
    EXPECT_EQ(VELDANcontrol_scr_clear(h), -1);
    EXPECT_EQ(VELDANcontrol_scr_load(h, L"x"), -1);
    EXPECT_EQ(VELDANcontrol_scr_save(h, L"x"), -1);
    EXPECT_EQ(VELDANcontrol_scr_add(h, L"H 10\n"), -1);
    EXPECT_EQ(VELDANcontrol_cmd_run(h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_run_sync(h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_run_endless(h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_break(h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_resume(h), -1);
    EXPECT_EQ(VELDANcontrol_cmd_abort(h), -1);
    EXPECT_EQ(VELDANcontrol_op_wait(h, 10), -1);
    EXPECT_EQ(VELDANcontrol_op_wait_recover(h, 10), -1);
    EXPECT_EQ(VELDANcontrol_op_preshoot(h), -1);
    EXPECT_EQ(VELDANcontrol_op_shoot(h), -1);
    EXPECT_EQ(VELDANcontrol_op_release(h), -1);
    EXPECT_EQ(VELDANcontrol_op_h_angle(h, 10), -1);
    EXPECT_EQ(VELDANcontrol_op_v_angle(h, 10), -1);
    EXPECT_EQ(VELDANcontrol_acquire(h), -1);
    EXPECT_EQ(VELDANcontrol_goto(h, 10, 10), -1);
    EXPECT_EQ(VELDANcontrol_cmd_park(h), 0);
    EXPECT_EQ(VELDANcontrol_rc_goleft(h), -1);
    EXPECT_EQ(VELDANcontrol_rc_goright(h), -1);
    EXPECT_EQ(VELDANcontrol_rc_goup(h), -1);
    EXPECT_EQ(VELDANcontrol_rc_godown(h), -1);
    EXPECT_EQ(VELDANcontrol_rc_halt(h), -1);
    EXPECT_EQ(VELDANcontrol_rc_abort(h), -1);
    EXPECT_EQ(VELDANcontrol_rc_set_zero(h), -1);
    EXPECT_EQ(VELDANcontrol_h_pos(h), 0.0);
    EXPECT_EQ(VELDANcontrol_v_pos(h), 0.0);
    EXPECT_EQ(VELDANcontrol_status(h), UINT64_MAX);
    EXPECT_EQ(VELDANcontrol_battery_state(h), -1);
    EXPECT_EQ(VELDANcontrol_device_busy_state(h), UINT64_MAX);
}

TEST(ControlStartup, UsageAndVersionEndTheInitialisation) {
    TempHome home;
    EXPECT_EQ(InitCaptured({L"-su", L"-h"}), nullptr);
    EXPECT_EQ(Captured(), kUsage);

    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-?"}), nullptr);
    EXPECT_EQ(Captured(), kUsage);

    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-V"}), nullptr);
    EXPECT_EQ(Captured(), kVersionLines);

    // Quiet suppresses both.
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-q", L"-V"}), nullptr);
    EXPECT_EQ(InitCaptured({L"-q", L"-h"}), nullptr);
    EXPECT_EQ(Captured(), L"");
}

TEST(ControlStartup, VerboseEchoListsEverySwitchWithItsIndex) {
    TempHome home;
    EXPECT_EQ(InitCaptured({L"-v", L"-p", L"-n", L"-o", L"port=3", L"-o", L"edition=\"x\"", L"-s", L"a b.txt", L"-su",
                            L"-swm", L"-c", L"my.cfg", L"-q", L"-v", L"-unknown", L"-h", L"-c"}),
              nullptr);
    const std::wstring expected =
        L"00: -v - be verbose\n"
        L"01: -p - do not go to parking position\n"
        L"02: -n - stay at the last position\n"
        L"03: -o - configuration overwrite: port=3\n"
        L"05: -o - configuration overwrite: edition=\"x\"\n"
        L"07: -s - user defined script file: a b.txt\n"
        L"09: -su - suppress startup banner\n"
        L"10: -swm - suppress HAL notification messages\n"
        L"11: -c - user defined configuration file my.cfg\n"
        L"13: -q - be quiet\n"
        L"14: -v - be verbose\n"
        L"15: -unknown\n"
        L"16: -h - print usage information\n"
        L"17: -c\n"
        L"...end of command line\n" +
        kUsage;
    EXPECT_EQ(Captured(), expected);
}

TEST(ControlStartup, ConfigurationAndAssemblySearchOrder) {
    TempHome home;
    const std::wstring docs = Wide(home.ConfigFolder());
    const std::wstring prog = Wide(ProgramFolder());
    const std::wstring sys = Wide(home.SystemFolder());
    // No configuration file, and an edition that exists nowhere.
    EXPECT_EQ(InitCaptured({L"-v", L"-o", L"edition=\"nowhere\""}), nullptr);
    const std::wstring expected =
        L"00: -v - be verbose\n"
        L"01: -o - configuration overwrite: edition=\"nowhere\"\n"
        L"...end of command line\n"
        L"Loading configuration from " +
        docs +
        L"/settings.cfg... failed\nOK\n"
        L"Overwriting configuration parameters by:\n"
        L"edition=\"nowhere\"   OK\n"
        L"Opening assembly file " +
        prog +
        L"/nowhere.asm... failed\n"
        L"Opening assembly file " +
        docs +
        L"/nowhere.asm... failed\n"
        L"Opening assembly file " +
        sys +
        L"/nowhere.asm... failed\n"
        L"No suitable assembly file found. Please reinstall the application.\n";
    EXPECT_EQ(Captured(), expected);

    // Quiet leaves only the message that cannot be suppressed by verbose.
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-q", L"-o", L"edition=\"nowhere\""}), nullptr);
    EXPECT_EQ(Captured(), L"");
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-o", L"edition=\"nowhere\""}), nullptr);
    EXPECT_EQ(Captured(), L"No suitable assembly file found. Please reinstall the application.\n");
}

TEST(ControlStartup, ConfigurationFileNames) {
    TempHome home;
    const std::wstring docs = Wide(home.ConfigFolder());
    // A plain "-c" name lies in the configuration folder; the edition named
    // there is found in the system folder.
    TempHome::Write(home.ConfigFolder() / "my.cfg", "edition = \"sysasm\"\nport = 200\n");
    TempHome::Write(home.SystemFolder() / "sysasm.asm", "name = \"System head\"\nrow = 0 4\n");
    EXPECT_EQ(InitCaptured({L"-v", L"-su", L"-c", L"my.cfg"}), nullptr);
    std::wstring text = Captured();
    EXPECT_NE(text.find(L"Loading configuration from " + docs + L"/my.cfg... OK\n"), std::wstring::npos) << text;
    EXPECT_NE(text.find(L"Opening assembly file " + Wide(home.SystemFolder()) +
                        L"/sysasm.asm... OK\nLoading assembly data...OK\n"),
              std::wstring::npos)
        << text;
    // The port from the file is used and cannot be opened.
    EXPECT_NE(text.find(L"Initializing device on COM200... failed\n"), std::wstring::npos) << text;

    // A name with a folder is used as it is; a file that cannot be read as a
    // configuration ends the initialisation right there.
    const fs::path broken = home.Root() / "elsewhere" / "broken.cfg";
    TempHome::Write(broken, "this is not a setting\n");
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-v", L"-c", Wide(broken)}), nullptr);
    text = Captured();
    EXPECT_NE(text.find(L"Loading configuration from " + Wide(broken) + L"... failed\n"), std::wstring::npos) << text;
    EXPECT_EQ(text.find(L"assembly"), std::wstring::npos) << text;
    EXPECT_EQ(text.find(L"Initializing"), std::wstring::npos) << text;
}

TEST(ControlStartup, FullPrintOutScriptSearchAndPortFailure) {
    TempHome home;
    const std::wstring docs = Wide(home.ConfigFolder());
    TempHome::Write(home.ConfigFolder() / "mine.asm", "name = \"Mine\"\nrow = 0 6\n");
    TempHome::Write(home.ConfigFolder() / "shots.txt", "H 90\nV -30\nNOTE \"no op\"\n");
    EXPECT_EQ(InitCaptured({L"-v", L"-o", L"edition=\"mine\"", L"-o", L"port=200", L"-o", L"bogus=1", L"-s", L"shots"}),
              nullptr);
    const std::wstring expected =
        L"00: -v - be verbose\n"
        L"01: -o - configuration overwrite: edition=\"mine\"\n"
        L"03: -o - configuration overwrite: port=200\n"
        L"05: -o - configuration overwrite: bogus=1\n"
        L"07: -s - user defined script file: shots\n"
        L"...end of command line\n"
        L"Loading configuration from " +
        docs +
        L"/settings.cfg... failed\nOK\n"
        L"Overwriting configuration parameters by:\n"
        L"edition=\"mine\"   OK\n"
        L"port=200   OK\n"
        L"bogus=1   failed\n"
        L"Opening assembly file " +
        Wide(ProgramFolder()) +
        L"/mine.asm... failed\n"
        L"Opening assembly file " +
        docs +
        L"/mine.asm... OK\n"
        L"Loading assembly data...OK\n"
        L"Edition: mine\n"
        L"Port: 200\n"
        L"Max. device count: 7\n"
        L"Simultaneous: false\n"
        L"Packetrate: infinite\n"
        L"Bracketing: 1\n"
        L"Repetitions: 1\n"
        L"Pre-shot time: 0.50s\n"
        L"Exposure time: 0.20s\n"
        L"Recover time: 1.00s\n"
        L"Horizontal acceleration: 100.00%\n"
        L"Vertical acceleration: 100.00%\n"
        L"Global acceleration: 100.00%\n"
        L"\n"
        L"Opening script file shots... failed\n"
        L"Opening script file " +
        docs +
        L"/shots... failed\n"
        L"Opening script file " +
        docs +
        L"/shots.txt... OK\n"
        L"Loading script data...OK\n"
        L"3 script commands successfuly loaded.\n"
        L"Initializing device on COM200... failed\n";
    EXPECT_EQ(Captured(), expected);

    // Quiet: only the device lines remain.
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-q", L"-o", L"edition=\"mine\"", L"-o", L"port=200", L"-s", L"shots"}), nullptr);
    EXPECT_EQ(Captured(), L"Initializing device on COM200... failed\n");

    // Without verbose the script count is still reported.
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-o", L"edition=\"mine\"", L"-o", L"port=200", L"-s", L"shots"}), nullptr);
    EXPECT_EQ(Captured(), L"3 script commands successfuly loaded.\nInitializing device on COM200... failed\n");

    // A script file that opens but cannot be read ends the initialisation.
    TempHome::Write(home.ConfigFolder() / "bad.txt", "FLY 3\n");
    ClearCaptured();
    EXPECT_EQ(InitCaptured({L"-v", L"-o", L"edition=\"mine\"", L"-o", L"port=200", L"-s", L"bad"}), nullptr);
    const std::wstring text = Captured();
    EXPECT_NE(text.find(L"bad.txt... OK\nLoading script data...failed\n"), std::wstring::npos) << text;
    EXPECT_EQ(text.find(L"Initializing"), std::wstring::npos) << text;
}

TEST(ControlStartup, LogFileOnlyWhenItExists) {
    TempHome home;
    const fs::path log = home.CurrentFolder() / "VELDANcontrol.log";
    EXPECT_EQ(VELDANcontrol_init(Args{L"-h"}.argc(), Args{L"-h"}.argv()), nullptr);
    EXPECT_FALSE(fs::exists(log));
    EXPECT_TRUE(fs::is_empty(home.CurrentFolder()));

    // The user created the file: every line is appended, and verbose is on.
    TempHome::Write(log, "earlier\n");
    Args args{L"-V"};
    EXPECT_EQ(VELDANcontrol_init(args.argc(), args.argv()), nullptr);
    EXPECT_EQ(TempHome::Read(log),
              "earlier\n"
              "Parsing command line switches...\n"
              "00: -V - print version information\n"
              "...end of command line\n"
              "VELDANcontrol library 1.5.0\n"
              "VELDANsettings library 1.0.0 [OK]\n"
              "Pelkor library 2.1.0 [OK]\n");
}

TEST(ControlStartup, LabViewStringArrayIsConverted) {
    TempHome home;
    const fs::path log = home.CurrentFolder() / "VELDANcontrol.log";
    TempHome::Write(log, "");
    // Two strings of the LabVIEW layout: an int32 byte count and the bytes.
    struct Str {
        int32_t cnt;
        unsigned char bytes[8];
    };
    Str su{3, {'-', 's', 'u'}};
    Str version{2, {'-', 'V'}};
    VELDANcontrol_LStrPtr suPtr = reinterpret_cast<VELDANcontrol_LStrPtr>(&su);
    VELDANcontrol_LStrPtr versionPtr = reinterpret_cast<VELDANcontrol_LStrPtr>(&version);
    struct Array {
        int32_t dimSize;
        VELDANcontrol_LStrHandle elt[2];
    } array{2, {&suPtr, &versionPtr}};
    VELDANcontrol_LStrArrayPtr arrayPtr = reinterpret_cast<VELDANcontrol_LStrArrayPtr>(&array);
    EXPECT_EQ(VELDANcontrol_init_LabView(&arrayPtr), nullptr);
    const std::string text = TempHome::Read(log);
    EXPECT_NE(text.find("00: -su - suppress startup banner\n01: -V - print version information\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("Pelkor library 2.1.0 [OK]\n"), std::string::npos) << text;
}

}  // namespace veldan::test
