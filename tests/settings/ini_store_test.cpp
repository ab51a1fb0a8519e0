#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <random>

#include "player/platform/user_files.h"
#include "player/session/messages.h"
#include "player/settings/settings_model.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;

class TempFolder {
  public:
    TempFolder() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("sonfara-settings-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    std::vector<std::string> Names() const {
        std::vector<std::string> n;
        for (const auto& e : fs::directory_iterator(path_))
            n.push_back(e.path().filename().string());
        std::sort(n.begin(), n.end());
        return n;
    }

  private:
    fs::path path_;
};

void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
    std::string b;
    platform::ReadWholeFile(path, b);
    return b;
}

TEST(IniDocument, ParsesSectionsCommentsQuotesAndCrLf) {
    settings::IniDocument d;
    ASSERT_TRUE(settings::IniDocument::Parse(
                    "\xEF\xBB\xBF; comment\r\n[Other]\r\nx=1\r\n\r\n[Sonfara]\r\nRecent 1 = "
                    "C:\\a b\\c.mid \r\n"
                    "DefDir=\"  padded \\\"q\\\" \\n\"\r\nMTimer=5",
                    d)
                    .ok());
    EXPECT_EQ(d.Get("sonfara", "recent 1"), "C:\\a b\\c.mid");
    EXPECT_EQ(d.Get("Sonfara", "DefDir"), "  padded \"q\" \n");
    EXPECT_EQ(d.Get("Sonfara", "MTimer"), "5");
    EXPECT_EQ(d.Get("Other", "x"), "1");
    EXPECT_FALSE(d.Get("Sonfara", "x").has_value());
}

TEST(IniDocument, SerializeRoundTripsAwkwardValues) {
    settings::IniDocument d;
    const std::string values[] = {"",
                                  " lead",
                                  "trail ",
                                  "\"quoted\"",
                                  "a\r\nb",
                                  std::string("n\0ul", 4),
                                  "\x01\x7f\xff",
                                  "C:\\path\\",
                                  "x=y;z"};
    int i = 0;
    for (const auto& v : values) d.Set("Sonfara", "k" + std::to_string(i++), v);
    settings::IniDocument back;
    const settings::SettingsStatus parsed = settings::IniDocument::Parse(d.Serialize(), back);
    ASSERT_TRUE(parsed.ok()) << parsed.Message() << "\n" << d.Serialize();
    i = 0;
    for (const auto& v : values) EXPECT_EQ(back.Get("Sonfara", "k" + std::to_string(i++)), v);
}

TEST(IniDocument, KeyStartingWithByteOrderMarkSurvives) {
    // Found by fuzzing: a second mark after the first one is part of a key.
    settings::IniDocument d;
    ASSERT_TRUE(
        settings::IniDocument::Parse("\xEF\xBB\xBF\xEF\xBB\xBF[Son=1\n[Sonfara]\nx=2\n", d).ok());
    settings::IniDocument back;
    ASSERT_TRUE(settings::IniDocument::Parse(d.Serialize(), back).ok());
    EXPECT_EQ(back.Serialize(), d.Serialize());
    EXPECT_EQ(back.Get("", "\xEF\xBB\xBF[Son"), "1");
}

TEST(IniDocument, RejectsDamageAndKeepsEveryGoodLine) {
    settings::IniDocument d;
    EXPECT_FALSE(settings::IniDocument::Parse("[Sonfara\n", d).ok());
    EXPECT_FALSE(settings::IniDocument::Parse(std::string("[Sonfara]\nA=\0x\n", 14), d).ok());
    EXPECT_FALSE(settings::IniDocument::Parse("[Sonfara]\nA=\"open\n", d).ok());
    EXPECT_FALSE(settings::IniDocument::Parse("[Sonfara]\n=5\n", d).ok());

    const settings::SettingsStatus damaged =
        settings::IniDocument::Parse(std::string("[Sonfara]\nRecent 1=a.mid\ngarbage line\n"
                                                 "MIDIOutPort=Synth\nB=\0\nArrMode=2\n"
                                                 "[Other\nlost=1\n[Other]\nz=1\n",
                                                 96),
                                     d);
    EXPECT_EQ(damaged.detail(), "line 3: line without '=' (and 2 more bad lines)");
    EXPECT_EQ(d.Get("Sonfara", "Recent 1"), "a.mid");
    EXPECT_EQ(d.Get("Sonfara", "MIDIOutPort"), "Synth");
    EXPECT_EQ(d.Get("Sonfara", "ArrMode"), "2");
    EXPECT_EQ(d.Get("Sonfara", "lost"), std::nullopt);  // under a broken header: no known section
    EXPECT_EQ(d.Get("Other", "lost"), std::nullopt);
    EXPECT_EQ(d.Get("Other", "z"), "1");
}

