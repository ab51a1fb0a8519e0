// The player's binding of the support library: finding it, labels, notices,
// shortcuts. SFRLIB_PATH is the library the build made.
#include "player/platform/sfrlib_binding.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "player/platform/library_presence.h"
#include "player/platform/messages.h"
#include "player/platform/sstp_notice.h"
#include "player/song/load_notice.h"
#include "player/song/smf_reader.h"
#include "tests/support/fake_sstp_listener.h"

namespace fs = std::filesystem;

namespace sonfara {
namespace {

using test::FakeSstpListener;
using test::PortOverride;
using test::UnusedPort;

const std::string kLibDir = fs::path(SFRLIB_PATH).parent_path().string();

TEST(LibraryPresence, ProgramFolderAndOverride) {
    EXPECT_EQ(platform::ProgramFolder(), fs::canonical("/proc/self/exe").parent_path().string());
    ::setenv("SONFARA_LIBDIR", kLibDir.c_str(), 1);
    EXPECT_EQ(platform::LibrarySearchFolders().front(), kLibDir);
    EXPECT_EQ(platform::FindLibrary(platform::kSfrLibFileName),
              kLibDir + "/" + platform::kSfrLibFileName);
    EXPECT_TRUE(platform::SfrLibPresent());
    EXPECT_EQ(platform::SfrLibBinding().Path(), kLibDir + "/" + platform::kSfrLibFileName);
    ::unsetenv("SONFARA_LIBDIR");
    EXPECT_FALSE(platform::LibraryExists("libSfrLib-not-installed.so"));
    EXPECT_FALSE(platform::LibraryExists("../cli/libSfrLib.so"));  // a name, never a path
    EXPECT_FALSE(platform::LibraryExists(""));
}

// Installed, the programs sit in <prefix>/bin and the library in
// <prefix>/lib/<multiarch>/sonfara: searched right after the program folder.
TEST(LibraryPresence, PrivateFolderOfAnInstalledTree) {
    const std::vector<std::string> dirs = platform::LibrarySearchFolders();
    const fs::path prog = platform::ProgramFolder();
    ASSERT_GE(dirs.size(), 2u);
    EXPECT_EQ(dirs[0], prog.string());
    EXPECT_EQ(dirs[1], (prog / SONFARA_PRIVATE_LIB_FROM_BIN).lexically_normal().string());
    EXPECT_EQ(fs::path(dirs[1]).filename(), "sonfara");
}

TEST(LibraryPresence, MissingMessage) {
    EXPECT_STREQ(platform::kSfrLibMissingMessage,
                 "SfrLib.DLLが存在しません。Sonfaraをインストールしなおしてください");
}

TEST(InstLabel, NumbersAndNames) {
    platform::SfrLibBinding lib(SFRLIB_PATH);
    ASSERT_EQ(lib.InstInit(), 0);
    EXPECT_EQ(platform::InstLabelText(lib, 0, 0, 0), "001:GrandPno");
    EXPECT_EQ(platform::InstLabelText(lib, 8, 0, 0), "009:Celesta");
    EXPECT_EQ(platform::InstLabelText(lib, 9, 0, 0), "010:Glocken");
    EXPECT_EQ(platform::InstLabelText(lib, 98, 127, 0), "099:");
    EXPECT_EQ(platform::InstLabelText(lib, 99, 127, 0), "100:");
    EXPECT_EQ(platform::InstLabelText(lib, 127, 127, 1), "128:Jungle Tune");  // program, bank, map
    EXPECT_EQ(platform::InstLabelText(lib, 41, 127, 0), "042:");
    EXPECT_EQ(platform::InstLabelText(lib, 24, 0, 2), "025:Nylon-str. Gt.");
    EXPECT_EQ(lib.SFRGetVersion(), 200);
    EXPECT_EQ(lib.SFRGetCopyright().rfind("SfrLib", 0), 0u);
}

TEST(InstLabel, WithoutTheLibraryOnlyTheNumber) {
    platform::SfrLibBinding none("");
    EXPECT_EQ(none.InstInit(), platform::SfrLibBinding::kUnavailable);
    EXPECT_EQ(platform::InstLabelText(none, 0, 0, 0), "001:");
    platform::SfrLibBinding wrong("/nonexistent/libSfrLib.so");
    EXPECT_EQ(platform::InstLabelText(wrong, 127, 0, 0), "128:");
    EXPECT_EQ(wrong.SSTPIsEnabled(), platform::SfrLibBinding::kUnavailable);
    EXPECT_EQ(wrong.SFRGetCopyright(), "");
}

TEST(InstLabel, ALibraryWithoutTheExportIsUnavailable) {
    // Any shared object that lacks the names: the test program's own libc.
    platform::SfrLibBinding other("libc.so.6");
    EXPECT_EQ(other.GetInstName(0, 0, 0, nullptr), platform::SfrLibBinding::kUnavailable);
    EXPECT_EQ(platform::InstLabelText(other, 4, 0, 0), "005:");
}

class Notice : public ::testing::Test {
  protected:
    const platform::CodePage cp_{"CP932"};
    platform::SfrLibBinding lib_{SFRLIB_PATH};
    static std::string Send(const std::string& script) {
        return "SEND SSTP/1.0\r\nSender: Sonfara\r\nScript: " + script + "\\e\r\nOption: \r\n\r\n";
    }
};

TEST_F(Notice, SentOnlyWhenTheSettingIsOnAndAReceiverListens) {
    FakeSstpListener rx;
    PortOverride port(rx.Port());
    platform::SendNotice(lib_, false, "off");
    EXPECT_EQ(rx.WaitFor(1, 200).size(), 0u);
    platform::SendNotice(lib_, true, "on");
    auto got = rx.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "");  // the availability probe
    EXPECT_EQ(got[1], Send("on"));
}

TEST_F(Notice, NoReceiverNoRequest) {
    PortOverride port(UnusedPort());
    const int before = test::OpenFdCount();
    platform::SendNotice(lib_, true, "nobody");
    EXPECT_EQ(test::OpenFdCount(), before);
}

TEST_F(Notice, Texts) {
    const std::string start = platform::StartupNoticeText(cp_);
    EXPECT_EQ(
        cp_.ToUtf8(start),
        "Sonfaraが起動したみたいだよ。\\nなんかこのプログラムって\\n%meっぽいよね。\\u・・・・・");
    EXPECT_EQ(start.find('\n'), std::string::npos);    // tags, not control characters
    EXPECT_EQ(start.substr(0, 9), "Sonfara\x82\xaa");  // CP932 bytes

    const std::string lyric = cp_.FromUtf8("♪さくらさくら");
    EXPECT_EQ(platform::LyricNoticeText(lyric, cp_), lyric);
    EXPECT_EQ(platform::LyricNoticeText(cp_.FromUtf8("さくら♪"), cp_), "");
    EXPECT_EQ(platform::LyricNoticeText("", cp_), "");
}

TEST_F(Notice, EveryLoadedSongIsAnnounced) {
    FakeSstpListener rx;
    PortOverride port(rx.Port());
    // Format 0, one track: a track name (the title) and the end of track.
    const std::string title = cp_.FromUtf8("春の海");
    std::vector<uint8_t> trk = {0x00, 0xFF, 0x03, static_cast<uint8_t>(title.size())};
    trk.insert(trk.end(), title.begin(), title.end());
    for (uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) trk.push_back(b);
    std::vector<uint8_t> smf = {
        'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
        1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, static_cast<uint8_t>(trk.size())};
    smf.insert(smf.end(), trk.begin(), trk.end());

    song::SstpLoadNotice notice(lib_, true);
    song::LoadOptions opt;
    opt.codePage = &cp_;
    opt.observers.push_back(&notice);
    song::SongTable song;
    ASSERT_TRUE(song::LoadSMFBytes(smf, song, opt).ok());
    auto got = rx.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1], Send(cp_.FromUtf8("あっ、\\n") + title +
                           cp_.FromUtf8("\\nって曲が再生されるみたい。\\uそうか。")));

    notice.SetSstp(false);
    ASSERT_TRUE(song::LoadSMFBytes(smf, song, opt).ok());
    EXPECT_EQ(rx.WaitFor(3, 200).size(), 2u);
}

