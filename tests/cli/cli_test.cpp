// sonfara-cli as a user runs it: output formats, exit codes, odd paths.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/cli/run_command.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Smf;
using test::Track;

using CliRun = test::CommandRun;

// Runs the CLI with stdout captured; stderr goes to a file read back into err.
CliRun Cli(const std::string& args, std::string* err = nullptr) {
    // One file per test process: ctest runs the cases of this file in parallel.
    fs::path errFile =
        fs::temp_directory_path() / ("sonfara-cli-test-" + std::to_string(::getpid()) + ".err");
    std::string cmd = std::string(SONFARA_CLI) + " " + args + " 2>'" + errFile.string() + "'";
    const CliRun r = test::RunCommand(cmd);
    if (err) {
        std::ifstream in(errFile);
        err->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ec;
    fs::remove(errFile, ec);
    return r;
}

class CliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonfara-cli-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string Write(const std::string& name, const Bytes& b) {
        fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
        return "'" + p.string() + "'";
    }
    static Bytes Song() {
        Track conductor;
        conductor
            .Meta(0, 0x03, "\x83\x65\x83\x58\x83\x67")  // テスト in CP932
            .Tempo(0, 500000)
            .Meta(0, 0x58, Bytes{3, 2, 24, 8})
            .Tempo(960, 400000)
            .End(960);
        Track piano;
        piano.Meta(0, 0x03, "Piano")
            .SysEx(0, Bytes{0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7})
            .Msg(0, {0xC0, 0})
            .Msg(0, {0x90, 60, 100})
            .Msg(480, {0x80, 60, 0})
            .End();
        return Smf(1, 480, {conductor, piano});
    }
    fs::path dir_;
};

TEST_F(CliTest, InfoJson) {
    CliRun r = Cli("info --json " + Write("song.mid", Song()));
    ASSERT_EQ(r.status, 0);
    const std::string& j = r.out;
    EXPECT_NE(j.find("\"kind_label\":\"SMF Format 1\""), std::string::npos) << j;
    EXPECT_NE(j.find("\"tracks\":2"), std::string::npos);
    EXPECT_NE(j.find("\"division\":480"), std::string::npos);
    EXPECT_NE(j.find("\"title\":\"テスト\""), std::string::npos);
    EXPECT_NE(j.find("\"track_names\":[\"テスト\",\"Piano\"]"), std::string::npos);
    EXPECT_NE(j.find("\"total_ms\":1800"), std::string::npos);
    EXPECT_NE(j.find("\"total_seconds\":2"), std::string::npos);
    EXPECT_NE(j.find("{\"tick\":960,\"ms\":1000,\"tempo\":400000}"), std::string::npos);
    EXPECT_NE(j.find("\"time_signature\":{\"numerator\":3,\"denominator\":4,\"quarters\":3}"),
              std::string::npos);
    EXPECT_NE(j.find("\"module\":2"), std::string::npos);
    EXPECT_EQ(j.back(), '\n');
}

// The loop a song marks, in both forms, with where it lies in bars and what
// marked it; in 3/4, so the bars are not the quarters divided by four.
TEST_F(CliTest, InfoReportsTheLoopAndWhatMarkedIt) {
    Track conductor;
    conductor.Meta(0, 0x58, Bytes{3, 2, 24, 8}).Tempo(0, 500000);
    Track notes;
    notes.Msg(0, {0x90, 60, 100})
        .Msg(1440 * 2 + 480, {0xB3, 111, 0})  // bar 3, beat 2: 3.5 s
        .Msg(1440 * 2, {0x80, 60, 0})         // bar 5, beat 2: 6.5 s
        .End();
    const std::string byController = Write("cc.mid", Smf(1, 480, {conductor, notes}));
    CliRun text = Cli("info " + byController);
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("Loop:           00:03 (3500 ms, bar 3.2, controller 111) to 00:06 "
                            "(6500 ms, bar 5.2, song end)\n"),
              std::string::npos)
        << text.out;

    Track marked = conductor;
    marked.Meta(960, 0x06, "loopStart").Meta(1440, 0x06, "loopEnd").Msg(1440, {0x90, 60, 1}).End();
    CliRun json = Cli("info --json " + Write("marked.mid", Smf(1, 480, {marked})));
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(json.out.find("\"loop\":{\"start_ms\":1000,\"start_bar_beat\":\"1.3\","
                            "\"start_from\":\"marker\",\"end_ms\":2500,\"end_bar_beat\":"
                            "\"2.3\",\"end_from\":\"marker\"}"),
              std::string::npos)
        << json.out;

    CliRun none = Cli("info --json " + Write("plain.mid", Song()));
    EXPECT_NE(none.out.find("\"loop\":null"), std::string::npos) << none.out;
    EXPECT_NE(Cli("info " + Write("plain.mid", Song())).out.find("Loop:           none\n"),
              std::string::npos);
}