TEST(IniStore, SaveThenLoadThroughTheFile) {
    TempFolder tmp;
    const std::string path = tmp.File("Tenmoor/Sonfara.ini");
    WriteBytes(tmp.File("keep"), "");
    {
        settings::SettingsOpenReport rep;
        auto store = settings::IniSettingsStore::Open(path, true, &rep);
        EXPECT_EQ(rep.status, settings::SettingsOpenReport::Status::kNew);
        settings::SettingsValues v;
        v.mainTimerMs = 3;
        v.recentFiles[0] = "\x83\x5c\x83\x93\x83\x4f.mid";  // CP932 bytes, 0x5C trail byte
        ASSERT_TRUE(settings::SaveSettings(v, settings::SettingsMenus{}, *store).ok());
    }
    const std::string text = ReadBytes(path);
    EXPECT_EQ(text.rfind("[Sonfara]\nCTL_TOP=0\nCTL_LEFT=0\n", 0), 0u) << text;
    EXPECT_NE(text.find("OSRetrun=10\n"), std::string::npos);
    EXPECT_NE(text.find("Executable1=None\n"), std::string::npos);

    settings::SettingsOpenReport rep;
    auto store = settings::IniSettingsStore::Open(path, true, &rep);
    EXPECT_EQ(rep.status, settings::SettingsOpenReport::Status::kLoaded);
    settings::SettingsLoadResult r =
        settings::LoadSettings(*store, settings::SettingsMenus{}, nullptr);
    EXPECT_EQ(r.values.mainTimerMs, 3);
    EXPECT_EQ(r.values.recentFiles[0], "\x83\x5c\x83\x93\x83\x4f.mid");
}

TEST(IniStore, KeepsOtherSectionsAndUnknownKeys) {
    TempFolder tmp;
    const std::string path = tmp.File("Sonfara.ini");
    WriteBytes(path, "[Sonfara]\nFutureKey=abc\nMTimer=9\n[Elsewhere]\nz=1\n");
    auto store = settings::IniSettingsStore::Open(path, true);
    settings::SettingsValues v;
    ASSERT_TRUE(settings::SaveSettings(v, settings::SettingsMenus{}, *store).ok());
    settings::IniDocument d;
    ASSERT_TRUE(settings::IniDocument::Parse(ReadBytes(path), d).ok());
    EXPECT_EQ(d.Get("Sonfara", "FutureKey"), "abc");
    EXPECT_EQ(d.Get("Sonfara", "MTimer"), "5");
    EXPECT_EQ(d.Get("Elsewhere", "z"), "1");
    EXPECT_EQ(tmp.Names(), std::vector<std::string>{"Sonfara.ini"});  // no temporary left
}

TEST(IniStore, DamagedFilesStartWithDefaultsAndAreSetAside) {
    std::mt19937 rng(7);
    std::string noise(4096, '\0');
    for (char& c : noise) c = static_cast<char>(rng());
    std::string good;
    {
        settings::MemorySettingsStore m;
        settings::SettingsValues v;
        v.mainTimerMs = 8;
        ASSERT_TRUE(settings::SaveSettings(v, settings::SettingsMenus{}, m).ok());
        settings::IniDocument d;
        for (const auto& [k, val] : m.writes) d.Set("Sonfara", k, val);
        good = d.Serialize();
    }
    const std::string cut = good.substr(0, good.size() / 2 + 3);
    for (const std::string& bytes : {noise, cut}) {
        TempFolder tmp;
        const std::string path = tmp.File("Sonfara.ini");
        WriteBytes(path, bytes);
        // Starting never fails; a cut that falls on a line end reads what is there.
        settings::StartupSettings start =
            settings::OpenAndLoadSettings(path, settings::SettingsMenus{}, nullptr);
        ASSERT_TRUE(start.store);
        const settings::SettingsOpenReport& rep = start.report;
        settings::SettingsStore* store = start.store.get();
        settings::SettingsLoadResult r = start.loaded;
        if (rep.status == settings::SettingsOpenReport::Status::kSetAside) {
            EXPECT_EQ(r.values.mainTimerMs,
                      bytes == noise ? 5 : 8);  // a cut keeps the lines before it
            EXPECT_FALSE(fs::exists(path));
            EXPECT_EQ(ReadBytes(rep.aside_path), bytes);
            EXPECT_NE(rep.aside_path.find("Sonfara.ini.bad-"), std::string::npos);
            ASSERT_TRUE(settings::SaveSettings(r.values, settings::SettingsMenus{}, *store).ok());
            EXPECT_EQ(ReadBytes(rep.aside_path), bytes);
            EXPECT_TRUE(fs::exists(path));
        } else {
            EXPECT_EQ(rep.status, settings::SettingsOpenReport::Status::kLoaded);
            EXPECT_EQ(r.values.mainTimerMs, 8);
        }
    }
}

