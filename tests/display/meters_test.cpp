// The timer-driven rules, ticked by hand: levels and their decay, the bar
// display and its dot pictures, stereo sums, note count, lamps, load.
#include <gtest/gtest.h>

#include <climits>

#include "player/display/artwork.h"
#include "player/display/display_controller.h"
#include "player/display/display_painter.h"
#include "player/ui/palette.h"
#include "tests/display/display_rig.h"

namespace sonfara::display {
namespace {

namespace P = ui::palette;

using test::DisplayRig;

// The tile at logical rectangle r of the bar display is the lit tile,
// device pixel for device pixel.
bool TileLit(const QImage& bar, QRect r) {
    const int s = static_cast<int>(bar.devicePixelRatio());
    const QImage tiles = TileStripArtwork(s);
    return bar.copy(QRect(r.topLeft() * s, r.size() * s)) ==
           tiles.copy(QRect(kLitTile.topLeft() * s, kLitTile.size() * s));
}

bool StepLit(const LevelMeters& m, int b, int t) {
    return TileLit(m.BarDisplay(), BarStepRect(b, t));
}

DisplayOptions Options(qreal dpr = 1.0) {
    DisplayOptions o;
    o.dpr = dpr;
    o.cpuPercent = [] { return 0; };
    return o;
}

TEST(LevelMeters, LevelRisesTwoStepsPerTickFallsAtOnceAndDecaysWithoutNotes) {
    DisplayRig rig;
    DisplayController d(rig.src, Options());
    rig.Cc(1, test::kCcVolume, 100);
    rig.Note(1, 60, 100);
    rig.Note(1, 64, 100);
    rig.Note(1, 60, 0);  // level 100 div 8 = 12, one note still sounding
    EXPECT_EQ(rig.out.Channel(1).Level, 12);
    d.OnMeterInterval();
    EXPECT_EQ(rig.out.Channel(1).Level, 12);  // no decay while a note sounds
    for (int tick = 1; tick <= 6; ++tick) {
        d.OnDrawInterval();
        EXPECT_EQ(d.Levels().ShownLevel(1), 2 * tick);
    }
    EXPECT_EQ(d.Levels().MeterWidth(1), 12 * 7);
    // The column shows steps 0-11 lit; the step at the level is repainted
    // unlit while it stays.
    d.OnDrawInterval();
    EXPECT_TRUE(StepLit(d.Levels(), 1, 0));
    EXPECT_TRUE(StepLit(d.Levels(), 1, 11));
    EXPECT_FALSE(StepLit(d.Levels(), 1, 12));

    rig.Note(1, 64, 0);  // the last note-off: 12 again, then one step per 100 ms
    for (int step = 1; step <= 3; ++step) {
        d.OnMeterInterval();
        EXPECT_EQ(rig.out.Channel(1).Level, 12 - step);
    }
    d.OnDrawInterval();  // a fall shows at once
    EXPECT_EQ(d.Levels().ShownLevel(1), 9);
    EXPECT_FALSE(StepLit(d.Levels(), 1, 10));
    EXPECT_TRUE(StepLit(d.Levels(), 1, 8));
}

TEST(LevelMeters, StereoSumsFollowPan) {
    DisplayRig rig;
    LevelMeters m;
    rig.out.Channel(1).Level = 1;  // a rise of one shows at once
    m.DrawLevelMeters(rig.src);
    EXPECT_DOUBLE_EQ(m.ShownLeftLevel(), 5);  // half each side, times 10
    EXPECT_DOUBLE_EQ(m.ShownRightLevel(), 5);
    rig.out.Channel(2).Level = 1;
    rig.Cc(2, test::kCcPan, 0);  // one and a half left, minus a half right
    m.DrawLevelMeters(rig.src);
    EXPECT_DOUBLE_EQ(m.ShownLeftLevel(), 20);
    EXPECT_DOUBLE_EQ(m.ShownRightLevel(), 0);
    rig.Cc(1, test::kCcPan, 0);
    m.DrawLevelMeters(rig.src);
    EXPECT_DOUBLE_EQ(m.ShownRightLevel(), 0);  // -10 clamped
    EXPECT_DOUBLE_EQ(m.ShownLeftLevel(), 30);
    EXPECT_EQ(m.LeftWidth(), 2);
}

// The stereo bars share the control window's 188 × 70 slot with the
// columns and dot pictures without covering them; a panned-left mix fills
// the left bar and leaves the right one dark, at both ratios.
TEST(BarPanel, StereoBarsStandInsideTheSlotBesideTheColumns) {
    for (int side = 0; side < 2; ++side) {
        EXPECT_TRUE(QRect(QPoint(0, 0), kBarPanelSize)
                        .contains(StereoColumnRect(side) | StereoCaptionRect(side)));
        EXPECT_FALSE(StereoColumnRect(side).intersects(BarStepRect(kChannels, 0) |
                                                       DotTileRect(1, kChannels)));
    }
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        DisplayRig rig;
        DisplayController d(rig.src, Options(dpr));
        for (int c = 1; c <= kChannels; ++c) {
            rig.Cc(c, test::kCcPan, 0);
            rig.out.Channel(c).Level = kMaxLevel;
        }
        for (int i = 0; i < 8; ++i) d.OnDrawInterval();
        QImage img(kBarPanelSize * dpr, QImage::Format_RGB32);
        img.setDevicePixelRatio(dpr);
        QPainter p(&img);
        PaintBarPanel(p, d, DisplayArt(dpr));
        p.end();
        auto at = [&](QPoint pt) { return img.pixelColor(pt * dpr).rgb(); };
        EXPECT_NE(at(StereoColumnRect(0).topLeft()), P::kTileUnlit.rgb()) << "full to the top";
        EXPECT_EQ(at(StereoColumnRect(1).bottomLeft() - QPoint(0, 2)), P::kTileUnlit.rgb());
        EXPECT_TRUE(StepLit(d.Levels(), kChannels, kMaxLevel)) << "the columns are still drawn";
    }
}

TEST(LevelMeters, DotPictureShowsAfter50msHoldsFor3000msAndRestarts) {
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        DisplayRig rig;
        DisplayController d(rig.src, Options(dpr));
        rig.out.Channel(3).Level = 1;
        d.OnDrawInterval();
        for (int r = 1; r <= 16; ++r)
            rig.out.DotRows[r - 1] = (r == 1 || r == 16) ? 0xFFFF : 0x8001;

        d.ScheduleDisplayBitmap();
        EXPECT_TRUE(d.DotPicture().Enabled());
        EXPECT_EQ(d.DotPicture().IntervalMs(), 50);
        d.OnGsDispTick();
        EXPECT_TRUE(d.Levels().BitmapShowing());
        EXPECT_EQ(d.DotPicture().IntervalMs(), 3000);
        const QImage& bar = d.Levels().BarDisplay();
        ASSERT_EQ(bar.size(), kBarDisplaySize * dpr);
        for (int j = 1; j <= 16; ++j) {
            EXPECT_TRUE(TileLit(bar, DotTileRect(1, j)));
            EXPECT_TRUE(TileLit(bar, DotTileRect(16, j)));
        }
        EXPECT_TRUE(TileLit(bar, DotTileRect(8, 1)));
        EXPECT_FALSE(TileLit(bar, DotTileRect(8, 2)));
        // Level columns wait while the picture shows.
        rig.out.Channel(3).Level = 4;
        d.OnDrawInterval();
        EXPECT_FALSE(TileLit(bar, DotTileRect(8, 3)));

        // A new picture starts over at 50 ms.
        d.ScheduleDisplayBitmap();
        EXPECT_EQ(d.DotPicture().IntervalMs(), 50);
        d.OnGsDispTick();
        d.OnGsDispTick();  // the 3000 ms tick: the level columns return
        EXPECT_FALSE(d.DotPicture().Enabled());
        EXPECT_FALSE(d.Levels().BitmapShowing());
        const int level = d.Levels().ShownLevel(3);
        EXPECT_EQ(level, 3);
        for (int t = 0; t <= level; ++t)
            EXPECT_TRUE(TileLit(d.Levels().BarDisplay(), BarStepRect(3, t)));
        EXPECT_FALSE(TileLit(d.Levels().BarDisplay(), BarStepRect(3, level + 1)));
        EXPECT_FALSE(TileLit(d.Levels().BarDisplay(), DotTileRect(1, 1)));

        // In low-load mode the tick only disables the timer.
        d.ScheduleDisplayBitmap();
        d.SetDisplayOn(false);
        d.OnGsDispTick();
        EXPECT_FALSE(d.DotPicture().Enabled());
        EXPECT_FALSE(d.Levels().BitmapShowing());
    }
}

