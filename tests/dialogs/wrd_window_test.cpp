#include "player/dialogs/wrd_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>

namespace sonfara::wrd {
namespace {

class ManualClock final : public WrdClock {
  public:
    int32_t SongPositionMs() const override { return ms; }
    int32_t ms = 0;
};

// One tick per millisecond.
class Timing final : public WrdTiming {
  public:
    int32_t Division() const override { return 480; }
    int32_t TickToMs(int32_t tick) const override { return tick; }
    int32_t EndTick() const override { return 100000; }
};

// The slot the GUI's timer table lends the window, ticked by hand.
class ManualSlot final : public WrdTimerSlot {
  public:
    void Start() override { active = true; }
    void Stop() override { active = false; }
    bool Active() const override { return active; }
    void SetIntervalMs(int ms) override { intervalMs = ms; }
    bool active = false;
    int intervalMs = 0;
};

class WrdWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        window.UseTimerSlot(&slot);
        window.SetFrameSource(&source);
        ASSERT_TRUE(
            rt.LoadScriptText("@WMODE(23);\n@COLOR(33);\nSonfara\n@WAIT(2);\n"
                              "@GLINE(0,0,639,399,2);\n@COLOR(36);\nWRD\n",
                              Timing(), ""));
        window.StartTimer();  // as the loader does after a script loads
    }
    // Every frame pixel is an s x s block of the window's pixels.
    void ExpectFrameAtScale(int s) {
        window.resize(640 * s, 480 * s);
        window.show();
        QApplication::processEvents();
        ASSERT_EQ(window.Scale(), s);
        const QImage shown = window.grab().toImage().convertToFormat(QImage::Format_RGB32);
        const Surface& frame = rt.ComposeFrame();
        int wrong = 0;
        for (int y = 0; y < 480 * s; ++y)
            for (int x = 0; x < 640 * s; ++x)
                wrong += (shown.pixel(x, y) & 0xFFFFFF) != frame.Pixel(x / s, y / s);
        EXPECT_EQ(wrong, 0) << "scale " << s;
    }

    ManualClock clock;
    ManualSlot slot;
    WrdWindowWidget window;
    WrdRuntime rt{clock, window};
    RuntimeFrameSource source{rt};
};

TEST_F(WrdWindowTest, ShowsTheEngineFrameAtWholeScales) {
    EXPECT_EQ(window.windowTitle(), "Sonfara - WRD Window");
    clock.ms = 5000;
    window.OnTimer();
    ExpectFrameAtScale(1);
    ExpectFrameAtScale(2);
    window.resize(1000, 1000);  // between scales: the largest whole one fits
    EXPECT_EQ(window.Scale(), 1);
    EXPECT_EQ(window.FrameRect(), QRectF(180, 260, 640, 480));
}

// A window smaller than the frame shows all of it, scaled down with its
// aspect kept, on black.
TEST(WrdWindowScale, SmallerWindowShowsTheWholeFrameScaledDown) {
    WrdWindowWidget window;
    Surface frame(kFrameWidth, kFrameHeight);
    frame.Fill(0x00996633);
    window.Present(frame);
    window.resize(320, 240);
    EXPECT_EQ(window.FrameRect(), QRectF(0, 0, 320, 240));
    window.resize(400, 480);
    EXPECT_EQ(window.FrameRect(), QRectF(0, 90, 400, 300));
    window.show();
    QApplication::processEvents();
    const QImage shown = window.grab().toImage();
    const uint32_t colour = frame.Pixel(0, 0);
    for (QPoint black : {QPoint(0, 89), QPoint(399, 390)})
        EXPECT_EQ(shown.pixel(black) & 0xFFFFFF, 0u);
    for (QPoint inside : {QPoint(0, 90), QPoint(399, 389)})
        EXPECT_EQ(shown.pixel(inside) & 0xFFFFFF, colour);
}

TEST_F(WrdWindowTest, ClosingHidesWhileThePresentationRunsOn) {
    window.SetInterval(30);
    EXPECT_EQ(window.Interval(), 30);
    EXPECT_EQ(slot.intervalMs, 30);
    window.show();
    clock.ms = 100;
    window.OnTimer();
    const QImage before = window.FrameImage();
    EXPECT_FALSE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_TRUE(window.TimerActive());
    clock.ms = 5000;
    window.OnTimer();
    EXPECT_NE(window.FrameImage(), before);
    EXPECT_EQ(window.FrameImage().pixel(0, 40) & 0xFFFFFF, rt.ComposeFrame().Pixel(0, 40));

    // The presentation stops its timer through the slot (the exit handshake
    // is the timer table's).
    window.StopTimer();
    EXPECT_FALSE(window.TimerActive());
    window.SetShuttingDown(true);
    window.show();
    QCloseEvent close;
    QApplication::sendEvent(&window, &close);
    EXPECT_TRUE(close.isAccepted());
}

}  // namespace
}  // namespace sonfara::wrd
