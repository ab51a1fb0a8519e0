// Paints the display's pieces where the windows show them: the keyboard
// panel (keyboard surface, knob panel, level bars, lamps, readouts) and the
// control window's bar display with its stereo bars. UI thread.
#pragma once

#include <QImage>
#include <QPainter>

#include "player/display/display_controller.h"

namespace sonfara::display {

// Artwork the painters copy from, made once per device pixel ratio.
struct DisplayArt {
    explicit DisplayArt(qreal dpr);
    QImage levelBar, smallBar, stereoLit, stereoUnlit, lampLit, lampUnlit;
};

inline constexpr QSize kKeyboardPanelSize{kKeyboardSize.width() + kKnobPanelSize.width(),
                                          kKeyboardSize.height()};
// The bar display with the stereo bars inside it: exactly the control
// window's slot.
inline constexpr QSize kBarPanelSize = kBarDisplaySize;

// The note lamp of channel c, left of its label.
constexpr QRect LampRect(int c) {
    return QRect(4, 19 * (c - 1) + 14, 9, 14);
}

// What each of the display's signals repaints on the keyboard panel: a
// repaint of the whole panel would lay the readout texts out again each time.
inline const QRect kLevelBarsArea =
    QRect(LevelBarOrigin(1), kLevelBarSize).united(QRect(LevelBarOrigin(kChannels), kLevelBarSize));
inline const QRect kLampsArea = LampRect(1).united(LampRect(kChannels));
inline const QRect kNoteCountArea = kNoteCountText.united(QRect(kNoteCountBar, kSmallBarSize));
inline const QRect kCpuLoadArea = kCpuLoadText.united(QRect(kCpuLoadBar, kSmallBarSize));
inline const QRect kSongLabelsArea = kDivisionText.united(kBeatText);

// `dirty`: the part to repaint (texts outside it are not laid out).
void PaintKeyboardPanel(QPainter& p, const QImage& keyboard, const DisplayController& d,
                        const DisplayArt& art,
                        const QRect& dirty = QRect(QPoint(0, 0), kKeyboardPanelSize));
void PaintBarPanel(QPainter& p, const DisplayController& d, const DisplayArt& art);

}  // namespace sonfara::display
