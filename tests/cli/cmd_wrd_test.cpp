#include <gtest/gtest.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <vector>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/platform/text_decoding.h"
#include "player/wrd/messages.h"
#include "player/wrd/runtime.h"
#include "tests/sequencer/smf_builder.h"

namespace sonfara::cli {
namespace {

namespace fs = std::filesystem;

class CliWrd : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sonfara_cli_wrd_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        song = (dir / "song.mid").string();
        // Two tracks, about four seconds; built here so that no file from
        // outside the repository is needed.
        test::TrackBuilder a, b;
        a.Ev(0, {0x90, 60, 100}).Ev(7680, {0x80, 60, 0});
        b.Ev(960, {0x91, 64, 100}).Ev(1920, {0x81, 64, 0});
        const auto smf = test::BuildSmf(1, {a, b}, 960);
        std::ofstream(song, std::ios::binary)
            .write(reinterpret_cast<const char*>(smf.data()),
                   static_cast<std::streamsize>(smf.size()));
        std::ofstream(dir / "song.wrd") << "@WAIT(2);\r\n@COLOR(33);\r\nAB\x1b[2;3f\r\n";
    }
    void TearDown() override { fs::remove_all(dir); }
    fs::path dir;
    std::string song;
};

TEST_F(CliWrd, PrintsEventsAsTextAndJson) {
    testing::internal::CaptureStdout();
    ASSERT_EQ(RunWrd({song, "--events"}), 0);
    const std::string text = (std::cout.flush(), testing::internal::GetCapturedStdout());
    EXPECT_NE(text.find("1\t4\t"), std::string::npos);
    EXPECT_NE(text.find("\t33\n"), std::string::npos);
    EXPECT_NE(text.find("4\t14\t"), std::string::npos);

    testing::internal::CaptureStdout();
    ASSERT_EQ(RunWrd({song, "--json"}), 0);
    const std::string json = (std::cout.flush(), testing::internal::GetCapturedStdout());
    EXPECT_EQ(json.rfind("[{\"n\":1,\"opcode\":4,\"tick\":", 0), 0u) << json;
    EXPECT_NE(json.find("\"arg\":\"2;3\"}]"), std::string::npos) << json;
}

TEST_F(CliWrd, WritesTheFrameAsPng) {
    const std::string out = (dir / "frame.png").string();
    ASSERT_EQ(RunWrd({song, "--at", "100000", "-o", out}), 0);
    std::ifstream in(out, std::ios::binary);
    char sig[8] = {};
    in.read(sig, 8);
    EXPECT_EQ(std::string(sig, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    char ihdr[16] = {};
    in.read(ihdr, 16);
    EXPECT_EQ(static_cast<unsigned char>(ihdr[10]), 640 >> 8);
    EXPECT_EQ(static_cast<unsigned char>(ihdr[14]), 480 >> 8);
}

// The pixel (x, y) of a PNG the command wrote (one IDAT, 8-bit RGB, no filter).
uint32_t PngPixel(const std::string& path, int x, int y) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> f((std::istreambuf_iterator<char>(in)), {});
    const std::string bytes(f.begin(), f.end());
    const size_t at = bytes.find("IDAT");
    if (at == std::string::npos || at < 4) return ~0u;
    const uLong n =
        uLong{f[at - 4]} << 24 | uLong{f[at - 3]} << 16 | uLong{f[at - 2]} << 8 | f[at - 1];
    std::vector<unsigned char> raw(480 * (1 + 3 * 640));
    uLongf rawSize = raw.size();
    if (uncompress(raw.data(), &rawSize, &f[at + 4], n) != Z_OK) return ~0u;
    const unsigned char* p = &raw[static_cast<size_t>(y) * (1 + 3 * 640) + 1 + 3 * x];
    return uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
}

TEST_F(CliWrd, FrameIsPerformedInSongTime) {
    // One tick per millisecond; a red box due at 500 ms, the song ends at 4000.
    test::TrackBuilder t;
    t.Ev(0, {0x90, 60, 100}).Ev(3900, {0x80, 60, 0});
    const auto smf = test::BuildSmf(0, {t}, 500);
    std::ofstream(song, std::ios::binary)
        .write(reinterpret_cast<const char*>(smf.data()), static_cast<std::streamsize>(smf.size()));
    std::ofstream(dir / "song.wrd") << "@WAIT(1,48);\r\n@GLINE(10,10,50,50,2,2,2);\r\n";
    const std::string out = (dir / "frame.png").string();
    ASSERT_EQ(RunWrd({song, "--at", "450", "-o", out}), 0);
    EXPECT_EQ(PngPixel(out, 30, 70), 0u);
    ASSERT_EQ(RunWrd({song, "--at", "500", "-o", out}), 0);
    EXPECT_EQ(PngPixel(out, 30, 70), 0xFF0000u);
    // Beyond the end: the frame at the song's end.
    ASSERT_EQ(RunWrd({song, "--at", "99999999", "-o", out}), 0);
    EXPECT_EQ(PngPixel(out, 30, 70), 0xFF0000u);
}

TEST_F(CliWrd, ReportsMissingScriptsAndBadUsage) {
    // A script beyond the bounds: the reason, and no listing.
    std::ofstream(dir / "song.wrd") << std::string(5000, 'A') << "\r\n";
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    EXPECT_EQ(RunWrd({song, "--events"}), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_NE(testing::internal::GetCapturedStderr().find(wrd::msg::kLineTooLong),
              std::string::npos);
    fs::remove(dir / "song.wrd");
    EXPECT_EQ(RunWrd({song}), 1);
    EXPECT_EQ(RunWrd({}), 2);
    EXPECT_EQ(RunWrd({song, "--at", "-5", "-o", "x.png"}), 2);
    EXPECT_EQ(RunWrd({song, "--at", "10"}), 2);
}

// --codepage is the program's code page, also where a layer has no code
// page handed to it: a WRD script's EUC-JP picture name finds 絵.mag.
TEST(CliCodePage, ReachesWrdPictureNames) {
    const fs::path dir =
        fs::temp_directory_path() / ("sonfara_cli_cp_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "絵.mag") << "x";
    CliCodePage(ParseArgs({"--codepage", "EUC-JP"}, {"codepage"}, {}));
    EXPECT_EQ(platform::SystemCodePage().Name(), "EUC-JP");
    EXPECT_EQ(platform::ChosenTextEncoding(), "EUC-JP") << "and the encoding texts are read in";
    EXPECT_EQ(wrd::ResolvePicturePath(dir.string(), "\xB3\xA8.mag"), (dir / "絵.mag").string());
    platform::SetSystemCodePage(platform::CodePage::kDefaultName);
    platform::SetCommandLineTextEncoding("");
    fs::remove_all(dir);
}

}  // namespace
}  // namespace sonfara::cli
