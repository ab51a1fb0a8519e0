// The program's own pictures, painted into QImage at a device pixel ratio.
// Sizes are logical pixels (the design values at ratio 1); an image made at
// ratio r has r times as many pixels and carries r as its devicePixelRatio,
// so QPainter::drawImage at a logical point draws it crisp. All routines are
// pure and may run on any thread (QImage only).
#pragma once

#include <QByteArray>
#include <QFont>
#include <QIcon>
#include <QImage>
#include <QRect>
#include <QSize>

#include "player/ui/control_layout.h"

namespace sonfara::ui {

enum class Mark { kGs, kXg, kGm };
inline constexpr int kMarkCount = 3;

// Button faces. Documented pixels (logical, w × h the button size): the
// raised face has kBevelLight on row 1 and kBevelDark on row h − 2 (columns
// 2 to w − 3); the pressed face has them the other way round. Both have the
// rim colour kKeyRim at (0, h / 2).
QSize ButtonSize(ButtonKind kind);
QImage ButtonFace(ButtonKind kind, bool pressed, qreal dpr);

// Digit strip: glyph g (0–9, kBlankGlyph, kColonGlyph) is the 11 × 14 cell
// whose left edge is at 12·g. Segments stay inside columns 1 to 9 so that
// neighbouring cells drawn 10 pixels apart never cover each other's segments.
inline constexpr int kDigitCellWidth = 11;
inline constexpr int kDigitCellHeight = 14;
inline constexpr int kDigitPitch = 12;
inline constexpr int kBlankGlyph = 10;
inline constexpr int kColonGlyph = 11;
inline constexpr int kGlyphCount = 12;
QImage DigitStrip(qreal dpr);
// The cell of one glyph taken from a strip.
QRect DigitCell(int glyph);
// The LCD window a readout sits in (glass, bezel, unlit ghost segments are
// drawn by the strip's blank glyph).
QImage LcdWindow(QSize size, qreal dpr);

// Marks: 21 × 14 cells at x 0 (GS), 23 (XG) and 46 (GM) of a 67 × 14 strip.
inline constexpr int kMarkWidth = 21;
inline constexpr int kMarkHeight = 14;
int MarkX(Mark mark);
QImage MarkStripImage(bool lit, qreal dpr);

// Position knob cap and the groove it runs in.
inline constexpr int kKnobCapWidth = 18;
inline constexpr int kKnobCapHeight = 16;
QImage KnobCap(bool grabbed, qreal dpr);
QImage KnobGroove(QSize size, int firstLeft, int travel, qreal dpr);

// Control window background with its engraved captions.
QImage ControlBackground(qreal dpr);

// Icons: the window and tray icon at `px` device pixels (16 to 256), and the
// same drawing as SVG text for the scalable theme icon.
QImage AppIcon(int px);
QByteArray AppIconSvg();
// The same picture as the window and tray icon, at the sizes desktops ask for.
QIcon AppIconSet();

// Main window pictures: the panel tabs and the rolled-up strip. The channel
// display's pictures (keys, knobs, bars, lamps) are the display's own
// (player/display/artwork.h).
QImage TabPicture(bool selected, qreal dpr);  // 96 × 22
inline constexpr QSize kTabSize{96, 22};
// The two strip pictures a rolled-up main window shows in its 15-pixel
// client area: part 0 a flat tab plate (the remembered panel's caption is
// written over it) with an amber fold-down mark at its right end, part 1
// the brushed rest of the strip with a groove and two screws.
inline constexpr QSize kRollStripSize[2] = {{120, 15}, {500, 15}};
QImage RollStripPicture(int part, qreal dpr);

// Fonts: the engraved Latin captions, and a Japanese face for song texts.
QFont EngraveFont(int pixelSize);
QFont JapaneseFont(int pixelSize);

}  // namespace sonfara::ui
