// The channel display as a whole: the drawing thread with the keyboard
// surface, and the UI thread's handlers for the knobs, meters, lamps and dot
// pictures. The program's timer table ticks those handlers (one owner of
// every display timer); the dot picture tells it the pace it wants.
// Lives on the UI thread; the Notify* calls may come from any thread (the
// sequencer's timer thread among them).
#pragma once

#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

#include "player/display/drawing_thread.h"
#include "player/display/keyboard_surface.h"
#include "player/display/knob_panel.h"
#include "player/display/meters.h"

namespace sonfara::display {

struct DisplayOptions {
    qreal dpr = 1.0;
    int graphicsIntervalMs = 50;  // GTimer
    InstLabelFn instLabel = NumberOnlyInstLabel;
    // The processor load in percent; read every 500 ms on the UI thread.
    std::function<int()> cpuPercent;
};

class DisplayController : public QObject {
    Q_OBJECT
  public:
    DisplayController(DisplaySource& src, DisplayOptions options, QObject* parent = nullptr);
    ~DisplayController() override;  // stops GSDisp and the drawing thread

    // Stops GSDisp and asks the drawing thread to end, waiting for its
    // pass to finish; returns at once when the thread never started. The
    // pace is let go: nothing restarts GSDisp after this.
    void Shutdown();
    // UI thread. Whoever ticks OnGsDispTick: `pace(ms)` (re)starts that
    // timer at `ms`, `pace(0)` stops it. Without one, tests tick by hand.
    void SetDotPicturePace(std::function<void(int ms)> pace) { dotPicturePace_ = std::move(pace); }
    bool DrawThreadDone() const { return thread_.Done(); }
    void StartDrawingThread() { thread_.Start(); }
    // DrawThreadStop without waiting; DrawThreadDone tells when it has ended.
    void RequestDrawThreadStop() {
        shuttingDown_.store(true);
        thread_.RequestStop();
    }

    // GTimer: DrawInterval's and the drawing thread's interval (the thread
    // takes it at once unless resting, else when the rest ends).
    void SetGraphicsIntervalMs(int ms);
    int GraphicsIntervalMs() const { return options_.graphicsIntervalMs; }
    // UI thread. Nothing is left to animate: no note sounds, every level bar
    // and lamp is down, no dot picture is on its way.
    bool Settled() const;
    // UI thread. While resting the drawing thread runs every
    // kRestIntervalMs instead of the graphics interval; leaving the rest
    // runs a pass at once.
    static constexpr int kRestIntervalMs = 500;
    void SetResting(bool resting);
    void SetDisplayOn(bool on);  // BltSw; off is low-load mode
    void SetControlMinimised(bool minimised) { minimised_.store(minimised); }
    void SetSelectedPanel(int panel) { panel_.store(panel); }  // 0 keyboard, 1 document, 2 event
    void SetChannelDimmed(int c, bool dimmed) { keyboard_->SetChannelDimmed(c, dimmed); }
    // UI thread. TBLabel and BeatLabel: the song's division and its last
    // time signature ("480", "6/8"), set after each load.
    void SetSongLabels(const QString& division, const QString& beat) {
        divisionText_ = division;
        beatText_ = beat;
    }
    const QString& DivisionText() const { return divisionText_; }
    const QString& BeatText() const { return beatText_; }

    // Any thread. A dot picture arrived: the GSDisp sequence starts over.
    void NotifyDotPicture();
    // Any thread. The output was reset: keyboards and knobs back to rest.
    void NotifyOutputReset();

    // One pass of the drawing thread (called by it; tests call it directly
    // when the thread is not running).
    void DrawPass();
    // UI thread: the newest keyboard image, if one arrived.
    // UI thread: the newest keyboard image, if one arrived, and the part of
    // it changed since the last take (logical pixels).
    bool TakeKeyboardFrame(QImage* out, QRect* changed = nullptr) {
        return mailbox_.Take(out, changed);
    }

    // Timer handlers, public so tests can tick them by hand.
    void OnDrawInterval();
    void OnMeterInterval();
    void OnFlash();
    void OnCpuTick();
    void OnGsDispTick();
    void ScheduleDisplayBitmap();

    const KnobPanel& Knobs() const { return knobs_; }
    const LevelMeters& Levels() const { return levels_; }
    const NoteCountMeter& NoteCount() const { return noteCount_; }
    const CpuLoadMeter& CpuLoad() const { return cpu_; }
    const NoteLamps& Lamps() const { return lamps_; }
    const DotPictureSequence& DotPicture() const { return dotPicture_; }
    const DrawingThread& Thread() const { return thread_; }
    qreal Dpr() const { return options_.dpr; }

  signals:
    void keyboardFrameReady();      // TakeKeyboardFrame has a new image
    void knobsChanged(QRect rect);  // logical rectangle of the knob panel
    void metersChanged();           // level bars, bar display, stereo bars
    void noteCountChanged();
    void cpuLoadChanged();
    void lampsChanged();

  private:
    bool DrawingAllowed() const;
    void SyncGsDispTimer();

    DisplaySource& src_;
    DisplayOptions options_;
    std::unique_ptr<KeyboardSurface> keyboard_;  // drawing thread only
    KnobPanel knobs_;
    LevelMeters levels_;
    NoteCountMeter noteCount_;
    CpuLoadMeter cpu_;
    NoteLamps lamps_;
    DotPictureSequence dotPicture_;
    ProcStatSampler procStat_;
    FrameMailbox mailbox_;
    std::atomic<bool> minimised_{false}, displayOn_{true}, shuttingDown_{false};
    std::atomic<int> panel_{0};
    std::atomic<bool> keyboardResetPending_{false};
    bool resting_ = false;
    QString divisionText_, beatText_;
    std::function<void(int ms)> dotPicturePace_;  // GSDisp, run by the timer table
    DrawingThread thread_;
};

// Passes the output layer's display events on to a display controller.
// Called on the thread that sends (usually the sequencer's timer thread).
class DisplayOutputLink final : public sequencer::OutputObserver {
  public:
    explicit DisplayOutputLink(DisplayController& display) : display_(display) {}
    void OnDotPicture() override;
    void OnClearMeters() override;

  private:
    DisplayController& display_;
};

}  // namespace sonfara::display