TEST(Readouts, NoteCountLampsAndProcessorLoad) {
    DisplayRig rig;
    DisplayController d(rig.src, Options());
    for (int n = 0; n < 100; ++n) rig.Note(1 + n % 16, 20 + n / 16, 100);
    d.OnDrawInterval();
    EXPECT_EQ(d.NoteCount().Text().toStdString(), "100");
    EXPECT_EQ(d.NoteCount().BarWidth(), 64);
    rig.out.SoundingNotes = -2;  // shown as 0
    d.OnDrawInterval();
    EXPECT_EQ(d.NoteCount().Shown(), 0);

    // A lamp stays lit for one to two Flash ticks after the last note-on.
    d.OnFlash();
    EXPECT_TRUE(d.Lamps().Lit(1));
    rig.Note(1, 90, 100);
    d.OnFlash();
    EXPECT_TRUE(d.Lamps().Lit(1));
    EXPECT_FALSE(d.Lamps().Lit(2));
    d.OnFlash();
    EXPECT_FALSE(d.Lamps().Lit(1));

    ProcStatSampler s;
    EXPECT_EQ(s.Sample("cpu  100 0 100 800 0 0 0 0 0 0\n"), std::nullopt);
    EXPECT_EQ(s.Sample("cpu  150 0 120 830 0 0 0 0 0 0\ncpu0 1"), 70);  // 70 busy of 100
    CpuLoadMeter cpu;
    EXPECT_TRUE(cpu.Update(79));
    EXPECT_EQ(cpu.Text().toStdString(), "70%");
    EXPECT_FALSE(cpu.Update(71));
    cpu.Update(100);
    EXPECT_EQ(cpu.BarWidth(), 64);
}

