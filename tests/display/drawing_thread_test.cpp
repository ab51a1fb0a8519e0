// The drawing thread's loop and stop handshake, and the display drawing
// keyboards on it while another thread plays notes.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "player/display/display_controller.h"
#include "player/ui/palette.h"
#include "tests/display/display_rig.h"

namespace sonfara::display {
namespace {

namespace P = ui::palette;

constexpr int kHourMs = 3'600'000;

// Spins the caller's event loop until cond holds (the test's own timeout
// catches a hang; nothing here measures time).
template <typename F>
void ProcessUntil(F cond) {
    while (!cond()) {
        QCoreApplication::processEvents();
        std::this_thread::yield();
    }
}

TEST(DrawingThread, StopHandshakeNeverBlocksAndNeverWaitsOutTheInterval) {
    {
        // Never started: done at once, stopping does not block.
        DrawingThread never([] {});
        EXPECT_TRUE(never.Done());
        never.Stop();
        EXPECT_FALSE(never.Start());  // not restarted after a stop
    }
    // A pass in progress: the stop waits for it, then DrawThreadDone.
    std::mutex mu;
    std::condition_variable cv;
    bool inPass = false, release = false;
    DrawingThread t(
        [&] {
            std::unique_lock lock(mu);
            inPass = true;
            cv.notify_all();
            cv.wait(lock, [&] { return release; });
        },
        kHourMs);
    ASSERT_TRUE(t.Start());
    {
        std::unique_lock lock(mu);
        cv.wait(lock, [&] { return inPass; });
    }
    t.RequestStop();
    EXPECT_FALSE(t.Done());
    {
        std::lock_guard lock(mu);
        release = true;
    }
    cv.notify_all();
    // An hour-long interval does not delay the end: one pass, then done.
    t.Stop();
    EXPECT_TRUE(t.Done());
    EXPECT_EQ(t.Passes(), 1);
}

TEST(DrawingThread, NewIntervalTakesEffectWithoutRestart) {
    std::atomic<int> passes{0};
    DrawingThread t([&] { passes.fetch_add(1); }, kHourMs);
    ASSERT_TRUE(t.Start());
    while (passes.load() < 1) std::this_thread::yield();
    t.SetIntervalMs(1);  // ends the hour-long wait
    while (passes.load() < 5) std::this_thread::yield();
    t.Stop();
    EXPECT_TRUE(t.Done());
}

TEST(DisplayController, DrawsKeyboardsOnItsThreadWhileNotesArrive) {
    test::DisplayRig rig;
    DisplayOptions o;
    o.graphicsIntervalMs = 1;
    o.cpuPercent = [] { return 0; };
    DisplayController d(rig.src, o);
    int frames = 0;
    QObject::connect(&d, &DisplayController::keyboardFrameReady, [&] { ++frames; });
    d.StartDrawingThread();
    std::thread player([&] {
        for (int i = 0; i < 200; ++i) {
            rig.Note(1 + i % 16, 30 + i % 60, 100);
            rig.Note(1 + i % 16, 30 + i % 60, 0);
        }
        rig.Note(1, 60, 100);
    });
    player.join();
    QImage frame;
    const QRect c4(QPoint(339, 25), QPoint(341, 29));
    ProcessUntil([&] {
        if (d.TakeKeyboardFrame(&frame) && test::FirstOtherPixel(frame, c4, P::kPressedKey).empty())
            return true;
        return false;
    });
    ProcessUntil([&] { return frames > 0; });  // the queued signal follows
    // Minimised: the thread keeps waking and draws nothing.
    d.SetControlMinimised(true);
    const int passes = d.Thread().Passes();
    ProcessUntil([&] { return d.Thread().Passes() > passes + 2; });
    d.TakeKeyboardFrame(&frame);
    rig.Note(1, 60, 0);
    const int later = d.Thread().Passes();
    ProcessUntil([&] { return d.Thread().Passes() > later + 2; });
    EXPECT_FALSE(d.TakeKeyboardFrame(&frame));
    d.Shutdown();
    EXPECT_TRUE(d.DrawThreadDone());
}

}  // namespace
}  // namespace sonfara::display