class Shortcuts : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sonfara_shortcut_" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    fs::path dir_;
    platform::SfrLibBinding lib_{SFRLIB_PATH};
};

TEST_F(Shortcuts, TrailingSeparatorMakesNoDifference) {
    const std::string target = "/opt/Sonfara/sfrcom";
    ASSERT_EQ(platform::CreateShortcut(lib_, dir_.string(), "SfrCom", target, "/s"), 0);
    const fs::path link = dir_ / "SfrCom.desktop";
    ASSERT_TRUE(fs::exists(link));
    std::stringstream first;
    first << std::ifstream(link).rdbuf();
    fs::remove(link);
    ASSERT_EQ(platform::CreateShortcut(lib_, dir_.string() + "/", "SfrCom", target, "/s"), 0);
    std::stringstream second;
    second << std::ifstream(link).rdbuf();
    EXPECT_EQ(first.str(), second.str());
    // The target's own icon; no description or working folder.
    EXPECT_NE(first.str().find("\nIcon=/opt/Sonfara/sfrcom\n"), std::string::npos);
    EXPECT_NE(first.str().find("\nExec=\"/opt/Sonfara/sfrcom\" /s\n"), std::string::npos);
    EXPECT_EQ(first.str().find("Comment="), std::string::npos);
    EXPECT_EQ(first.str().find("Path="), std::string::npos);
}

TEST_F(Shortcuts, WithoutTheLibraryNothingIsWritten) {
    platform::SfrLibBinding none("");
    EXPECT_LT(platform::CreateShortcut(none, dir_.string(), "X", "/bin/true", ""), 0);
    EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace sonfara