TEST_F(CliTest, DumpLinesJsonAndPages) {
    const std::string path = Write("song.mid", Song());
    CliRun text = Cli("dump " + path);
    ASSERT_EQ(text.status, 0);
    EXPECT_NE(text.out.find("1 1 0 0 FF 0 1 6 03836583588367\n"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("2 2 0 0 F0 0 7 10 4110421240007F0041F7\n"), std::string::npos);
    EXPECT_NE(text.out.find("2 5 480 500 80 60 0 2\n"), std::string::npos);

    CliRun json = Cli("dump --json " + path);
    ASSERT_EQ(json.status, 0);
    EXPECT_NE(
        json.out.find("{\"track\":2,\"event\":3,\"tick\":0,\"ms\":0,\"status\":192,\"data1\":0,"
                      "\"data2\":0,\"length\":1,\"payload\":\"\"}"),
        std::string::npos)
        << json.out;

    CliRun page = Cli("dump " + path + " --list 2 --page 1");
    ASSERT_EQ(page.status, 0);
    EXPECT_NE(page.out.find("List 2: 6 entries, page 1 of 1"), std::string::npos);
    EXPECT_NE(page.out.find("KEY=C6   VEL=100"), std::string::npos);
    EXPECT_NE(page.out.find("F0 41 10 42 12 40 00 7F 00 41 F7"), std::string::npos);
    EXPECT_EQ(Cli("dump " + path + " --list 2 --page 3").status, 2);
    EXPECT_EQ(Cli("dump " + path + " --list 99").status, 2);
}

TEST_F(CliTest, BadFilesExitWithStatusOneAndAMessage) {
    std::string err;
    CliRun r =
        Cli("info " + Write("bad.mid", Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 1, 0xE0}),
            &err);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(err.find("読み込みエラー（ErrorNo 8）"), std::string::npos) << err;
    r = Cli("dump " + Write("text.mid", Bytes{'h', 'e', 'l', 'l', 'o'}), &err);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(err.find("Header Error"), std::string::npos);
    EXPECT_EQ(Cli("info '" + (dir_ / "missing.mid").string() + "'", &err).status, 1);
    EXPECT_NE(err.find("ErrorNo 1"), std::string::npos);
    EXPECT_EQ(Cli("info").status, 2);
    EXPECT_EQ(Cli("frobnicate x").status, 2);
    EXPECT_EQ(Cli("--help").status, 0);
}

TEST_F(CliTest, RmiFilesAndNonAsciiNames) {
    Bytes smf = Song();
    Bytes rmi = {'R', 'I', 'F', 'F', 0,   0,   0, 0, 'R', 'M',
                 'I', 'D', 'd', 'a', 't', 'a', 0, 0, 0,   0};
    rmi.insert(rmi.end(), smf.begin(), smf.end());
    CliRun r = Cli("info --json " + Write("曲の名前 ♪.rmi", rmi));
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"kind_label\":\"RMI Format 1\""), std::string::npos) << r.out;
}

}  // namespace
}  // namespace sonfara
