// sonfara-cli list: entries of plain songs, list files and archives.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/cli/run_command.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;

using ListRun = test::CommandRun;

ListRun ListCli(const std::string& args, bool withMessages = false) {
    const std::string cmd =
        std::string(SONFARA_CLI) + " list " + args + (withMessages ? " 2>&1" : " 2>/dev/null");
    return test::RunCommand(cmd);
}

TEST(CliList, EntriesAsTextAndJson) {
    const fs::path dir =
        fs::temp_directory_path() / ("sonfara-cli-list-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "b.mid") << "x";
    std::ofstream(dir / "a.MID") << "x";
    std::ofstream(dir / "l.mlt") << "[MIDIList]\r\nAPP HERE\r\nb.mid\r\n";
    const std::string d = dir.string();

    ListRun r = ListCli("'" + d + "/b.mid' '" + d + "/a.MID' --sort");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a.MID\t" + d + "\t\t\nb.mid\t" + d + "\t\t\n");

    r = ListCli("--json '" + d + "/l.mlt'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "[{\"FileName\":\"b.mid\",\"Folder\":\"" + d +
                         "\",\"ArchiveName\":\"\",\"ListFile\":\"" + d + "/l.mlt\"}]\n");

    // A folder gives its songs by extension (mid before rmi), other files not.
    const fs::path sub = dir / "folder";
    fs::create_directories(sub);
    std::ofstream(sub / "z.rmi") << "x";
    std::ofstream(sub / "y.mid") << "x";
    std::ofstream(sub / "notes.txt") << "x";
    r = ListCli("'" + sub.string() + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "y.mid\t" + sub.string() + "\t\t\nz.rmi\t" + sub.string() + "\t\t\n");

    // What opening makes: 500 entries at most, and the play list's message.
    const fs::path many = dir / "many";
    fs::create_directories(many);
    for (int i = 0; i < 501; ++i) std::ofstream(many / (std::to_string(1000 + i) + ".mid")) << "x";
    r = ListCli("'" + many.string() + "'", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Sonfara: 再生リストに登録できるのは500曲までです", 0), 0u)
        << r.out.substr(0, 200);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 501);
    EXPECT_NE(r.out.find("1499.mid"), std::string::npos);
    EXPECT_EQ(r.out.find("1500.mid"), std::string::npos);

    r = ListCli("'" + d + "/missing.mid'");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ListCli("").status, 2);
    fs::remove_all(dir);
}

// A song with a track-name title and one note.
std::string TitledSong(const std::string& title) {
    std::string trk = std::string("\x00\xFF\x03", 3) + static_cast<char>(title.size()) + title;
    trk += std::string("\x00\x90\x3C\x40\x60\x80\x3C\x00\x00\xFF\x2F\x00", 12);
    std::string f("MThd\0\0\0\x06\0\0\0\x01\x01\xE0MTrk\0\0\0", 21);
    return f + static_cast<char>(trk.size()) + trk;
}

// Each title in the encoding it was written in; --codepage fixes one.
TEST(CliList, TitlesInTheirOwnEncoding) {
    const fs::path dir =
        fs::temp_directory_path() / ("sonfara-cli-titles-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    std::ofstream(dir / "1.mid", std::ios::binary) << TitledSong("\x83\x73\x83\x41\x83\x6D");
    std::ofstream(dir / "2.mid", std::ios::binary) << TitledSong("you\x92re");
    std::ofstream(dir / "3.mid", std::ios::binary) << TitledSong("\xBE\xC6\xB8\xAE\xB6\xFB");
    std::ofstream(dir / "4.mid", std::ios::binary) << TitledSong("caf\xC3\xA9");
    const std::string d = dir.string();
    ListRun r = ListCli("--titles '" + d + "'");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\tピアノ\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tyou’re\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\t아리랑\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\tcafé\n"), std::string::npos) << r.out;

    r = ListCli("--titles --codepage CP1252 '" + d + "/1.mid'");
    EXPECT_EQ(r.out.find("ピアノ"), std::string::npos) << r.out;
    fs::remove_all(dir);
}

}  // namespace
}  // namespace sonfara
