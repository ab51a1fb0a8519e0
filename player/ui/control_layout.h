// Where the front-panel pieces sit on the control window (logical pixels).
// The background artwork engraves its captions against these rectangles, so
// the window that places the widgets uses the same table.
#pragma once

#include <QRect>
#include <QSize>

namespace sonfara::ui {

// The front panel's picture buttons (their faces: artwork.h).
enum class ButtonKind {
    kPlay,
    kPause,
    kStop,
    kStart,
    kPrev,
    kNext,
    kFastForward,
    kRewind,
    kSpeedUp,
    kSpeedDown,
    kKeyUp,
    kKeyDown,
    kWrd,
    kWindowLayout,
};
inline constexpr int kButtonKindCount = 14;

}  // namespace sonfara::ui

namespace sonfara::ui::layout {

inline constexpr QSize kControlWindow{620, 152};
inline constexpr QRect kBarDisplay{6, 6, 188, 70};
inline constexpr QRect kTitle{204, 8, 408, 16};
inline constexpr QRect kFileName{204, 26, 408, 14};
// While a large song is read: a thin bar in the file name's row.
inline constexpr QRect kLoadBar{204, 30, 200, 6};
inline constexpr QRect kTime{204, 44, 118, 16};
inline constexpr QRect kPosition{330, 44, 151, 16};
inline constexpr QRect kMarks{488, 45, 67, 15};
// The sound module's name (MIDIName), right of the marks.
inline constexpr QRect kModuleName{560, 44, 52, 16};
inline constexpr QRect kFormat{204, 64, 408, 14};
// The glass behind the title, readouts and text line.
inline constexpr QRect kInfoGlass{200, 4, 416, 78};
// Engraved under the bar display's right end, below its stereo bars.
inline constexpr QRect kStereoCaption{134, 79, 60, 9};

// Transport buttons, left to right, on one row.
inline constexpr int kTransportTop = 102;
inline constexpr int kTransportLeft = 6;
inline constexpr int kTransportPitch = 34;
// Key and speed steppers at their design positions; the caption windows are
// narrowed so that neither runs under a stepper.
inline constexpr QRect kKeyCaption{452, 102, 27, 18};
inline constexpr QRect kKeyUp{482, 102, 13, 9};
inline constexpr QRect kKeyDown{482, 111, 13, 9};
inline constexpr QRect kSpeedCaption{498, 102, 34, 18};
inline constexpr QRect kSpeedUp{534, 102, 13, 9};
inline constexpr QRect kSpeedDown{534, 111, 13, 9};
inline constexpr QRect kWrd{562, 102, 24, 18};
inline constexpr QRect kWindowLayout{590, 102, 24, 18};

// Position knob: its left edge runs from 140 to 595 on this window.
inline constexpr int kKnobFirstLeft = 140;
inline constexpr int kKnobLastLeft = 595;
inline constexpr int kKnobTravel = kKnobLastLeft - kKnobFirstLeft;
inline constexpr QRect kKnobTrack{134, 128, 485, 18};

// The transport order on the row and the rectangle of button i.
inline constexpr ButtonKind kTransportOrder[] = {
    ButtonKind::kStart, ButtonKind::kRewind,      ButtonKind::kPlay, ButtonKind::kPause,
    ButtonKind::kStop,  ButtonKind::kFastForward, ButtonKind::kPrev, ButtonKind::kNext,
};
constexpr QRect TransportRect(int i) {
    return {kTransportLeft + kTransportPitch * i, kTransportTop, 30, 22};
}

}  // namespace sonfara::ui::layout