TEST(IniStore, OneBadLineKeepsTheOthersAndIsNamed) {
    TempFolder tmp;
    const std::string path = tmp.File("Sonfara.ini");
    const std::string bytes = "[Sonfara]\nMTimer=8\nRecent 1=/m/a.mid\n\x01junk\nGTimer=70\nGTim";
    WriteBytes(path, bytes);
    settings::StartupSettings s =
        settings::OpenAndLoadSettings(path, settings::SettingsMenus{}, nullptr);
    EXPECT_EQ(s.report.status, settings::SettingsOpenReport::Status::kSetAside);
    EXPECT_NE(s.report.message.find("line 4: "), std::string::npos) << s.report.message;
    EXPECT_NE(s.report.message.find("1 more bad lines"), std::string::npos) << s.report.message;
    EXPECT_EQ(s.loaded.values.mainTimerMs, 8);
    EXPECT_EQ(s.loaded.values.graphicsTimerMs, 70);
    EXPECT_EQ(s.loaded.values.recentFiles[0], "/m/a.mid");
    EXPECT_EQ(ReadBytes(s.report.aside_path), bytes);
    // The next save writes the kept values, without the bad lines.
    ASSERT_TRUE(settings::SaveSettings(s.loaded.values, settings::SettingsMenus{}, *s.store).ok());
    settings::IniDocument d;
    ASSERT_TRUE(settings::IniDocument::Parse(ReadBytes(path), d).ok());
    EXPECT_EQ(d.Get("Sonfara", "Recent 1"), "/m/a.mid");
    EXPECT_EQ(d.Get("Sonfara", "GTimer"), "70");
}

TEST(IniStore, OversizedFileIsSetAsideUnread) {
    TempFolder tmp;
    const std::string path = tmp.File("Sonfara.ini");
    std::string big = "[Sonfara]\n";
    for (int i = 0; big.size() <= settings::kMaxSettingsFileBytes; ++i)
        big += "K" + std::to_string(i) + "=1\n";
    WriteBytes(path, big);
    settings::StartupSettings s =
        settings::OpenAndLoadSettings(path, settings::SettingsMenus{}, nullptr);
    EXPECT_EQ(s.report.status, settings::SettingsOpenReport::Status::kSetAside);
    EXPECT_EQ(s.loaded.values.mainTimerMs, 5);
}

TEST(IniStore, DamagedFileNotSetAsideIsNeverOverwritten) {
    TempFolder tmp;
    const std::string path = tmp.File("Sonfara.ini");
    WriteBytes(path, "\x01\x02garbage");
    settings::SettingsOpenReport rep;
    auto store = settings::IniSettingsStore::Open(path, false, &rep);
    EXPECT_EQ(rep.status, settings::SettingsOpenReport::Status::kDamagedKept);
    store->Set("MTimer", "5");
    EXPECT_FALSE(store->Commit().ok());
    EXPECT_EQ(ReadBytes(path), "\x01\x02garbage");
}

TEST(IniStore, FailedWriteLeavesNoTemporary) {
    TempFolder tmp;
    const std::string path = tmp.File("Sonfara.ini");
    fs::create_directories(path);  // something that cannot be replaced by a file
    auto store = settings::IniSettingsStore::Open(path, false);
    store->Set("MTimer", "5");
    // The unreadable "file" was kept, so nothing is written over it.
    const settings::SettingsStatus committed = store->Commit();
    EXPECT_FALSE(committed.ok());
    EXPECT_FALSE(committed.Message().empty());
    EXPECT_FALSE(platform::WriteFileReplacing(path, "x").ok());
    EXPECT_EQ(tmp.Names(), std::vector<std::string>{"Sonfara.ini"});
    EXPECT_TRUE(fs::is_directory(path));
}

// A full disk: in a child process whose files may not grow past 1 KiB
// (a read-only folder would not stop root). True when the commit failed.
bool CommitFailsOnFullDisk(settings::SettingsStore& store) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{1024, 1024};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        ::_exit(store.Commit().ok() ? 0 : 1);
    }
    int status = 0;
    return pid > 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
           WEXITSTATUS(status) == 1;
}

