#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>

#include "player/cli/commands.h"

namespace sonfara::cli {
namespace {

namespace fs = std::filesystem;

class CliWrd : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("sonfara_cli_wrd_" + std::to_string(::getpid()));
        fs::create_directories(dir);
        song = (dir / "song.mid").string();
        fs::copy_file(fs::path(SONFARA_CORPUS_DIR) / "smf" / "test-2-tracks-type-1.mid", song,
                      fs::copy_options::overwrite_existing);
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

TEST_F(CliWrd, ReportsMissingScriptsAndBadUsage) {
    fs::remove(dir / "song.wrd");
    EXPECT_EQ(RunWrd({song}), 1);
    EXPECT_EQ(RunWrd({}), 2);
    EXPECT_EQ(RunWrd({song, "--at", "-5", "-o", "x.png"}), 2);
    EXPECT_EQ(RunWrd({song, "--at", "10"}), 2);
}

}  // namespace
}  // namespace sonfara::cli
