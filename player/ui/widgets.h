// The front panel's custom widgets. They draw the artwork of artwork.h at
// the widget's own device pixel ratio and know nothing of playback: the
// window that owns them connects their signals to the session. All of them
// live on the GUI thread; their signals are emitted there.
#pragma once

#include <QImage>
#include <QWidget>
#include <array>
#include <cstdint>

#include "player/ui/artwork.h"
#include "player/ui/control_layout.h"

namespace sonfara::ui {

// A picture button: the raised face on top, the pressed face shown while a
// mouse button (any) is held. The command belongs on released(), which
// comes on the release wherever the pointer is then; held commands (fast
// forward, rewind) start on pressedDown() and finish on released().
class PictureButton : public QWidget {
    Q_OBJECT
  public:
    explicit PictureButton(ButtonKind kind, QWidget* parent = nullptr);
    ButtonKind kind() const { return kind_; }
    bool isDown() const { return down_; }
    QSize sizeHint() const override { return ButtonSize(kind_); }

  signals:
    void pressedDown();
    void released();

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void Release();

    ButtonKind kind_;
    bool down_ = false;
    qreal dpr_ = 0;
    QImage raised_, pressed_;
};

// A digit-strip readout: mm:ss time (four places) or bar and beat (four and
// two places). Each place remembers the glyph it shows and is repainted only
// when its glyph changes or the readout has been invalidated.
class DigitReadout : public QWidget {
    Q_OBJECT
  public:
    enum class Kind { kTime, kPosition };
    explicit DigitReadout(Kind kind, QWidget* parent = nullptr);

    // Minutes (two places, modulo 100) and seconds of a time in seconds.
    void SetTime(int seconds);
    // Bar in four places (modulo 10000), beat in two (modulo 100).
    void SetBarBeat(int bar, int beat);
    // Glyph of one place (0–9 or kBlankGlyph), painted only if it changed or
    // the readout is not valid.
    void SetPlace(int place, int glyph);
    // The next update paints every place.
    void Invalidate() { valid_ = false; }
    // Every place blank (the start-up state); leaves the readout invalid.
    void ShowEmpty();

    int placeCount() const { return kind_ == Kind::kTime ? 4 : 6; }
    int glyphAt(int place) const { return glyphs_[place]; }
    bool isValid() const { return valid_; }
    // Places painted by the last SetTime / SetBarBeat, bit i for place i.
    uint32_t lastRepainted() const { return lastRepainted_; }
    // Left edge of a place in the readout.
    int placeX(int place) const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void SetPlaces(const int* glyphs);
    void Rebuild();
    void PaintPlace(int place);

    Kind kind_;
    std::array<int, 6> glyphs_{};
    bool valid_ = false;
    uint32_t lastRepainted_ = 0;
    qreal dpr_ = 0;
    QImage strip_, picture_;
};

// The GS / XG / GM marks, each lit or unlit.
class MarkStrip : public QWidget {
    Q_OBJECT
  public:
    explicit MarkStrip(QWidget* parent = nullptr);
    void SetLit(Mark mark, bool lit);
    bool isLit(Mark mark) const { return lit_[static_cast<int>(mark)]; }
    void Reset();
    QSize sizeHint() const override { return layout::kMarks.size(); }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::array<bool, kMarkCount> lit_{};
    qreal dpr_ = 0;
    QImage litStrip_, unlitStrip_, glass_;
};

// The position knob and its track. Knob positions are the knob's left edge
// in the control window's coordinates (140 to 595); the widget itself sits
// at layout::kKnobTrack. Press on the knob grabs it at that point, moves
// follow the pointer by the grab offset, and the release asks for a seek to
// the knob's place (also when it did not move).
class PositionKnob : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kFirstLeft = layout::kKnobFirstLeft;
    static constexpr int kLastLeft = layout::kKnobLastLeft;
    static constexpr int kTravel = layout::kKnobTravel;
    static constexpr int kOriginX = layout::kKnobTrack.x();

    explicit PositionKnob(QWidget* parent = nullptr);
    // Puts the knob at position/total of the track (the start when total is
    // not positive). Ignored while dragging; moves and repaints only when the
    // whole-pixel place changes. Returns whether it moved.
    bool SetPosition(int64_t positionMs, int64_t totalMs);
    // Puts the knob at a left edge, clamped to the track.
    bool SetKnobLeft(int left);
    int knobLeft() const { return left_; }
    // The A-B repeat points as marks on the track (ms; -1 none), placed
    // where the knob's centre stands at that position.
    void SetMarks(int64_t aMs, int64_t bMs, int64_t totalMs);
    // The x of a mark's centre in the widget; -1 when it is not shown.
    int markX(int which) const { return marks_[which]; }
    bool dragging() const { return dragging_; }
    // The knob's rectangle in the widget.
    QRect knobRect() const;
    QSize sizeHint() const override { return layout::kKnobTrack.size(); }

  signals:
    // Release after a press on the knob: (knob left − 140) / 455.
    void seekRequested(double fraction);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    int left_ = kFirstLeft;
    std::array<int, 2> marks_{-1, -1};  // A, B
    bool dragging_ = false;
    int grabX_ = 0;  // pointer x at the press, in the knob's own coordinates
    qreal dpr_ = 0;
    QImage groove_, cap_, capGrabbed_;
};

// A thin LCD-coloured bar while a song is read: the fraction read.
class LoadBar : public QWidget {
    Q_OBJECT
  public:
    explicit LoadBar(QWidget* parent = nullptr);
    void SetFraction(double fraction);  // 0..1

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    double fraction_ = 0;
};

}  // namespace sonfara::ui
