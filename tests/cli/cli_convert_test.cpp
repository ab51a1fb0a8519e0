// sonfara-cli with Recomposer songs: convert (one file, a folder), info,
// dump and list --titles read them directly.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/cli/run_command.h"
#include "tests/files/rcp_writer.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;
using files::test::RcpSongWriter;
using files::test::RcpTrackWriter;

using CliRun = test::CommandRun;

// stdout and stderr together.
CliRun Cli(const std::string& args) {
    return test::RunCommand(std::string(SONFARA_CLI) + " " + args + " 2>&1");
}

void Write(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary) << bytes;
}

TEST(CliConvert, RecomposerSongsConvertAndReadDirectly) {
    const fs::path dir =
        fs::temp_directory_path() / ("sonfara-cli-rcp-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "in");
    RcpSongWriter w;
    w.title = "Song One";
    w.tracks = {RcpTrackWriter().Cmd(0xE7, 0, 0x80).Note(60, 48, 24, 100).End()};
    Write(dir / "in" / "one.rcp", w.Bytes());
    w.v3 = true;
    w.title = "Song Two";
    Write(dir / "in" / "two.G36", w.Bytes());
    Write(dir / "in" / "bad.r36", "RCM-PC98V2.0(C)COME ON MUSIC");
    const std::string in = (dir / "in").string(), out = (dir / "out").string();

    CliRun r = Cli("convert '" + in + "/one.rcp' -o '" + dir.string() + "/one.mid'");
    EXPECT_EQ(r.status, 0) << r.out;
    r = Cli("dump '" + dir.string() + "/one.mid'");
    EXPECT_NE(r.out.find("\n2 1 0 0 90 60 100 2\n2 2 24 125 80 60 0 2\n"), std::string::npos)
        << r.out;
    EXPECT_EQ(Cli("dump '" + in + "/one.rcp'").out, r.out);  // read directly, the same events
    r = Cli("info --json '" + in + "/two.G36'");
    EXPECT_NE(r.out.find("\"kind_label\":\"RCM for Windows95\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"title\":\"Song Two\""), std::string::npos);
    EXPECT_NE(r.out.find("{\"tick\":0,\"ms\":0,\"tempo\":250000}"), std::string::npos);

    // A folder: every song, the bad one named with what is wrong; no
    // progress bar where stderr is no terminal.
    r = Cli("convert '" + in + "' -o '" + out + "'");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("（ファイルが途中で切れています）: " + in + "/bad.r36\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("converted 2 of 3 songs into " + out), std::string::npos);
    EXPECT_EQ(r.out.find('\033'), std::string::npos);
    EXPECT_TRUE(fs::exists(dir / "out" / "one.mid"));
    EXPECT_TRUE(fs::exists(dir / "out" / "two.mid"));

    r = Cli("list --titles '" + in + "/one.rcp' '" + in + "/two.G36'");
    EXPECT_EQ(r.out, "one.rcp\t" + in + "\t\t\tSong One\ntwo.G36\t" + in + "\t\t\tSong Two\n");
    EXPECT_EQ(Cli("convert '" + in + "/one.rcp'").status, 2);  // no -o
    fs::remove_all(dir);
}

}  // namespace
}  // namespace sonfara
