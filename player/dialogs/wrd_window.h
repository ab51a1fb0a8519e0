// The WRD window "Sonfara - WRD Window": shows the presentation's composed
// 640 x 480 frame, scaled by whole numbers with the window (down to fit when
// the window is smaller), and carries the
// presentation's timer (WRDProc). Closing hides it unless the program is
// shutting down. UI thread only.
#pragma once

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <atomic>

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

class WrdWindowWidget final : public QWidget, public WrdWindow {
    Q_OBJECT
  public:
    explicit WrdWindowWidget(QWidget* parent = nullptr);

    void SetFrameSource(WrdFrameSource* source) { source_ = source; }
    // MWRDTimer, at start-up and when the settings are applied.
    void SetInterval(int ms);
    int Interval() const { return timer_.interval(); }
    bool TimerActive() const { return timer_.isActive(); }

    // The exit handshake: StopTimers is asked; the next tick stops the timer
    // and acknowledges (TimerStopped). With the timer not running the
    // request is acknowledged at once.
    void RequestStop();
    bool StopAcknowledged() const { return stopped_.load(std::memory_order_acquire); }
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

    // WRDProc's handler.
    void OnTimer();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    WrdFrameSource* source_ = nullptr;
    QTimer timer_;
    QImage frame_;
    bool stopRequested_ = false;
    std::atomic<bool> stopped_{false};
    bool shuttingDown_ = false;
    bool activated_ = false;
};

}  // namespace sonfara::wrd
