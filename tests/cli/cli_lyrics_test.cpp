// sonfara-cli lyrics: the lines, LRC and enhanced LRC, and songs without lyrics.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/cli/run_command.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::Smf;
using test::Track;

class CliLyrics : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonfara-cli-lyrics-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Write(const std::string& name, const Bytes& b) {
        const fs::path p = dir_ / name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), b.size());
        return "'" + p.string() + "'";
    }
    // stdout only; stderr goes to err.txt.
    test::CommandRun Cli(const std::string& args) {
        return test::RunCommand(std::string(SONFARA_CLI) + " " + args + " 2>'" +
                                (dir_ / "err.txt").string() + "'");
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ / name, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    fs::path dir_;
};

TEST_F(CliLyrics, LinesLrcAndEnhancedLrc) {
    // Division 500 without tempo events: one tick is one millisecond.
    Track info;
    info.Meta(0, 0x01, "@KMIDI KARAOKE FILE").End();
    Track words;
    words.Meta(0, 0x01, "@TLittle Song")
        .Meta(0, 0x01, "\\Hel")
        .Meta(1234, 0x01, "lo ")
        .Meta(766, 0x01, "world")
        .Meta(59995, 0x01, "/Good")
        .Meta(505, 0x01, "bye")
        .Meta(7500, 0x01, "\\Next")
        .End();
    const std::string song = Write("song.kar", Smf(1, 500, {info, words}));

    test::CommandRun r = Cli("lyrics " + song);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "Hello world\nGoodbye\n\nNext\n");
    r = Cli("lyrics --lrc " + song);
    EXPECT_EQ(r.out,
              "[ti:Little Song]\n[00:00.00]Hello world\n[01:02.00]Goodbye\n[01:10.00]Next\n");
    const std::string words_lrc =
        "[ti:Little Song]\n"
        "[00:00.00]<00:00.00>Hel<00:01.23>lo <00:02.00>world\n"
        "[01:02.00]<01:02.00>Good<01:02.50>bye\n"
        "[01:10.00]<01:10.00>Next\n";
    EXPECT_EQ(Cli("lyrics --words " + song).out, words_lrc);
    r = Cli("lyrics --words " + song + " -o '" + (dir_ / "out.lrc").string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(Read("out.lrc"), words_lrc);
}

TEST_F(CliLyrics, SongsWithoutLyricsAndBadUsage) {
    Track t;
    t.Meta(0, 0x03, "Piano")
        .Meta(0, 0x01, "play softly")
        .Msg(0, {0x90, 60, 100})
        .Msg(480, {0x80, 60, 0})
        .End();
    const test::CommandRun r = Cli("lyrics " + Write("plain.mid", Smf(1, 480, {t})));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(Read("err.txt").find("no lyrics in"), std::string::npos);
    EXPECT_EQ(Cli("lyrics").status, 2);
    EXPECT_EQ(Cli("lyrics --karaoke x.mid").status, 2);
}

}  // namespace
}  // namespace sonfara
