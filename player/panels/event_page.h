// DrawEventPage: the event list's 17 lines on the event picture, at the
// design pixels (logical, ratio 1); images carry the device pixel ratio.
// Pure QImage work, callable from any thread.
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>

#include "player/song/event_list.h"

namespace sonfara::panels {

inline constexpr QSize kEventPictureSize{592, 294};
inline constexpr int kPositionX = 1;
inline constexpr int kNameX = 95;
inline constexpr int kChannelX = 240;
inline constexpr int kParamX = 280;
inline constexpr int kEventFontPixels = 12;
inline constexpr int kHeaderHeight = 14;

// Top of line i (1..17) and the marker row's y (row 0..16).
constexpr int LineTop(int i) {
    return 16 * i + 2;
}
constexpr int MarkerY(int row) {
    return 16 * row + 15;
}

// 0x00BBGGRR as a QColor.
QColor LineColour(uint32_t bgr);

// The cleared picture with every line drawn (the −1 form).
QImage DrawEventPage(const song::EventPage& page, qreal dpr);

// The position marker EventLine3 across the picture at MarkerY(row).
void DrawMarker(QPainter& painter, int row);

}  // namespace sonfara::panels
