// Pixel geometry of the channel display; its colours are ui::palette's. All
// values are logical pixels (device pixel ratio 1); painters on high-density
// images scale them, so the same rectangles land on whole device pixels.
#pragma once

#include <QRect>
#include <QSize>

#include "player/platform/midi.h"

namespace sonfara::display {

inline constexpr int kChannels = midi::kChannelCount;
inline constexpr int kKnobs = 7;
inline constexpr int kMaxLevel = 15;

inline constexpr QSize kKeyboardSize{480, 335};
inline constexpr QSize kKnobPanelSize{131, 335};
inline constexpr QSize kKnobFaceSize{15, 15};
inline constexpr QSize kLevelBarSize{105, 2};
inline constexpr QSize kSmallBarSize{64, 11};  // note count and processor load
inline constexpr QSize kLampSize{9, 14};
inline constexpr QSize kBarDisplaySize{188, 70};
inline constexpr int kStereoBarMax = 1600 / 15;  // width at the clamped sum

// The keyboard row of channel c (1..16) starts at this line.
constexpr int KeyRowTop(int c) {
    return 19 * c - 4;
}

// The 17 row separators of the keyboard area, one above the first channel
// row and one below each row: y = 31 is the line between channels 1 and 2.
// They follow the 19-pixel row pitch so that no line crosses a key, label
// or level bar (a key redraw would cut a line that ran through it).
inline constexpr int kRowSeparators = 17;
constexpr int RowSeparatorY(int j) {
    return 12 + 19 * j;
}

constexpr bool IsBlackKey(int note) {
    const int p = note % 12;
    return p == 1 || p == 3 || p == 6 || p == 8 || p == 10;
}

// The painted rectangle of a key: the lower part of a white key, the whole
// visible part of a black key. Keys right of column 479 fall off the surface.
constexpr QRect KeyRect(int c, int note) {
    const int o = note / 12;
    const int p = note % 12;
    const int y0 = KeyRowTop(c);
    if (IsBlackKey(note)) {
        const int x = (p == 1 ? 143 : p == 3 ? 147 : 143 + 2 * p) + 28 * o;
        return QRect(x + 58, y0, 3, 9);
    }
    const int k = (p > 4 ? p + 1 : p) / 2;
    const int x = 141 + 28 * o + 4 * k;
    return QRect(x + 58, y0 + 10, 3, 5);
}

// The released black key's highlight: its leftmost column, one row shorter.
constexpr QRect KeyHighlightRect(int c, int note) {
    const QRect r = KeyRect(c, note);
    return QRect(r.left(), r.top(), 1, r.height() - 1);
}

constexpr QPoint KnobFaceOrigin(int k, int b) {
    return QPoint(18 * k - 15, 19 * b - 4);
}

// The 4 × 4 pointer box of knob k (1..7) on row b (1..16) at value v.
QRect KnobPointerRect(int k, int b, int v);

// Step t (0..15) of column b (1..16) of the bar display.
constexpr QRect BarStepRect(int b, int t) {
    return QRect(7 * b - 4, kBarDisplaySize.height() - 3 * t - 11, 6, 3);
}

// The stereo bars stand upright right of the 16 columns inside the bar
// display's 188 × 70, as tall as a column (16 steps of 3), side 0 left and
// 1 right. A bar `kStereoBarMax` wide fills the column; the sums keep their
// width arithmetic and only the drawing is turned and scaled.
inline constexpr int kStereoColumnHeight = 3 * (kMaxLevel + 1);
constexpr QRect StereoColumnRect(int side) {
    return QRect(side == 0 ? 139 : 159, BarStepRect(1, kMaxLevel).top(), 12, kStereoColumnHeight);
}
constexpr QRect StereoCaptionRect(int side) {
    const QRect c = StereoColumnRect(side);
    return QRect(c.left(), c.bottom() + 1, c.width(), kBarDisplaySize.height() - c.bottom() - 1);
}
// Lit height (from the bottom) of a stereo column for a bar width.
constexpr int StereoColumnLit(int width) {
    const int w = width < 0 ? 0 : width > kStereoBarMax ? kStereoBarMax : width;
    return (w * kStereoColumnHeight + kStereoBarMax / 2) / kStereoBarMax;
}

// Dot (row r, column j), both 1..16, of a dot picture on the bar display.
constexpr QRect DotTileRect(int r, int j) {
    return QRect(7 * j - 4, 3 * (r + 4), 6, 3);
}

// Readouts on the keyboard surface's bottom strip and the channel rows
// (design twips / 15).
inline constexpr QRect kNoteCountText{38, 317, 25, 17};
inline constexpr QPoint kNoteCountBar{67, 319};
inline constexpr QRect kTempoText{317, 319, 25, 17};
// The song's division (TBLabel) and last time signature (BeatLabel), left
// aligned from their design left edges; the division may run on to 227
// (five digits) before the "BEAT" caption.
inline constexpr QRect kDivisionText{191, 319, 37, 17};
inline constexpr QRect kBeatText{253, 319, 33, 17};
// Right aligned to the design's right edge (410), wide enough for "100%".
inline constexpr QRect kCpuLoadText{374, 319, 36, 17};
inline constexpr QPoint kCpuLoadBar{414, 319};
constexpr QPoint LevelBarOrigin(int c) {
    return QPoint(18, 19 * (c - 1) + 29);
}
constexpr QRect InstLabelRect(int c) {
    return QRect(20, 19 * (c - 1) + 13, 127, 16);
}
constexpr QRect BankLabelRect(int c) {
    return QRect(149, 19 * (c - 1) + 13, 21, 16);
}
constexpr QRect MapLabelRect(int c) {
    return QRect(171, 19 * (c - 1) + 13, 25, 16);
}

}  // namespace sonfara::display
