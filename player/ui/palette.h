// Every colour the program paints, in one place so that the pieces drawn by
// different routines stay one look: a dark anodised sound-module panel,
// amber LCD segments, light engraved labels, and the channel display's
// keys, knobs and bars. Needs QtGui only (QColor), so any GUI folder may
// use it; the painters derive shades (lighter, darker, mixes) from these.
//
// Two kinds of colour are not here because they are data, not the look:
// the event list's line inks, which the engine's event lines carry
// (player/song/event_list.h), and the WRD screen's, which its script sets.
#pragma once

#include <QColor>

namespace sonfara::ui::palette {

// ---- control window -------------------------------------------------------

// Panel metal: a vertical sheen from top to bottom, brushed by row noise.
inline constexpr QColor kPanelTop{0x3a, 0x3e, 0x44};
inline constexpr QColor kPanelBottom{0x24, 0x27, 0x2c};
inline constexpr QColor kPanelEdgeLight{0x5c, 0x62, 0x6a};
inline constexpr QColor kPanelEdgeDark{0x10, 0x12, 0x15};
inline constexpr QColor kScrew{0x8a, 0x90, 0x98};

// Engraved labels: light text over a dark cut one pixel below.
inline constexpr QColor kEngraveText{0xc4, 0xc9, 0xd0};
inline constexpr QColor kEngraveCut{0x0c, 0x0d, 0x10};
inline constexpr QColor kEngraveDim{0x8a, 0x90, 0x98};

// LCD windows: deep glass, lit amber segments and their unlit ghosts.
inline constexpr QColor kLcdGlass{0x0e, 0x10, 0x0c};
inline constexpr QColor kLcdGlassEdge{0x1c, 0x1f, 0x18};
inline constexpr QColor kLcdBezelDark{0x08, 0x09, 0x0b};
inline constexpr QColor kLcdBezelLight{0x52, 0x57, 0x5e};
inline constexpr QColor kSegmentLit{0xff, 0xb2, 0x30};
inline constexpr QColor kSegmentGlow{0x7a, 0x4e, 0x12};
inline constexpr QColor kSegmentGhost{0x2e, 0x28, 0x1a};
inline constexpr QColor kLcdText{0xff, 0xb2, 0x30};
inline constexpr QColor kLcdTextDim{0x8a, 0x62, 0x22};

// Buttons: rubber-capped keys with a bevel; the pressed face sinks and its
// symbol lights amber.
inline constexpr QColor kKeyTop{0x4a, 0x4f, 0x57};
inline constexpr QColor kKeyBottom{0x2e, 0x32, 0x38};
inline constexpr QColor kKeyPressedTop{0x22, 0x25, 0x2a};
inline constexpr QColor kKeyPressedBottom{0x2c, 0x30, 0x36};
inline constexpr QColor kBevelLight{0x7c, 0x83, 0x8c};
inline constexpr QColor kBevelDark{0x14, 0x16, 0x19};
inline constexpr QColor kKeyRim{0x0a, 0x0b, 0x0d};
inline constexpr QColor kSymbol{0xe4, 0xe7, 0xeb};
inline constexpr QColor kSymbolLit{0xff, 0xb2, 0x30};

// Position knob: a brushed aluminium cap in a recessed groove.
inline constexpr QColor kCapLight{0xd6, 0xda, 0xdf};
inline constexpr QColor kCapDark{0x86, 0x8c, 0x94};
inline constexpr QColor kCapIndex{0xff, 0x9a, 0x1c};
inline constexpr QColor kGroove{0x0a, 0x0b, 0x0d};
inline constexpr QColor kGrooveLight{0x4a, 0x4f, 0x56};
inline constexpr QColor kTick{0x7a, 0x80, 0x88};

// ---- main window ----------------------------------------------------------

// The window's ground behind the panels, and the panel tabs.
inline constexpr QColor kMainWindowGround{0x2b, 0x2f, 0x36};
inline constexpr QColor kTabSelected{0x46, 0x4b, 0x53};
inline constexpr QColor kTabIdle{0x26, 0x29, 0x2e};
inline constexpr QColor kTabCaptionSelected{255, 255, 255};
inline constexpr QColor kTabCaptionIdle{128, 128, 128};

// ---- channel display ------------------------------------------------------

// Keys and knob pointers: a repaint of a released key must leave no trace,
// so the artwork and the repaints take these same values.
inline constexpr QColor kPressedKey{0, 0, 255};
inline constexpr QColor kWhiteKey{255, 255, 255};
inline constexpr QColor kWhiteKeyUpper{236, 238, 240};
inline constexpr QColor kBlackKey{128, 128, 128};
inline constexpr QColor kBlackKeyHighlight{192, 192, 192};
inline constexpr QColor kKeyBed{4, 5, 7};
inline constexpr QColor kKnobPointer{255, 255, 255};

// The display's panel: darker than the control window's metal, with
// recessed label windows, troughs for the bars and a line between rows.
inline constexpr QColor kDisplayPanel{22, 25, 31};
inline constexpr QColor kDisplayBezel{10, 12, 15};
inline constexpr QColor kDisplayTrough{6, 7, 9};
inline constexpr QColor kLabelDivider{24, 28, 34};
inline constexpr QColor kRowSeparator{44, 50, 60};
inline constexpr QColor kDisplayCaption{110, 122, 136};
inline constexpr QColor kLabelText{214, 226, 236};
inline constexpr QColor kLabelTextOff{96, 104, 114};
inline constexpr QColor kReadoutText{120, 230, 255};

// Controller knob faces: a radial sheen on a dark rim.
inline constexpr QColor kKnobFaceShine{92, 100, 112};
inline constexpr QColor kKnobFaceBody{48, 53, 61};
inline constexpr QColor kKnobFaceEdge{30, 33, 39};
inline constexpr QColor kKnobFaceRim{8, 9, 11};

// Level, note-count and load bars: green through amber to red.
inline constexpr QColor kMeterLow{0, 200, 120};
inline constexpr QColor kMeterMid{120, 230, 60};
inline constexpr QColor kMeterAmber{255, 200, 0};
inline constexpr QColor kMeterHigh{255, 60, 40};

// The bar display's glass, its tiles and the stereo columns.
inline constexpr QColor kBarGlass{8, 20, 18};
inline constexpr QColor kTileLit{80, 255, 190};
inline constexpr QColor kTileLitFoot{40, 200, 150};
inline constexpr QColor kTileUnlit{18, 44, 38};
inline constexpr QColor kStereoMid{150, 255, 120};
inline constexpr QColor kStereoHigh{255, 70, 50};
inline constexpr QColor kBarCaption{60, 150, 125};

// Note lamps: a warm lens, bright at its centre when lit.
inline constexpr QColor kLampLitCentre{255, 240, 140};
inline constexpr QColor kLampLitEdge{255, 140, 0};
inline constexpr QColor kLampUnlitCentre{60, 50, 30};
inline constexpr QColor kLampUnlitEdge{34, 28, 20};

// ---- event page -----------------------------------------------------------

// A pale backlit LCD with alternate line bands (the line inks are fixed and
// need a pale ground), black text and an orange marker.
inline constexpr QColor kPaper{0xe9, 0xec, 0xe4};
inline constexpr QColor kPaperBand{0xdf, 0xe4, 0xda};
inline constexpr QColor kPaperRule{0xc6, 0xcc, 0xc0};
inline constexpr QColor kPaperShade{0xb4, 0xba, 0xae};
inline constexpr QColor kPaperText{0, 0, 0};
inline constexpr QColor kHeaderBand{0x1a, 0x1d, 0x21};
inline constexpr QColor kMarker{0xe8, 0x6a, 0x00};

// ---- WRD window -----------------------------------------------------------

// Around the 640 × 480 screen, and the screen before its first frame.
inline constexpr QColor kWrdBackdrop{0, 0, 0};

// ---- lyrics window --------------------------------------------------------

// A dark stage: the syllables already sung in the LCD's amber, those to come
// in white, the line after the current one dimmer.
inline constexpr QColor kLyricsStage{0x0b, 0x0c, 0x10};
inline constexpr QColor kLyricsSung{0xff, 0xb2, 0x30};
inline constexpr QColor kLyricsToCome{0xf4, 0xf5, 0xf7};
inline constexpr QColor kLyricsNextLine{0x8a, 0x90, 0x98};

}  // namespace sonfara::ui::palette