TEST(IniStore, FailedSaveKeepsThePreviousFile) {
    TempFolder tmp;
    const std::string path = tmp.File("Sonfara.ini");
    const std::string before = "[Sonfara]\nMTimer=7\n";
    WriteBytes(path, before);
    auto store = settings::IniSettingsStore::Open(path, true);
    store->Set("DefDir", std::string(4096, 'd'));
    EXPECT_TRUE(CommitFailsOnFullDisk(*store));
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(tmp.Names(), std::vector<std::string>{"Sonfara.ini"});
}

// A settings file kept elsewhere behind a link: read, set aside and
// written at its target, the link left as it is; a temporary a crash left
// beside the target goes at the next start.
TEST(IniStore, LinkStaysALinkAndCrashTemporariesGo) {
    TempFolder tmp;
    const std::string link = tmp.File("Sonfara.ini");
    fs::create_directories(tmp.File("dotfiles"));
    const std::string target = tmp.File("dotfiles/Sonfara.ini");
    fs::create_symlink("dotfiles/Sonfara.ini", link);
    WriteBytes(target, "[Sonfara]\nMTimer=8\n\x01junk\n");
    WriteBytes(tmp.File("dotfiles/.Sonfara.ini.Ab12Cd"), "[Sonfara]\nMTi");
    WriteBytes(tmp.File("dotfiles/.Sonfara.ini.keep"), "not ours");

    settings::StartupSettings s =
        settings::OpenAndLoadSettings(link, settings::SettingsMenus{}, nullptr);
    EXPECT_FALSE(fs::exists(tmp.File("dotfiles/.Sonfara.ini.Ab12Cd")));
    EXPECT_TRUE(fs::exists(tmp.File("dotfiles/.Sonfara.ini.keep")));
    ASSERT_EQ(s.report.status, settings::SettingsOpenReport::Status::kSetAside);
    EXPECT_EQ(fs::path(s.report.aside_path).parent_path(), fs::path(tmp.File("dotfiles")));
    const std::string notice = session::msg::SettingsOpenNotice(s.report, link);
    EXPECT_NE(notice.find(link), std::string::npos) << notice;
    EXPECT_NE(notice.find(s.report.aside_path), std::string::npos) << notice;
    EXPECT_EQ(s.loaded.values.mainTimerMs, 8);

    ASSERT_TRUE(settings::SaveSettings(s.loaded.values, settings::SettingsMenus{}, *s.store).ok());
    EXPECT_TRUE(fs::is_symlink(link));
    settings::IniDocument d;
    ASSERT_TRUE(settings::IniDocument::Parse(ReadBytes(target), d).ok());
    EXPECT_EQ(d.Get("Sonfara", "MTimer"), "8");
}

// A FIFO of the settings file's name is neither waited on, moved nor
// written over; a real file with a long recent list and other programs'
// sections is far below the size limit.
TEST(IniStore, FifoIsLeftAloneAndLargeRealFilesLoad) {
    TempFolder tmp;
    const std::string fifo = tmp.File("Sonfara.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    settings::SettingsOpenReport rep;
    auto store = settings::IniSettingsStore::Open(fifo, true, &rep);
    EXPECT_EQ(rep.status, settings::SettingsOpenReport::Status::kDamagedKept);
    EXPECT_FALSE(session::msg::SettingsOpenNotice(rep, fifo).empty());
    store->Set("MTimer", "5");
    EXPECT_FALSE(store->Commit().ok());
    EXPECT_TRUE(fs::is_fifo(fifo));

    const std::string path = tmp.File("big.ini");
    std::string big = "[Sonfara]\n";
    for (int i = 1; i <= 10; ++i)
        big += "Recent " + std::to_string(i) + "=/" + std::string(4000, 'r') + "\n";
    big += "[Elsewhere]\n";
    for (int i = 0; i < 500; ++i)
        big += "k" + std::to_string(i) + "=" + std::string(4000, 'v') + "\n";
    WriteBytes(path, big);
    settings::StartupSettings s =
        settings::OpenAndLoadSettings(path, settings::SettingsMenus{}, nullptr);
    EXPECT_EQ(s.report.status, settings::SettingsOpenReport::Status::kLoaded);
    EXPECT_EQ(s.loaded.values.recentFiles[9].size(), 4001u);
}

TEST(IniStore, DefaultPathFollowsXdgConfigHome) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", "/tmp/cfg-x", 1);
    EXPECT_EQ(settings::IniSettingsStore::DefaultPath(), "/tmp/cfg-x/Tenmoor/Sonfara.ini");
    setenv("XDG_CONFIG_HOME", "relative", 1);  // ignored: not absolute
    EXPECT_NE(settings::IniSettingsStore::DefaultPath().find("/.config/Tenmoor/Sonfara.ini"),
              std::string::npos);
    if (old)
        setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
}  // namespace sonfara
