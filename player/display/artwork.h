// The display's artwork, drawn by the program at any device pixel ratio:
// the images whose sizes the layout fixes (keyboard surface, knob face and
// panel, bars, tiles, lamps), in the colours of ui::palette. Safe to call
// on any thread (QImage only).
#pragma once

#include <QImage>

namespace sonfara::display {

// A transparent-free image of the logical size, at ratio dpr, filled.
QImage MakeImage(QSize logical, qreal dpr, const QColor& fill);

// Keyboard surface with every key released and the row furniture; the
// label texts and readouts are drawn over it.
QImage KeyboardArtwork(qreal dpr);
QImage KnobFaceArtwork(qreal dpr);
// Knob panel with faces only; the pointers at reset value are drawn by the
// knob panel itself so that art and drawing cannot disagree.
QImage KnobPanelArtwork(qreal dpr);
QImage LevelBarArtwork(qreal dpr);  // 105 × 2
QImage SmallBarArtwork(qreal dpr);  // 64 × 11
// 12 × 48 upright stereo column, segmented like the tiles: unlit, or lit
// green at the foot to red at the head.
QImage StereoColumnArtwork(qreal dpr, bool lit);
QImage BarDisplayArtwork(qreal dpr);      // 188 × 70, the cleared bar display
QImage TileStripArtwork(qreal dpr);       // 13 × 3: unlit tile at x 0, lit at x 7
QImage LampArtwork(qreal dpr, bool lit);  // 9 × 14

// The logical rectangles of the unlit and lit tile in the tile strip.
inline constexpr QRect kUnlitTile{0, 0, 6, 3};
inline constexpr QRect kLitTile{7, 0, 6, 3};

}  // namespace sonfara::display
