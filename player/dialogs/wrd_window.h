// The WRD window "Sonfara - WRD Window": shows the presentation's composed
// 640 x 480 frame, scaled by whole numbers with the window (down to fit when
// the window is smaller), and runs the presentation's ticks (WRDProc) from
// the slot the GUI's timer table lends it. Closing hides it unless the
// program is shutting down. UI thread only.
#pragma once

#include <QImage>
#include <QWidget>

#include "player/wrd/external_player.h"
#include "player/wrd/runtime.h"

namespace sonfara::wrd {

class WrdSequencerLink;

// What the window's timer drives; the playback session implements it over
// its presentation (WrdSequencerLink). Called on the UI thread.
class WrdFrameSource {
  public:
    virtual ~WrdFrameSource() = default;
    // WRDProc: the plug-in's tick or the due WRD events.
    virtual void Tick() = 0;
    // Present the built-in frame again when a built-in script is active
    // (activation and repaint).
    virtual void PresentFrame() = 0;
    // Paint: the plug-in draws into the frame when it presents the song.
    // True if it drew.
    virtual bool RepaintExternal(WrdPaintTarget& /*target*/) { return false; }
};

// Over a runtime alone (tests, previews).
class RuntimeFrameSource final : public WrdFrameSource {
  public:
    explicit RuntimeFrameSource(WrdRuntime& rt) : rt_(rt) {}
    void Tick() override { rt_.RunDueWrdEvents(); }
    void PresentFrame() override {
        if (rt_.Active()) rt_.PresentWrdFrame();
    }

  private:
    WrdRuntime& rt_;
};

// The periodic slot WRDProc runs in. The GUI's timer table owns the timer
// (and its part in the exit handshake) and calls OnTimer from it.
class WrdTimerSlot {
  public:
    virtual ~WrdTimerSlot() = default;
    virtual void Start() = 0;
    virtual void Stop() = 0;
    virtual bool Active() const = 0;
    virtual void SetIntervalMs(int ms) = 0;
};

class WrdWindowWidget final : public QWidget, public WrdWindow {
    Q_OBJECT
  public:
    explicit WrdWindowWidget(QWidget* parent = nullptr);

    void SetFrameSource(WrdFrameSource* source) { source_ = source; }
    // The slot the window's timer calls run on (nullptr: none, the timer
    // calls do nothing). It takes the window's interval.
    void UseTimerSlot(WrdTimerSlot* slot);
    // MWRDTimer, at start-up and when the settings are applied.
    void SetInterval(int ms);
    int Interval() const { return intervalMs_; }
    bool TimerActive() const { return slot_ && slot_->Active(); }

    // While set, a close request closes the window.
    void SetShuttingDown(bool shuttingDown) { shuttingDown_ = shuttingDown; }

    // The last presented frame (640 x 480, RGB32).
    const QImage& FrameImage() const { return frame_; }
    // Whole-number scale for the current size and device pixel ratio (at
    // least 1).
    int Scale() const;
    // Where the frame is drawn: at that scale, centred; in a window smaller
    // than the frame, scaled down to fit with its aspect kept.
    QRectF FrameRect() const;

    // WrdWindow (the runtime's calls).
    bool SetUp() override { return true; }
    void Show() override;
    void Hide() override;
    void StartTimer() override;
    void StopTimer() override;
    void Present(const Surface& frame) override;

    // WRDProc's work, run by the slot's ticks.
    void OnTimer();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    static constexpr int kDefaultIntervalMs = 50;
    WrdFrameSource* source_ = nullptr;
    WrdTimerSlot* slot_ = nullptr;
    int intervalMs_ = kDefaultIntervalMs;
    QImage frame_;
    bool shuttingDown_ = false;
    bool activated_ = false;
};

}  // namespace sonfara::wrd
