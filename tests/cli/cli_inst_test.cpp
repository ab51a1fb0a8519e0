// sonfara-cli inst and the instrument column of dump, run as a user would.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/run_command.h"

namespace fs = std::filesystem;

namespace {

using CliRun = sonfara::test::CommandRun;

CliRun Cli(const std::string& args, const std::string& program = SONFARA_CLI) {
    return sonfara::test::RunCommand("'" + program + "' " + args + " 2>/dev/null");
}

// Appends one track chunk with the events and an end of track.
void AddTrack(std::vector<uint8_t>& smf, const std::vector<uint8_t>& events) {
    const uint8_t size = static_cast<uint8_t>(events.size() + 4);
    for (char b : {'M', 'T', 'r', 'k', '\0', '\0', '\0'}) smf.push_back(static_cast<uint8_t>(b));
    smf.push_back(size);
    for (uint8_t b : events) smf.push_back(b);
    for (uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) smf.push_back(b);
}

TEST(CliInst, OneLabel) {
    EXPECT_EQ(Cli("inst 0 0 0").out, "001:GrandPno\n");
    EXPECT_EQ(Cli("inst 127 1 127").out, "128:Jungle Tune\n");
    EXPECT_EQ(Cli("inst 127 0 41").out, "042:\n");
    EXPECT_EQ(Cli("inst 0 0 128").status, 2);
    EXPECT_EQ(Cli("inst 0 0").status, 2);
}

TEST(CliInst, WithoutTheLibraryTheNumberAlone) {
    // A copy of the program in a folder without the library.
    const fs::path dir = fs::temp_directory_path() / ("sonfara_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path copy = dir / "sonfara-cli";
    fs::copy_file(SONFARA_CLI, copy);
    const CliRun r = Cli("inst 0 0 0", copy.string());
    fs::remove_all(dir);
    if (fs::exists("/usr/local/lib/libSfrLib.so") || fs::exists("/usr/lib/libSfrLib.so"))
        GTEST_SKIP() << "an installed SfrLib is found in the system folders";
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "001:\n");
}

TEST(CliInst, DumpLabelsProgramChangesWithTheTracksBankSelects) {
    // Track 1: bank 127 map 1 on channel 1, then programs on channels 1 and 2.
    // Track 2: a program on channel 1 again, with no bank select of its own.
    std::vector<uint8_t> smf = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 2, 0x01, 0xE0};
    AddTrack(smf,
             {0x00, 0xB0, 0x00, 0x7F, 0x00, 0xB0, 0x20, 0x01, 0x00, 0xC0, 0x7F, 0x00, 0xC1, 0x00});
    AddTrack(smf, {0x00, 0xC0, 0x7F});
    const fs::path file =
        fs::temp_directory_path() / ("sonfara_inst_" + std::to_string(::getpid()) + ".mid");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(smf.data()), std::streamsize(smf.size()));
    const CliRun r = Cli("dump '" + file.string() + "'");
    fs::remove(file);
    ASSERT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" C0 127 0 1 inst=128:Jungle Tune\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" C1 0 0 1 inst=001:GrandPno\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 1 0 0 C0 127 0 1 inst=128:Gunshot\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(" B0 0 127 2 inst="), std::string::npos);
}

}  // namespace
