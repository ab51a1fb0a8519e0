#include "player/wrd/runtime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "player/song/song_table.h"
#include "tests/wrd/tools/mag_encoder.h"

namespace sonfara::wrd {
namespace {

namespace fs = std::filesystem;

class ManualClock : public WrdClock {
  public:
    int32_t SongPositionMs() const override { return ms; }
    bool Paused() const override { return paused; }
    int32_t ms = 0;
    bool paused = false;
};

class RecordingWindow : public WrdWindow {
  public:
    bool SetUp() override {
        calls += "setup ";
        return setUpOk;
    }
    void Show() override { calls += "show "; }
    void Hide() override { calls += "hide "; }
    void StartTimer() override { calls += "start "; }
    void StopTimer() override { calls += "stop "; }
    void Present(const Surface&) override { ++presented; }
    std::string calls;
    int presented = 0;
    bool setUpOk = true;
};

// 480 ticks per quarter, one tick per millisecond: times read as ticks.
class Timing : public WrdTiming {
  public:
    int32_t Division() const override { return 480; }
    int32_t TickToMs(int32_t tick) const override { return tick; }
    int32_t EndTick() const override { return 100000; }
};

constexpr uint32_t kWhite = 0xFFFFFF, kYellow = 0xFFFF00, kKey = 0xE0E0E0;

// True if any pixel of the 8 x 16 cell (1-based column and row) is `px`.
bool CellHas(const Surface& s, int col, int row, uint32_t px, int yoff = 0) {
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 8; ++x)
            if (s.Pixel(8 * (col - 1) + x, 16 * (row - 1) + y + yoff) == px) return true;
    return false;
}

class WrdRuntimeTest : public ::testing::Test {
  protected:
    void Load(std::string_view script, const std::string& folder = "") {
        rt.LoadScriptText(script, Timing(), folder);
    }
    void RunTo(int32_t ms) {
        clock.ms = ms;
        rt.RunDueWrdEvents();
    }
    ManualClock clock;
    RecordingWindow window;
    WrdRuntime rt{clock, window};
};

TEST_F(WrdRuntimeTest, TextIsDrawnInCellsAndComposedBetweenBands) {
    Load(
        "@WMODE(23);\nAB\x88\x9f"
        "C\n@LOCATE(3,2)\n\tZ");
    RunTo(0);
    EXPECT_EQ(window.presented, 1);
    const Surface& t = rt.TextLayer();
    EXPECT_TRUE(CellHas(t, 1, 1, kWhite));
    EXPECT_TRUE(CellHas(t, 2, 1, kWhite));
    EXPECT_TRUE(CellHas(t, 3, 1, kWhite));  // the double-byte character spans two cells
    EXPECT_TRUE(CellHas(t, 5, 1, kWhite));  // C after it, at column 5
    EXPECT_FALSE(CellHas(t, 6, 1, kWhite));
    EXPECT_EQ(rt.CursorColumn(), 6);
    RunTo(1000);
    EXPECT_EQ(rt.CursorRow(), 2);
    EXPECT_EQ(rt.CursorColumn(), 12);  // tab moved 8 columns, Z one more
    EXPECT_TRUE(CellHas(t, 11, 2, kWhite));
    EXPECT_FALSE(CellHas(t, 3, 2, kWhite));

    const Surface& f = rt.ComposeFrame();
    for (int x : {0, 320, 639}) {
        EXPECT_EQ(f.Pixel(x, 0), 0u);
        EXPECT_EQ(f.Pixel(x, 39), 0u);
        EXPECT_EQ(f.Pixel(x, 440), 0u);
        EXPECT_EQ(f.Pixel(x, 479), 0u);
    }
    EXPECT_TRUE(CellHas(f, 1, 1, kWhite, 40));
    EXPECT_FALSE(CellHas(f, 1, 1, kKey, 40));  // the key colour is transparent
}

TEST_F(WrdRuntimeTest, ColoursAndEscapeSequences) {
    Load("@COLOR(16);\nA;\n\x1b[33mB;\n@COLOR(31);\n\x1b[1;5fC");
    RunTo(0);
    EXPECT_TRUE(CellHas(rt.TextLayer(), 1, 1, kWhite));   // @COLOR(16): unchanged
    EXPECT_TRUE(CellHas(rt.TextLayer(), 2, 1, kYellow));  // ESC [33m
    EXPECT_TRUE(CellHas(rt.TextLayer(), 5, 1, 0xFF0000));
    EXPECT_EQ(rt.TextColor(), ColorRef(255, 0, 0));
}

TEST_F(WrdRuntimeTest, TextClearing) {
    Load("ABCDEFGH;\n@LOCATE(1,3);\nXY;\n@TCLS(2,1,3,1);");
    RunTo(0);
    const Surface& t = rt.TextLayer();
    EXPECT_TRUE(CellHas(t, 1, 1, kWhite));
    EXPECT_FALSE(CellHas(t, 2, 1, kWhite));
    EXPECT_FALSE(CellHas(t, 3, 1, kWhite));
    EXPECT_TRUE(CellHas(t, 4, 1, kWhite));
    rt.Perform({kOpTcls, 0, 0, "0,0,0,0"});
    EXPECT_FALSE(CellHas(t, 1, 1, kWhite));
    EXPECT_FALSE(CellHas(t, 1, 3, kWhite));
    // Wild arguments stay inside the layer.
    rt.Perform({kOpTcls, 0, 0, "-99999,2147483647,99999999999,-5"});
    rt.Perform({kOpLocate, 0, 0, "99999999;-3"});
    rt.Perform({kOpChar, 0, 0, "A"});
    rt.Perform({kOpLocate, 0, 0, "0"});
    EXPECT_EQ(rt.CursorColumn(), 1);
}

TEST_F(WrdRuntimeTest, GraphicsCommandsDrawOnTheActivePage) {
    Load(
        "@GLINE(10,10,20,10,2,0,0);\n@GLINE(30,30,40,40,4,2,1);\n@GCIRCLE(100,100,10,6,2,5);\n"
        "@GLINE(0,0,5,5,16,0,0);\n@GCIRCLE(0,0,5,99,0,0);");
    RunTo(0);
    const Surface& p = rt.Page(0);
    EXPECT_EQ(p.Pixel(15, 10), 0xFF0000u);    // colour 2: red
    EXPECT_EQ(p.Pixel(30, 35), 0x00FF00u);    // outline colour 4: green
    EXPECT_EQ(p.Pixel(35, 35), 0x0000FFu);    // fill colour 1: blue
    EXPECT_EQ(p.Pixel(110, 100), 0xFFFF00u);  // circle outline colour 6: yellow
    EXPECT_EQ(p.Pixel(100, 100), 0x00FFFFu);  // fill colour 5: cyan
    EXPECT_EQ(p.Pixel(2, 2), 0u);             // colour 16 does not exist: nothing drawn
    const Surface& f = rt.ComposeFrame();
    EXPECT_EQ(f.Pixel(15, 50), 0xFF0000u);

    // Pages, copies between them and what is shown.
    rt.Perform({kOpGscreen, 0, 0, "1,0"});
    rt.Perform({kOpGline, 0, 0, "0,0,3,0,7,0,0"});
    EXPECT_EQ(rt.Page(1).Pixel(1, 0), 0xFFFFFFu);
    EXPECT_EQ(rt.ComposeFrame().Pixel(1, 40), 0u);
    rt.Perform({kOpGscreen, 0, 0, "1,1"});
    EXPECT_EQ(rt.ComposeFrame().Pixel(1, 40), 0xFFFFFFu);
    rt.Perform({kOpGmove, 0, 0, "10,10,21,11,200,200,0,1"});
    EXPECT_EQ(rt.Page(1).Pixel(205, 200), 0xFF0000u);
    rt.Perform({kOpGmove, 0, 0, "0,0,640,400,-100000,5,0,7"});  // page 7: ignored
    rt.Perform({kOpGscreen, 0, 0, "5,-1"});
    EXPECT_EQ(rt.ActivePage(), 1);
    rt.Perform({kOpGon, 0, 0, "0"});
    EXPECT_EQ(rt.ComposeFrame().Pixel(1, 40), 0u);
    rt.Perform({kOpGinit, 0, 0, ""});
    EXPECT_TRUE(rt.GraphicsShown());
    EXPECT_EQ(rt.ShownPage(), 0);
    rt.Perform({kOpTon, 0, 0, "0"});
    EXPECT_FALSE(rt.TextShown());
}

TEST_F(WrdRuntimeTest, PaletteCommands) {
    Load("");
    rt.Perform({kOpPal, 0, 0, "#3,f00,0f,8,zz,  123 "});
    EXPECT_EQ(rt.Palette()[1][4], 0xFF0000u);
    EXPECT_EQ(rt.Palette()[2][4], 0x00FF00u);  // "0f" reads "0f0"
    EXPECT_EQ(rt.Palette()[3][4], 0x880000u);  // "8" reads "800"
    EXPECT_EQ(rt.Palette()[4][4], 0u);         // not hexadecimal: unchanged
    EXPECT_EQ(rt.Palette()[5][4], 0x112233u);
    const uint32_t before = rt.Palette()[2][1];
    rt.Perform({kOpFade, 0, 0, "0,0"});
    EXPECT_EQ(rt.Palette()[2][1], before);
    rt.Perform({kOpFade, 0, 0, "0,3"});
    EXPECT_EQ(rt.Palette()[1][1], 0xFF0000u);
    rt.Perform({kOpPal, 0, 0, "#17,fff"});  // palette 17 does not exist
    rt.Perform({kOpPal, 0, 0, "#-2,fff"});
    rt.Perform({kOpFade, 0, 0, "0,40"});
    EXPECT_EQ(rt.Palette()[1][1], 0xFF0000u);
    rt.Perform({kOpPal, 0, 0, "#0,fff"});  // #0: the current palette
    EXPECT_EQ(rt.Palette()[1][1], 0xFFFFFFu);
}

TEST_F(WrdRuntimeTest, SeekAndRepeatReplayFromTheFirstEvent) {
    // One character a measure (1920 ms here), in red from the second on.
    Load("A\n@COLOR(31)\nB\nC\nD");
    RunTo(0);
    EXPECT_EQ(rt.NextEvent(), 1u);
    RunTo(1919);
    EXPECT_EQ(rt.NextEvent(), 1u);
    RunTo(1920 * 3);
    EXPECT_EQ(rt.NextEvent(), 4u);
    EXPECT_TRUE(CellHas(rt.TextLayer(), 3, 1, 0xFF0000));
    clock.paused = true;
    RunTo(100000);
    EXPECT_EQ(rt.NextEvent(), 4u);  // paused: nothing runs

    // Seek back to the start while paused: cleared, replayed to the position.
    clock.ms = 0;
    const int before = window.presented;
    rt.RestartAfterSeek();
    EXPECT_EQ(rt.NextEvent(), 1u);
    EXPECT_EQ(window.presented, before + 1);
    EXPECT_TRUE(CellHas(rt.TextLayer(), 1, 1, kWhite));
    EXPECT_FALSE(CellHas(rt.TextLayer(), 2, 1, kWhite));
    EXPECT_EQ(rt.TextColor(), ColorRef(255, 255, 255));
    clock.paused = false;

    // Repeat: the screen is cleared and the script runs again from event 1.
    RunTo(100000);
    EXPECT_EQ(rt.NextEvent(), 5u);
    rt.ClearWrdScreen();
    EXPECT_EQ(rt.NextEvent(), 0u);
    EXPECT_FALSE(CellHas(rt.TextLayer(), 1, 1, kWhite));
    EXPECT_EQ(rt.TextColor(), ColorRef(255, 255, 255));
    clock.ms = 0;
    rt.RunDueWrdEvents();
    EXPECT_TRUE(CellHas(rt.TextLayer(), 1, 1, kWhite));
}

class WrdFilesTest : public WrdRuntimeTest {
  protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("sonfara_wrd_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir / "song");
        song.Division = 480;
        song.ResetTempoMap();
    }
    void TearDown() override { fs::remove_all(dir); }
    void Write(const fs::path& p, const std::vector<uint8_t>& bytes) {
        std::ofstream o(p, std::ios::binary);
        o.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
    }
    void Write(const fs::path& p, const std::string& s) {
        Write(p, std::vector<uint8_t>(s.begin(), s.end()));
    }
    static std::vector<uint8_t> Picture(int w, int h, uint8_t color, uint32_t rgb) {
        tools::MagImage img;
        img.width = w;
        img.height = h;
        img.pixels.assign(static_cast<size_t>(w) * h, color);
        img.palette[color] = rgb;
        return tools::EncodeMag(img);
    }
    fs::path dir;
    song::SongTable song;
};

TEST_F(WrdFilesTest, PicturesAreDecodedOnceAndClippedToThePage) {
    Write(dir / "song" / "pic.mag", Picture(64, 32, 3, ColorRef(0, 0, 255)));
    Write(dir / "song" / "big.mag", Picture(1000, 700, 5, ColorRef(0, 255, 0)));
    Write(dir / "outside.mag", Picture(8, 8, 1, ColorRef(255, 0, 0)));
    Write(dir / "song" / "broken.mag", std::string("MAKI02  not really"));
    Load(
        "@MAG(pic.mag,1);\n@MAG(PIC.MAG);\n@GSCREEN(1,1);\n@MAG(big.mag);\n@MAG(broken.mag);\n"
        "@MAG(../outside.mag);\n@MAG(" +
            (dir / "outside.mag").string() + ");\n@MAG(missing.mag);",
        (dir / "song").string());
    RunTo(0);
    EXPECT_EQ(rt.Page(0).Pixel(63, 31), 0x0000FFu);
    EXPECT_EQ(rt.Page(0).Pixel(64, 31), 0u);
    EXPECT_EQ(rt.Palette()[6][0], ColorRef(0, 255, 0));  // the last picture's colours
    EXPECT_EQ(rt.Page(1).Pixel(639, 479), 0x00FF00u);
    EXPECT_EQ(rt.Page(1).Pixel(0, 0), 0x00FF00u);  // nothing from outside the folder
    // pic.mag (twice, by two spellings), big, broken, missing: four decodes.
    EXPECT_EQ(rt.PicturesDecoded(), 4);
    Load("@MAG(pic.mag);\n@MAG(missing.mag);", (dir / "song").string());
    RunTo(0);
    EXPECT_EQ(rt.PicturesDecoded(), 4);  // the cache outlives the song
    EXPECT_EQ(ResolvePicturePath("/x", "..\\y.mag"), "");
    EXPECT_EQ(ResolvePicturePath("/x", "C:\\y.mag"), "");
    EXPECT_EQ(ResolvePicturePath("/x", "/etc/passwd"), "");
}

TEST_F(WrdFilesTest, LoadingDecidesTheWindow) {
    const std::string songPath = (dir / "song" / "tune.mid").string();
    WrdSettings settings;
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, settings), WrdLoad::kNoScript);
    EXPECT_EQ(window.calls, "hide stop ");
    EXPECT_FALSE(rt.Active());

    Write(dir / "song" / "TUNE.WRD", std::string("@WAIT(2);\r\nHi\r\n"));
    window.calls.clear();
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, settings), WrdLoad::kActive);
    EXPECT_EQ(window.calls, "show setup start ");
    ASSERT_EQ(rt.Events().size(), 2u);
    EXPECT_EQ(rt.Events()[0].tick, 1920);
    EXPECT_EQ(rt.Events()[0].ms, 2000);

    // Set up happens once; ShowWRD off leaves the window alone.
    window.calls.clear();
    settings.showWrd = false;
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, settings), WrdLoad::kActive);
    EXPECT_EQ(window.calls, "start ");

    // The built-in interpreter switched off, or the external player in charge.
    window.calls.clear();
    settings.builtInEnabled = false;
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, settings), WrdLoad::kNoScript);
    EXPECT_EQ(window.calls, "hide stop ");
    window.calls.clear();
    settings.builtInEnabled = true;
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, settings, true), WrdLoad::kNoScript);
    EXPECT_EQ(window.calls, "");

    // A script past the size bound: refused with its reason, the timer
    // stopped, nothing left of the previous script.
    Write(dir / "song" / "TUNE.WRD", std::string(kMaxWrdScriptBytes + 1, 'A'));
    window.calls.clear();
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, WrdSettings{}), WrdLoad::kRefused);
    EXPECT_EQ(rt.LastFault(), WrdScriptFault::kTooLarge);
    EXPECT_EQ(window.calls, "show stop ");
    EXPECT_FALSE(rt.Active());
    EXPECT_TRUE(rt.Events().empty());
    Write(dir / "song" / "TUNE.WRD", std::string(kMaxWrdLineBytes + 1, 'A'));
    EXPECT_EQ(rt.LoadWrdScript(songPath, song, settings), WrdLoad::kRefused);
    EXPECT_EQ(rt.LastFault(), WrdScriptFault::kLineTooLong);

    RecordingWindow failing;
    failing.setUpOk = false;
    WrdRuntime other(clock, failing);
    EXPECT_EQ(other.LoadWrdScript(songPath, song, settings), WrdLoad::kSetUpFailed);
    EXPECT_EQ(failing.calls, "setup hide stop ");
    EXPECT_FALSE(other.Active());
}

}  // namespace
}  // namespace sonfara::wrd
