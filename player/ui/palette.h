// Every colour of the front-panel artwork, in one place so that the pieces
// drawn by different routines stay one look: a dark anodised sound-module
// panel, amber LCD segments, light engraved labels.
#pragma once

#include <QColor>

namespace sonfara::ui::palette {

// Panel metal: a vertical sheen from top to bottom, brushed by row noise.
inline const QColor kPanelTop{0x3a, 0x3e, 0x44};
inline const QColor kPanelBottom{0x24, 0x27, 0x2c};
inline const QColor kPanelEdgeLight{0x5c, 0x62, 0x6a};
inline const QColor kPanelEdgeDark{0x10, 0x12, 0x15};
inline const QColor kScrew{0x8a, 0x90, 0x98};

// Engraved labels: light text over a dark cut one pixel below.
inline const QColor kEngraveText{0xc4, 0xc9, 0xd0};
inline const QColor kEngraveCut{0x0c, 0x0d, 0x10};
inline const QColor kEngraveDim{0x8a, 0x90, 0x98};

// LCD windows: deep glass, lit amber segments and their unlit ghosts.
inline const QColor kLcdGlass{0x0e, 0x10, 0x0c};
inline const QColor kLcdGlassEdge{0x1c, 0x1f, 0x18};
inline const QColor kLcdBezelDark{0x08, 0x09, 0x0b};
inline const QColor kLcdBezelLight{0x52, 0x57, 0x5e};
inline const QColor kSegmentLit{0xff, 0xb2, 0x30};
inline const QColor kSegmentGlow{0x7a, 0x4e, 0x12};
inline const QColor kSegmentGhost{0x2e, 0x28, 0x1a};
inline const QColor kLcdText{0xff, 0xb2, 0x30};
inline const QColor kLcdTextDim{0x8a, 0x62, 0x22};

// Buttons: rubber-capped keys with a bevel; the pressed face sinks and its
// symbol lights amber.
inline const QColor kKeyTop{0x4a, 0x4f, 0x57};
inline const QColor kKeyBottom{0x2e, 0x32, 0x38};
inline const QColor kKeyPressedTop{0x22, 0x25, 0x2a};
inline const QColor kKeyPressedBottom{0x2c, 0x30, 0x36};
inline const QColor kBevelLight{0x7c, 0x83, 0x8c};
inline const QColor kBevelDark{0x14, 0x16, 0x19};
inline const QColor kKeyRim{0x0a, 0x0b, 0x0d};
inline const QColor kSymbol{0xe4, 0xe7, 0xeb};
inline const QColor kSymbolLit{0xff, 0xb2, 0x30};

// Position knob: a brushed aluminium cap in a recessed groove.
inline const QColor kCapLight{0xd6, 0xda, 0xdf};
inline const QColor kCapDark{0x86, 0x8c, 0x94};
inline const QColor kCapIndex{0xff, 0x9a, 0x1c};
inline const QColor kGroove{0x0a, 0x0b, 0x0d};
inline const QColor kGrooveLight{0x4a, 0x4f, 0x56};
inline const QColor kTick{0x7a, 0x80, 0x88};

// Keyboard surface: released keys exactly as the display repaints them.
inline const QColor kKeyPressed{0, 0, 255};
inline const QColor kWhiteKey{255, 255, 255};
inline const QColor kBlackKey{128, 128, 128};
inline const QColor kBlackKeyHighlight{192, 192, 192};
inline const QColor kKeyGap{0x8c, 0x90, 0x96};
inline const QColor kRowBand{0x2c, 0x30, 0x35};
inline const QColor kRowBandAlt{0x28, 0x2b, 0x30};

// Controller knobs and lamps.
inline const QColor kKnobPointer{255, 255, 255};
inline const QColor kKnobBody{0x3c, 0x41, 0x48};
inline const QColor kKnobRim{0x12, 0x14, 0x17};
inline const QColor kKnobShine{0x6e, 0x75, 0x7e};
inline const QColor kLampLit{0x5c, 0xff, 0x6a};
inline const QColor kLampLitCore{0xe8, 0xff, 0xe6};
inline const QColor kLampUnlit{0x1c, 0x33, 0x1e};

// Meters and tabs.
inline const QColor kMeterLow{0x4c, 0xd8, 0x5a};
inline const QColor kMeterMid{0xff, 0xb2, 0x30};
inline const QColor kMeterHigh{0xff, 0x4a, 0x2a};
inline const QColor kTabSelected{0x46, 0x4b, 0x53};
inline const QColor kTabIdle{0x26, 0x29, 0x2e};
inline const QColor kTabCaptionSelected{255, 255, 255};
inline const QColor kTabCaptionIdle{128, 128, 128};

}  // namespace sonfara::ui::palette
