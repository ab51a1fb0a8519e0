#include "player/platform/file_types.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "player/platform/priority.h"
#include "player/platform/user_files.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;

class XdgFolders : public ::testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        root_ = fs::temp_directory_path() / ("sonfara-xdg-" + std::to_string(rd()));
        fs::create_directories(root_);
        data_ = (root_ / "data").string();
        config_ = (root_ / "config").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    std::string Read(const std::string& path) {
        std::string b;
        platform::ReadWholeFile(path, b);
        return b;
    }
    fs::path root_;
    std::string data_, config_;
};

TEST_F(XdgFolders, RegistrationWritesDesktopEntryAndMimeTypes) {
    platform::FreedesktopShell shell(data_, config_, false);
    ASSERT_TRUE(shell.RegisterFileType("/opt/son fara/bin/sonfara"));
    const std::string entry = Read(shell.DesktopEntryPath());
    EXPECT_EQ(shell.DesktopEntryPath(), data_ + "/applications/Sonfara.File.desktop");
    EXPECT_NE(entry.find("Exec=\"/opt/son fara/bin/sonfara\" %f\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("Name=演奏開始(&P)\n"), std::string::npos);
    EXPECT_NE(entry.find("GenericName=MIDI File\n"), std::string::npos);
    EXPECT_NE(entry.find("MimeType=audio/midi;audio/x-sonfara-rmi;"), std::string::npos);
    // The same list as the installed desktop entry, old MIDI name and archives included.
    EXPECT_NE(entry.find("MimeType=" + platform::PlayerMimeTypes() + "\n"), std::string::npos);
    EXPECT_NE(platform::PlayerMimeTypes().find(";audio/x-midi;application/x-lha;application/zip;"),
              std::string::npos);

    const std::string xml = Read(shell.MimePackagePath());
    EXPECT_EQ(xml, platform::MimePackageXml());
    EXPECT_EQ(shell.MimePackagePath(), data_ + "/mime/packages/Sonfara.xml");
    for (const char* ext : {".rcp", ".r18", ".r36", ".g18", ".g36", ".mlt", ".lmd", ".zmd"})
        EXPECT_NE(xml.find(std::string("<glob pattern=\"*") + ext + "\"/>"), std::string::npos)
            << ext;
    EXPECT_EQ(xml.find("*.mid\""), std::string::npos);  // the shared database has it
    // Registering again at the next start is harmless.
    EXPECT_TRUE(shell.RegisterFileType("/opt/son fara/bin/sonfara"));
}

TEST_F(XdgFolders, ExecQuotingFollowsDesktopEntryRules) {
    EXPECT_EQ(platform::DesktopExecQuote("/a/b"), "\"/a/b\"");
    EXPECT_EQ(platform::DesktopExecQuote("/a$b\"c"), "\"/a\\\\$b\\\\\"c\"");
    EXPECT_EQ(platform::DesktopExecQuote("/100%"), "\"/100%%\"");
}

TEST_F(XdgFolders, TakeOverAndRestoreRemembersPreviousApplication) {
    platform::FreedesktopShell shell(data_, config_, false);
    fs::create_directories(config_);
    std::ofstream(config_ + "/mimeapps.list")
        << "[Added Associations]\naudio/midi=other.desktop;\n\n"
           "[Default "
           "Applications]\naudio/midi=someplayer.desktop;other.desktop;\ntext/plain=ed.desktop;\n";

    std::array<std::string, platform::kAssociableCount> exe;
    exe.fill("None");
    std::array<bool, platform::kAssociableCount> sel{};
    sel[0] = true;  // .mid
    sel[2] = true;  // .rcp, never associated before
    platform::ApplyAssociations(shell, sel, exe);
    EXPECT_EQ(exe[0], "someplayer.desktop;other.desktop;");
    EXPECT_EQ(exe[2], "");
    EXPECT_EQ(shell.ReadAssociation(0), "Sonfara.File.desktop;");
    EXPECT_EQ(shell.ReadAssociation(2), "Sonfara.File.desktop;");
    auto now = platform::PlayerAssociations(shell);
    EXPECT_TRUE(now[0]);
    EXPECT_FALSE(now[1]);
    EXPECT_TRUE(now[2]);

    // Applying the same selection again changes nothing.
    platform::ApplyAssociations(shell, sel, exe);
    EXPECT_EQ(exe[0], "someplayer.desktop;other.desktop;");

    sel.fill(false);
    platform::ApplyAssociations(shell, sel, exe);
    EXPECT_EQ(shell.ReadAssociation(0), "someplayer.desktop;other.desktop;");
    EXPECT_EQ(shell.ReadAssociation(2), "");
    const std::string list = Read(shell.MimeAppsPath());
    EXPECT_NE(list.find("[Added Associations]\naudio/midi=other.desktop;\n"), std::string::npos);
    EXPECT_NE(list.find("text/plain=ed.desktop;\n"), std::string::npos);
    EXPECT_EQ(list.find("Sonfara"), std::string::npos) << list;
    EXPECT_EQ(list.find("None"), std::string::npos);
}

TEST_F(XdgFolders, RestoringNeverRememberedWritesNone) {
    platform::FreedesktopShell shell(data_, config_, false);
    // The player owns .mid, but nothing was remembered.
    ASSERT_TRUE(shell.WriteAssociation(0, platform::kPlayerFileType));
    std::array<std::string, platform::kAssociableCount> exe;
    exe.fill("None");
    platform::ApplyAssociations(shell, {}, exe);
    EXPECT_EQ(shell.ReadAssociation(0), "");
    const std::string list = Read(shell.MimeAppsPath());
    EXPECT_NE(list.find("[Default Applications]"), std::string::npos);
    EXPECT_EQ(list.find("audio/midi"), std::string::npos);
}

TEST_F(XdgFolders, MissingFilesReadAsNoAssociation) {
    platform::FreedesktopShell shell(data_, config_, false);
    for (int i = 0; i < platform::kAssociableCount; ++i) EXPECT_EQ(shell.ReadAssociation(i), "");
    EXPECT_EQ(shell.ReadAssociation(10), "");
    EXPECT_FALSE(shell.WriteAssociation(-1, "x"));
    EXPECT_TRUE(shell.WriteAssociation(3, "None"));  // nothing to remove
    EXPECT_FALSE(fs::exists(shell.MimeAppsPath()));
}

TEST_F(XdgFolders, DefaultFoldersComeFromEnvironment) {
    setenv("XDG_DATA_HOME", data_.c_str(), 1);
    setenv("XDG_CONFIG_HOME", config_.c_str(), 1);
    platform::FreedesktopShell shell;
    EXPECT_EQ(shell.MimeAppsPath(), config_ + "/mimeapps.list");
    EXPECT_EQ(shell.DesktopEntryPath(), data_ + "/applications/Sonfara.File.desktop");
    // With the real tool when it is installed, without it otherwise.
    EXPECT_TRUE(shell.RegisterFileType("/usr/bin/sonfara"));
    unsetenv("XDG_DATA_HOME");
    unsetenv("XDG_CONFIG_HOME");
}

TEST(ProcessPriorityLinux, NiceValues) {
    EXPECT_EQ(platform::NiceValueFor(platform::PriorityClass::kRealtime), -20);
    EXPECT_EQ(platform::NiceValueFor(platform::PriorityClass::kHigh), -10);
    EXPECT_EQ(platform::NiceValueFor(platform::PriorityClass::kNormal), 0);
    platform::PriorityClass c;
    EXPECT_FALSE(platform::PriorityForThreadMode(5, c));
    ASSERT_TRUE(platform::PriorityForThreadMode(3, c));
    EXPECT_EQ(c, platform::PriorityClass::kNormal);
}

}  // namespace
}  // namespace sonfara
