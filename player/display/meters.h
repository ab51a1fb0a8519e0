// The meters drawn by the UI thread's timers: level bars, the control
// window's bar display with its dot pictures, the stereo levels, the
// sounding-note count, the processor load and the note lamps. Each keeps a
// copy of what it shows and reports whether anything changed. UI thread.
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

#include "player/display/display_geometry.h"
#include "player/display/display_source.h"

namespace sonfara::display {

class LevelMeters {
  public:
    explicit LevelMeters(qreal dpr = 1.0);

    // One DrawInterval tick: level bars, bar-display columns, stereo sums.
    // Returns true when a bar width, the bar display or a stereo bar changed.
    bool DrawLevelMeters(DisplaySource& src);

    // Dot pictures on the bar display (the GSDisp timer's steps).
    void ClearBarDisplay();
    void DrawDisplayBitmap(DisplaySource& src);
    void RedrawLevelColumns();
    void SetBitmapShowing(bool on) { bitmapShowing_ = on; }
    bool BitmapShowing() const { return bitmapShowing_; }

    int ShownLevel(int c) const { return shownLevel_[c - 1]; }
    int MeterWidth(int c) const { return meterWidth_[c - 1]; }  // logical pixels
    double ShownLeftLevel() const { return shownLeft_; }
    double ShownRightLevel() const { return shownRight_; }
    int LeftWidth() const;
    int RightWidth() const;
    const QImage& BarDisplay() const { return bar_; }

  private:
    // Paints steps from..to of column b; true when a tile changed.
    bool PaintSteps(int b, int from, int to, bool lit);

    qreal dpr_;
    QImage background_, tiles_, bar_;
    std::array<int, kChannels> shownLevel_{};
    std::array<int, kChannels> meterWidth_{};
    double shownLeft_ = 0, shownRight_ = 0;
    std::array<std::array<bool, kMaxLevel + 1>, kChannels> tileLit_{};
    bool bitmapShowing_ = false;
    bool columnsFromZero_ = false;
};

// The GSDisp timer's sequence: 50 ms after a picture arrives it is shown,
// 3000 ms later the level columns return. The owner runs a timer at
// IntervalMs() while Enabled(), and calls Tick() when it fires.
class DotPictureSequence {
  public:
    static constexpr int kShowDelayMs = 50;
    static constexpr int kHoldMs = 3000;

    // A new picture arrived (also while one is shown: starts over).
    void Schedule();
    // displayOn false (low-load mode): the tick only disables the timer.
    void Tick(LevelMeters& meters, DisplaySource& src, bool displayOn);
    bool Enabled() const { return enabled_; }
    int IntervalMs() const { return intervalMs_; }

  private:
    bool enabled_ = false;
    int intervalMs_ = kShowDelayMs;
};

class NoteCountMeter {
  public:
    // DrawNoteCount; true when the count shown changed.
    bool Draw(int soundingNotes);
    int Shown() const { return shown_; }
    QString Text() const { return QString::number(shown_); }
    int BarWidth() const { return shown_ < 64 ? shown_ : 64; }

  private:
    int shown_ = 0;
};

// Processor load from the text of /proc/stat: the busy share of the time
// between two samples. The first sample has nothing to compare with.
class ProcStatSampler {
  public:
    std::optional<int> Sample(std::string_view procStat);  // percent 0..100
    int ReadPercent();                                     // reads /proc/stat; 0 when it cannot

  private:
    bool have_ = false;
    uint64_t busy_ = 0, total_ = 0;
};

class CpuLoadMeter {
  public:
    // CTLSet3: the load rounded down to tens; true when the readout changed.
    bool Update(int percent);
    int Shown() const { return shown_; }
    QString Text() const { return QString::number(shown_) + QLatin1Char('%'); }
    int BarWidth() const { return static_cast<int>(shown_ * 9.6 / 15); }

  private:
    int shown_ = -1;
};

class NoteLamps {
  public:
    // One Flash tick; true when a lamp changed. A lamp stays lit for one to
    // two ticks after the channel's last note-on.
    bool Flash(DisplaySource& src);
    bool Lit(int c) const { return lit_[c - 1]; }

  private:
    std::array<bool, kChannels> lit_{};
};

}  // namespace sonfara::display
