// CreateLink's launcher files, the version exports and the export list.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/SfrLib.h"

namespace fs = std::filesystem;

namespace {

class Shortcut : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("sfrlib_link_" + std::to_string(::getpid()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }
    static std::string Read(const fs::path& p) {
        std::ifstream f(p, std::ios::binary);
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
    }
    // The value of "Key=" in the launcher, or "<none>".
    static std::string Field(const std::string& text, const std::string& key) {
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
        return "<none>";
    }
    fs::path dir_;
};

TEST_F(Shortcut, LauncherFields) {
    const fs::path link = dir_ / "SfrCom.desktop";
    ASSERT_EQ(CreateLink("/opt/Sonfara/sfrcom", link.c_str(), "--open", "Sonfara launcher",
                         "/opt/Sonfara/", "/opt/Sonfara/sfrcom.png", 0),
              0);
    const std::string t = Read(link);
    EXPECT_EQ(t.rfind("[Desktop Entry]\n", 0), 0u);
    EXPECT_EQ(Field(t, "Type"), "Application");
    EXPECT_EQ(Field(t, "Name"), "SfrCom");
    EXPECT_EQ(Field(t, "Exec"), "\"/opt/Sonfara/sfrcom\" --open");
    EXPECT_EQ(Field(t, "Path"), "/opt/Sonfara/");
    EXPECT_EQ(Field(t, "Icon"), "/opt/Sonfara/sfrcom.png");
    EXPECT_EQ(Field(t, "Comment"), "Sonfara launcher");
    struct stat st {};
    ASSERT_EQ(::stat(link.c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    // Nothing but the launcher is left in the folder.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST_F(Shortcut, EmptyFieldsAreLeftOutAndTheTargetIsQuoted) {
    const fs::path link = dir_ / "a b.desktop";
    ASSERT_EQ(CreateLink("/My Apps/we\"ird $x\\y%z", link.c_str(), "-p 50%", "", "",
                         "/My Apps/icon.png", 0),
              0);
    const std::string t = Read(link);
    EXPECT_EQ(Field(t, "Name"), "a b");
    // Quoted-argument escapes, then the value escape doubles each backslash.
    EXPECT_EQ(Field(t, "Exec"), "\"/My Apps/we\\\\\"ird \\\\$x\\\\\\\\y%%z\" -p 50%%");
    EXPECT_EQ(Field(t, "Path"), "<none>");
    EXPECT_EQ(Field(t, "Comment"), "<none>");
    EXPECT_EQ(Field(t, "Icon"), "/My Apps/icon.png");
}

TEST_F(Shortcut, ReplacesAnOlderLauncher) {
    const fs::path link = dir_ / "x.desktop";
    ASSERT_EQ(CreateLink("/bin/old", link.c_str(), "", "", "", "", 0), 0);
    ASSERT_EQ(CreateLink("/bin/new", link.c_str(), "", "", "", "", 0), 0);
    EXPECT_EQ(Field(Read(link), "Exec"), "\"/bin/new\"");
}

TEST_F(Shortcut, FailedSaveIsReported) {
    const fs::path link = dir_ / "missing" / "x.desktop";
    EXPECT_EQ(CreateLink("/bin/true", link.c_str(), "", "", "", "", 0), -ENOENT);
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
    EXPECT_LT(CreateLink("/bin/true", nullptr, "", "", "", "", 0), 0);
    EXPECT_LT(CreateLink(nullptr, (dir_ / "y.desktop").c_str(), "", "", "", "", 0), 0);
    EXPECT_LT(CreateLink("/bin/true", "", "", "", "", "", 0), 0);
    // A folder in the way of the file: the temporary file is cleaned up.
    fs::create_directories(dir_ / "taken.desktop");
    EXPECT_LT(CreateLink("/bin/true", (dir_ / "taken.desktop").c_str(), "", "", "", "", 0), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

TEST(Version, NumberAndNotice) {
    EXPECT_EQ(SFRGetVersion(), 200);
    char buf[SFRLIB_COPYRIGHT_MAX + 16];
    std::memset(buf, 0x7F, sizeof buf);
    EXPECT_EQ(SFRGetCopyright(buf), 0);
    const size_t len = std::strlen(buf);
    EXPECT_GT(len, 0u);
    EXPECT_LE(len, 57u);
    EXPECT_EQ(static_cast<unsigned char>(buf[len + 1]), 0x7F) << "wrote past the NUL";
    EXPECT_STREQ(buf, "SfrLib 2.00 Copyright (C) Tenmoor. All rights reserved.");
    EXPECT_EQ(SFRGetCopyright(nullptr), 0);
}

TEST(Exports, DynamicSymbolsAreExactlyTheTwelveNames) {
    const std::string cmd = std::string("nm -D --defined-only '") + SFRLIB_PATH + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::set<std::string> names;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        std::istringstream in(line);
        std::string addr, type, name;
        in >> addr >> type >> name;
        if (name.empty()) continue;  // version nodes have no address column
        names.insert(name);
    }
    ASSERT_EQ(::pclose(p), 0);
    const std::set<std::string> want = {"InstInit",         "GetInstName",      "GetMIDIModule",
                                        "SSTPIsEnabled",    "SSTPSendString",   "SSTPSendMessage",
                                        "SSTPGiveDocument", "SSTPGiveSongname", "SSTPCommunicate",
                                        "CreateLink",       "SFRGetVersion",    "SFRGetCopyright"};
    EXPECT_EQ(names, want);
}

}  // namespace
