// The panels' share of the front-panel look: the style sheets of the plain
// Qt controls (dark glass with amber for readouts) in the colours of
// ui::palette, and the font of the pages.
#pragma once

#include <QFont>
#include <QString>

namespace sonfara::panels::style {

// Readouts and text windows.
QString LcdLabelSheet();
QString ButtonSheet();
QString ScrollBarSheet();
QString TextWindowSheet();
QString ListSheet();
QString MenuSheet();

// Japanese text of the pages and readouts.
QFont TextFont(int pixelSize);

}  // namespace sonfara::panels::style
