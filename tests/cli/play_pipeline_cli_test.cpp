// sonfara-cli play through the open pipeline, seen at the monitor port:
// archive members, arrangement and EQ presets by name, and the player's
// settings file with the command line winning over it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/files/files_fixture.h"

namespace sonfara::files::test {
namespace {

using sonfara::test::Smf;
using sonfara::test::Track;

struct Result {
    int status = -1;
    std::string out, err;
};

Result RunCli(const std::vector<std::string>& args, const std::string& scratch) {
    const std::string outPath = scratch + "/stdout", errPath = scratch + "/stderr";
    pid_t pid = fork();
    if (pid == 0) {
        int o = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int e = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(o, 1);
        dup2(e, 2);
        std::vector<std::string> copy = args;
        std::string exe = SONFARA_CLI;
        std::vector<char*> argv{exe.data()};
        for (auto& a : copy) argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    Result r;
    waitpid(pid, &r.status, 0);
    r.out = ReadBytes(outPath);
    r.err = ReadBytes(errPath);
    return r;
}

bool Has(const std::string& out, const std::string& message) {
    return out.find(" " + message + "\n") != std::string::npos;
}

class PlayPipelineCli : public ::testing::Test {
  protected:
    void SetUp() override {
        // The user's own presets; nothing of the real user's settings.
        setenv("XDG_DATA_HOME", (data_.Path()).c_str(), 1);
        setenv("XDG_CONFIG_HOME", (data_ / "config").c_str(), 1);
        WriteBytes(data_ / "Sonfara/arr/brass.arr",
                   "[SONFARA ARRANGE FILE]\r\nBrassy\r\n[INST]\r\n1:62\r\n[OPTION]\r\nMOD 0\r\n");
        WriteBytes(data_ / "Sonfara/eq/Soft.meq", std::string(1, '\x78') + std::string(9, '\x80'));
        // Bank select, program 0, modulation, one note 0x10 at velocity 100.
        const auto b = Smf(0, 480,
                           {Track()
                                .Msg(0, {0xB0, 0x00, 0x05})
                                .Msg(0, {0xC0, 0x00})
                                .Msg(0, {0xB0, 0x01, 0x40})
                                .Msg(0, {0x90, 0x10, 0x64})
                                .Msg(120, {0x80, 0x10, 0x00})
                                .End()});
        song_ = std::string(b.begin(), b.end());
        WriteBytes(songs_ / "s.mid", song_);
    }
    std::vector<std::string> Play(std::vector<std::string> extra) {
        std::vector<std::string> a = {"play"};
        a.insert(a.end(), extra.begin(), extra.end());
        a.push_back("--port");
        a.push_back("monitor");
        return a;
    }

    TempDir data_, songs_, scratch_;
    std::string song_;
};

TEST_F(PlayPipelineCli, ArrangementAndEqByNameChangeTheBytes) {
    Result plain = RunCli(Play({songs_ / "s.mid", "--no-settings"}), scratch_.Path());
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_TRUE(Has(plain.out, "C0 00"));
    EXPECT_TRUE(Has(plain.out, "B0 01 40"));
    EXPECT_TRUE(Has(plain.out, "90 10 64"));

    Result shaped =
        RunCli(Play({songs_ / "s.mid", "--no-settings", "--arrangement", "Brassy", "--eq", "Soft"}),
               scratch_.Path());
    ASSERT_EQ(shaped.status, 0) << shaped.err;
    EXPECT_TRUE(Has(shaped.out, "C0 3D")) << "program 1 sent as 62";
    EXPECT_FALSE(Has(shaped.out, "C0 00"));
    EXPECT_FALSE(Has(shaped.out, "B0 01 40")) << "MOD 0 drops modulation";
    EXPECT_TRUE(Has(shaped.out, "90 10 5C")) << "band 1 lowered by 8";

    // The file name without its extension works too.
    Result byFile = RunCli(Play({songs_ / "s.mid", "--no-settings", "--arrangement", "brass"}),
                           scratch_.Path());
    EXPECT_TRUE(Has(byFile.out, "C0 3D"));
    EXPECT_TRUE(Has(byFile.out, "90 10 64"));
}

TEST_F(PlayPipelineCli, UnknownPresetNamesTheAvailableOnes) {
    Result r =
        RunCli(Play({songs_ / "s.mid", "--no-settings", "--arrangement", "Nope"}), scratch_.Path());
    EXPECT_EQ(WEXITSTATUS(r.status), 2);
    EXPECT_NE(r.err.find("Nope"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Brassy"), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
    Result e = RunCli(Play({songs_ / "s.mid", "--no-settings", "--eq", "Loud"}), scratch_.Path());
    EXPECT_EQ(WEXITSTATUS(e.status), 2);
    EXPECT_NE(e.err.find("Soft"), std::string::npos) << e.err;
}

TEST_F(PlayPipelineCli, ArchiveMembersListsAndRmiPlayInOrder) {
    const auto note = [](uint8_t n) {
        const auto b = Smf(0, 480, {Track().Msg(0, {0x90, n, 0x64}).Msg(60, {0x80, n, 0}).End()});
        return std::string(b.begin(), b.end());
    };
    WriteZip(songs_ / "pack.zip", {{"z1.mid", note(0x21)}, {"z2.mid", note(0x22)}});
    WriteBytes(songs_ / "r.rmi", std::string("RIFF\x10\0\0\0RMIDdata\0\0\0\0", 20) + note(0x23));
    WriteBytes(songs_ / "list.mlt", "[MIDIList]\r\n" + songs_ / "r.rmi" + "\r\n");
    Result r =
        RunCli(Play({songs_ / "pack.zip", songs_ / "list.mlt", "--no-settings"}), scratch_.Path());
    ASSERT_EQ(WEXITSTATUS(r.status), 0) << r.err;
    const size_t a = r.out.find(" 90 21 64\n"), b = r.out.find(" 90 22 64\n"),
                 c = r.out.find(" 90 23 64\n");
    ASSERT_NE(a, std::string::npos) << r.err;
    ASSERT_NE(b, std::string::npos) << r.err;
    ASSERT_NE(c, std::string::npos) << r.err;
    EXPECT_LT(a, b);
    EXPECT_LT(b, c);
    EXPECT_NE(r.err.find("[3/3]"), std::string::npos) << r.err;
}

// The user's arrangement comes after the shipped ones in the menu.
std::string UserArrangementItem() {
    int shipped = 0;
    for (const auto& e : fs::directory_iterator(SONFARA_SOURCE_DIR "/data/arr"))
        shipped += e.path().extension() == ".arr";
    return std::to_string(shipped + 1);
}

TEST_F(PlayPipelineCli, SettingsFileAppliesAndTheCommandLineWins) {
    const std::string item = UserArrangementItem();
    WriteBytes(scratch_ / "s.ini", "[Sonfara]\nArrMode=" + item +
                                       "\nArrModeCap=Brassy\nSendBankSelect=False\nEqMode=Soft\n");
    Result r = RunCli(Play({songs_ / "s.mid", "--settings", scratch_ / "s.ini"}), scratch_.Path());
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Has(r.out, "C0 3D"));
    EXPECT_TRUE(Has(r.out, "90 10 5C"));
    EXPECT_FALSE(Has(r.out, "B0 00 05")) << "SendBankSelect off";

    Result over = RunCli(Play({songs_ / "s.mid", "--settings", scratch_ / "s.ini", "--arrangement",
                               "none", "--eq", "none"}),
                         scratch_.Path());
    ASSERT_EQ(over.status, 0) << over.err;
    EXPECT_TRUE(Has(over.out, "C0 00"));
    EXPECT_TRUE(Has(over.out, "90 10 64"));
    EXPECT_FALSE(Has(over.out, "B0 00 05")) << "the setting still holds";

    // The default place, $XDG_CONFIG_HOME/Tenmoor/Sonfara.ini, is read too.
    WriteBytes(data_ / "config/Tenmoor/Sonfara.ini",
               "[Sonfara]\nArrMode=" + item + "\nArrModeCap=Brassy\n");
    Result def = RunCli(Play({songs_ / "s.mid"}), scratch_.Path());
    EXPECT_TRUE(Has(def.out, "C0 3D"));
    Result none = RunCli(Play({songs_ / "s.mid", "--no-settings"}), scratch_.Path());
    EXPECT_TRUE(Has(none.out, "C0 00"));
}

}  // namespace
}  // namespace sonfara::files::test

namespace sonfara::files::test {
namespace {

TEST(RenderPipelineCli, ArchiveEntryByNumber) {
    const char* sf = "/usr/share/sounds/sf2/TimGM6mb.sf2";
    if (access(sf, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
    TempDir dir;
    const auto song = [](uint32_t ticks) {
        const auto b =
            Smf(0, 480, {Track().Msg(0, {0x90, 0x3C, 0x64}).Msg(ticks, {0x80, 0x3C, 0}).End()});
        return std::string(b.begin(), b.end());
    };
    // 0.25 s and 2 s long: the WAV's length tells which one was rendered.
    WriteZip(dir / "two.zip", {{"short.mid", song(240)}, {"long.mid", song(1920)}});
    const auto seconds = [&](const std::string& wav) {
        const std::string b = ReadBytes(wav);
        if (b.size() < 44) return 0.0;
        const auto u = [&](size_t i) { return static_cast<uint8_t>(b[i]); };
        return (u(40) | u(41) << 8 | u(42) << 16 | static_cast<uint32_t>(u(43)) << 24) / 4.0 /
               22050.0;
    };
    Result second = RunCli({"render", dir / "two.zip", "--entry", "2", "-o", dir / "2.wav",
                            "--soundfont", sf, "--rate", "22050", "--no-settings"},
                           dir.Path());
    ASSERT_EQ(WEXITSTATUS(second.status), 0) << second.err;
    EXPECT_GE(seconds(dir / "2.wav"), 2.0);

    Result first = RunCli({"render", dir / "two.zip", "-o", dir / "1.wav", "--soundfont", sf,
                           "--rate", "22050", "--no-settings"},
                          dir.Path());
    ASSERT_EQ(WEXITSTATUS(first.status), 0) << first.err;
    EXPECT_LT(seconds(dir / "1.wav"), 2.0);
    EXPECT_NE(first.err.find("2 songs"), std::string::npos) << first.err;

    Result past = RunCli({"render", dir / "two.zip", "--entry", "3", "-o", dir / "3.wav",
                          "--soundfont", sf, "--no-settings"},
                         dir.Path());
    EXPECT_EQ(WEXITSTATUS(past.status), 2);
}

}  // namespace
}  // namespace sonfara::files::test
