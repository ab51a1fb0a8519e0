// The display's artwork, drawn by the program at any device pixel ratio:
// the images whose sizes the layout fixes (keyboard surface, knob face and
// panel, bars, tiles, lamps). Safe to call on any thread (QImage only).
#pragma once

#include <QImage>

namespace sonfara::display {

// A transparent-free image of the logical size, at ratio dpr, filled.
QImage MakeImage(QSize logical, qreal dpr, const QColor& fill);

// Panel colours shared by the pieces of artwork and the text.
inline const QColor kPanelColour{22, 25, 31};
inline const QColor kBezelColour{10, 12, 15};
inline const QColor kLabelText{214, 226, 236};
inline const QColor kLabelTextOff{96, 104, 114};
inline const QColor kReadoutText{120, 230, 255};
// The bar display's glass and its tiles.
inline const QColor kBarGlass{8, 20, 18};
inline const QColor kTileLit{80, 255, 190};
inline const QColor kTileUnlit{18, 44, 38};
inline const QColor kBarCaption{60, 150, 125};

// Keyboard surface with every key released and the row furniture; the label texts and readouts are drawn over it.
QImage KeyboardArtwork(qreal dpr);
QImage KnobFaceArtwork(qreal dpr);
// Knob panel with faces only; the pointers at reset value are drawn by the
// knob panel itself so that art and drawing cannot disagree.
QImage KnobPanelArtwork(qreal dpr);
QImage LevelBarArtwork(qreal dpr);     // 105 × 2
QImage SmallBarArtwork(qreal dpr);     // 64 × 11
// 12 × 48 upright stereo column, segmented like the tiles: unlit, or lit
// green at the foot to red at the head.
QImage StereoColumnArtwork(qreal dpr, bool lit);
QImage BarDisplayArtwork(qreal dpr);   // 188 × 70, the cleared bar display
QImage TileStripArtwork(qreal dpr);    // 13 × 3: unlit tile at x 0, lit at x 7
QImage LampArtwork(qreal dpr, bool lit);  // 9 × 14

// The logical rectangles of the unlit and lit tile in the tile strip.
inline constexpr QRect kUnlitTile{0, 0, 6, 3};
inline constexpr QRect kLitTile{7, 0, 6, 3};

}  // namespace sonfara::display