// "100%" stands whole in its caption, right-aligned to x 410, clear of the
// engraved "CPU" left of it (readout ink: the bright cyan cores).
TEST(CpuLoadMeter, HundredPercentIsShownWhole) {
    DisplayRig rig;
    DisplayOptions o = Options();
    o.cpuPercent = [] { return 100; };
    DisplayController d(rig.src, o);
    d.OnCpuTick();
    for (qreal dpr : {1.0, 2.0}) {
        QImage panel = MakeImage(kKeyboardPanelSize, dpr, Qt::black);
        QPainter p(&panel);
        PaintKeyboardPanel(p, KeyboardArtwork(dpr), d, DisplayArt(dpr));
        p.end();
        const int r = static_cast<int>(dpr);
        int left = INT_MAX, right = INT_MIN;
        for (int y = 317 * r; y < 335 * r; ++y)
            for (int x = 340 * r; x < kCpuLoadBar.x() * r; ++x)
                if (panel.pixelColor(x, y).green() > 170) {
                    left = std::min(left, x / r);
                    right = std::max(right, x / r);
                }
        EXPECT_LE(left, 410 - 30) << "the leading 1 is missing at ratio " << dpr;
        EXPECT_GE(left, kCpuLoadText.left());
        EXPECT_LE(right, 410);
    }
}

}  // namespace
}  // namespace sonfara::display
