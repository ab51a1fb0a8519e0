// sonfara-cli library: folders added, scanned and searched through the real
// program, with the library's database in a scratch folder.
#include <gtest/gtest.h>

#include "tests/cli/run_command.h"
#include "tests/files/files_fixture.h"
#include "tests/library/song_maker.h"

namespace sonfara {
namespace {

using files::test::TempDir;
using files::test::WriteBytes;

class CliLibrary : public ::testing::Test {
  protected:
    test::CommandRun Run(const std::string& args) {
        return test::RunCommand(std::string(SONFARA_CLI) + " library " + args + " --database " +
                                (dir / "lib.db") + " 2>&1");
    }
    TempDir dir;
};

TEST_F(CliLibrary, AddScanSearchAndStats) {
    library::test::SongPlan s;
    s.title = platform::CodePage("CP932").FromUtf8("夜空のうた");
    s.reset = library::test::SongPlan::kGs;
    std::filesystem::create_directories(dir / "songs/sub");
    WriteBytes(dir / "songs/sub/a.mid", library::test::MakeSong(s));
    WriteBytes(dir / "songs/bad.mid", "MThd");

    test::CommandRun r = Run("add " + (dir / "songs") + " " + (dir / "nowhere"));
    EXPECT_EQ(r.status, 1);  // the missing folder, after adding the other
    EXPECT_NE(r.out.find(dir / "songs"), std::string::npos);
    EXPECT_NE(r.out.find("フォルダが見つかりません: " + (dir / "nowhere")), std::string::npos);

    r = Run("scan --jobs 2");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("2 files, 2 read, 2 songs written, 1 failed, 0 removed"),
              std::string::npos)
        << r.out;
    r = Run("scan");
    EXPECT_NE(r.out.find("2 files, 0 read"), std::string::npos) << r.out;

    r = Run("search 夜空 module:gs --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\"title\":\"夜空のうた\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"module\":\"GS\""), std::string::npos);
    EXPECT_NE(r.out.find("\"path\":\"" + (dir / "songs/sub/a.mid") + "\""), std::string::npos);
    // Nothing found is status 1, a wrong filter 2 with the reason.
    EXPECT_EQ(Run("search 星").status, 1);
    r = Run("search module:mt32");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("module:mt32"), std::string::npos);
    r = Run("search has:error");
    EXPECT_NE(r.out.find("bad.mid"), std::string::npos);

    r = Run("stats --json");
    EXPECT_NE(r.out.find("\"songs\":2,\"failed\":1"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"GS\":1"), std::string::npos);

    EXPECT_EQ(Run("remove " + (dir / "songs")).status, 0);
    EXPECT_NE(Run("stats --json").out.find("\"songs\":0"), std::string::npos);
    EXPECT_EQ(Run("frobnicate").status, 2);
}

TEST_F(CliLibrary, DamagedDatabaseIsNamedAndTheCommandGoesOn) {
    WriteBytes(dir / "lib.db", std::string(4096, '\x55'));
    const test::CommandRun r = Run("stats");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(dir / "lib.db.damaged"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("songs\t0"), std::string::npos);
}

}  // namespace
}  // namespace sonfara
