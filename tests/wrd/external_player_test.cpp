#include "player/wrd/external_player.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "player/song/song_table.h"

namespace sonfara::wrd {
namespace {

namespace fs = std::filesystem;

class NullClock : public WrdClock {
  public:
    int32_t SongPositionMs() const override { return 0; }
};

class Window : public WrdWindow {
  public:
    void Show() override { calls += "show "; }
    void Hide() override { calls += "hide "; }
    void StartTimer() override { calls += "start "; }
    void StopTimer() override { calls += "stop "; }
    std::string calls;
};

class ExternalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sonfara_dswrd_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        song.Division = 480;
        song.ResetTempoMap();
        songPath = (dir / "tune.mid").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    void Touch(const std::string& name, const std::string& text = "Hi\n") {
        std::ofstream(dir / name) << text;
    }
    // The log of the plug-in instance the loader bound (same library image).
    std::string Log() {
        void* lib =
            dlopen((fs::path(FAKE_WRD_PLUGIN_DIR) / "libdswrd.so").c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (!lib) return "<not loaded>";
        auto fn = reinterpret_cast<const char* (*)()>(dlsym(lib, "fakeWrdLog"));
        std::string s = fn();
        reinterpret_cast<void (*)()>(dlsym(lib, "fakeWrdClearLog"))();
        dlclose(lib);
        return s;
    }
    fs::path dir;
    song::SongTable song;
    std::string songPath;
    Window window;
    NullClock clock;
};

TEST_F(ExternalTest, AbsentPluginLeavesTheSongToTheBuiltInInterpreter) {
    SharedLibraryWrdPlugin loader({dir.string()});
    EXPECT_FALSE(loader.Available());
    ExternalWrdPlayer ext(loader, window, &window);
    ext.Attach();
    EXPECT_FALSE(ext.Attached());
    Touch("tune.sry");
    Touch("tune.wrd");
    WrdRuntime rt(clock, window);
    WrdPresenter p(rt, &ext);
    p.SongLoaded(songPath, song, WrdSettings{}, true);
    EXPECT_FALSE(p.ExternalActive());
    EXPECT_TRUE(rt.Active());
    EXPECT_EQ(ext.MajorVersion(), -1);
}

TEST_F(ExternalTest, CallsReachThePluginInTheirOrder) {
    SharedLibraryWrdPlugin loader({dir.string(), FAKE_WRD_PLUGIN_DIR});
    ASSERT_TRUE(loader.Available());
    ExternalWrdPlayer ext(loader, window, &window);
    ext.Attach();
    ASSERT_TRUE(ext.Attached());
    EXPECT_EQ(Log(), "attach;callback 42 0;");
    EXPECT_EQ(ext.MajorVersion(), 1);
    EXPECT_EQ(ext.MinorVersion(), 3);

    Touch("tune.sry");
    Touch("tune.wrd");
    WrdRuntime rt(clock, window);
    WrdPresenter p(rt, &ext);
    p.SongLoaded(songPath, song, WrdSettings{}, true);
    EXPECT_TRUE(p.ExternalActive());
    EXPECT_FALSE(rt.Active());
    EXPECT_EQ(window.calls, "show start ");
    EXPECT_EQ(Log(), "open tune.sry;");

    p.Timer(960, 480);
    EXPECT_EQ(Log(), "process 16 960 480;");
    EXPECT_EQ(ext.LastResult(), 5);
    EXPECT_EQ(ExternalWrdPlayer::CallbackValue(), 77);

    ext.RequestRestart();
    p.Timer(10, 480);
    EXPECT_EQ(Log(), "restart;process 16 10 480;");

    p.Seeked(5000, 480);  // rewind and catch up in one call
    EXPECT_EQ(Log(), "restart;process 16 5000 480;");
    p.Seeked(6000, 480, true);  // not while the port changes
    EXPECT_EQ(Log(), "");
    p.SongRepeats();
    p.Stopped();
    EXPECT_EQ(Log(), "restart;restart;");
    EXPECT_TRUE(ext.Repaint(nullptr));
    EXPECT_EQ(Log(), "repaint;");

    // Switched off: the plug-in stays attached but the built-in one presents.
    window.calls.clear();
    p.SongLoaded(songPath, song, WrdSettings{}, false);
    EXPECT_FALSE(p.ExternalActive());
    EXPECT_TRUE(rt.Active());
    EXPECT_EQ(Log(), "");

    ext.Detach();
    EXPECT_EQ(Log(), "reset;destroy;");
    EXPECT_FALSE(ext.Attached());
    ext.Detach();
    EXPECT_EQ(Log(), "");
}

TEST_F(ExternalTest, PluginAppearingLaterIsAttachedForTheSong) {
    SharedLibraryWrdPlugin loader({dir.string(), FAKE_WRD_PLUGIN_DIR});
    ExternalWrdPlayer ext(loader, window, &window);
    Touch("tune.sry");
    EXPECT_TRUE(ext.ChooseForSong(songPath, {false, true}));
    EXPECT_EQ(Log(), "attach;callback 42 0;open tune.sry;");
    EXPECT_EQ(window.calls, "start ");
    // No script beside the next song: inactive, nothing called.
    fs::remove(dir / "tune.sry");
    EXPECT_FALSE(ext.ChooseForSong(songPath, {true, true}));
    ext.Tick(1, 480);
    EXPECT_FALSE(ext.Repaint(nullptr));
    EXPECT_EQ(Log(), "");
}

}  // namespace
}  // namespace sonfara::wrd
