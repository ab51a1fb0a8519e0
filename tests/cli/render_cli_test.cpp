// sonfara-cli render into audio files: a folder of songs with a broken one
// among them, and the format from --format or the output's extension.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "tests/cli/run_command.h"
#include "tests/support_code/smf_bytes.h"

namespace sonfara::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

class RenderCliTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (access(kSoundFont, R_OK) != 0) GTEST_SKIP() << "no SoundFont";
        std::string t = (fs::temp_directory_path() / "sonfara-render-XXXXXX").string();
        dir_ = ::mkdtemp(t.data());
    }
    void TearDown() override {
        std::error_code ec;
        if (!dir_.empty()) fs::remove_all(dir_, ec);
    }
    void WriteSong(const std::string& name, const std::string& bytes) const {
        fs::create_directories(fs::path(dir_ + "/" + name).parent_path());
        std::ofstream(dir_ + "/" + name, std::ios::binary) << bytes;
    }
    static std::string Song() {
        const Bytes b =
            Smf(0, 480, {Track().Msg(0, {0x90, 60, 100}).Msg(240, {0x80, 60, 0}).End()});
        return std::string(b.begin(), b.end());
    }
    // stderr joins stdout: the messages are what the tests read.
    CommandRun Render(const std::string& args) const {
        return RunCommand(std::string(SONFARA_CLI) + " render " + args +
                          " --no-settings --rate 22050" + " --soundfont " + kSoundFont + " 2>&1");
    }
    std::string Magic(const std::string& name) const {
        char b[4] = {};
        std::ifstream(dir_ + "/" + name, std::ios::binary).read(b, 4);
        return std::string(b, 4);
    }

    std::string dir_;
};

TEST_F(RenderCliTest, FolderRendersEverySongAndReportsTheBrokenOne) {
    WriteSong("in/a.mid", Song());
    WriteSong("in/a.rmi", Song());  // the same stem: its output keeps ".rmi"
    WriteSong("in/b.mid", Song());
    WriteSong("in/broken.mid", "MThd and nothing more");
    const CommandRun r = Render(dir_ + "/in -o " + dir_ + "/out --jobs 2");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("broken.mid"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("rendered 3 of 4 songs into " + dir_ + "/out"), std::string::npos)
        << r.out;
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_ + "/out")) names.insert(e.path().filename());
    EXPECT_EQ(names, (std::set<std::string>{"a.wav", "a.rmi.wav", "b.wav"}));
    EXPECT_EQ(Magic("out/a.rmi.wav"), "RIFF");
}

TEST_F(RenderCliTest, FormatFromTheOptionElseTheExtensionElseWav) {
    WriteSong("s.mid", Song());
    const std::string song = dir_ + "/s.mid -o " + dir_ + "/";
    EXPECT_EQ(Render(song + "x.flac").status, 0);
    EXPECT_EQ(Magic("x.flac"), "fLaC");
    EXPECT_EQ(Render(song + "x.oga").status, 0);
    EXPECT_EQ(Magic("x.oga"), "OggS");
    EXPECT_EQ(Render(song + "x.ogg --format wav").status, 0);
    EXPECT_EQ(Magic("x.ogg"), "RIFF");
    EXPECT_EQ(Render(song + "x").status, 0);
    EXPECT_EQ(Magic("x"), "RIFF");

    const CommandRun bad = Render(song + "y.mp3 --format mp3");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("--format takes wav, flac or ogg"), std::string::npos) << bad.out;
    EXPECT_FALSE(fs::exists(dir_ + "/y.mp3"));
}

}  // namespace
}  // namespace sonfara::test
