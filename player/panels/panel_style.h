// The panels' share of the front-panel look: a backlit LCD for the event
// page (its line colours are fixed and need a pale ground), dark glass with
// amber for readouts, and the style sheets of the plain Qt controls.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

namespace sonfara::panels::style {

// Event page: a pale backlit LCD with alternate line bands.
inline const QColor kPaper{0xe9, 0xec, 0xe4};
inline const QColor kPaperBand{0xdf, 0xe4, 0xda};
inline const QColor kPaperRule{0xc6, 0xcc, 0xc0};
inline const QColor kPaperShade{0xb4, 0xba, 0xae};
inline const QColor kHeaderBand{0x1a, 0x1d, 0x21};
inline const QColor kMarker{0xe8, 0x6a, 0x00};

// Readouts and text windows.
QString LcdLabelSheet();
QString ButtonSheet();
QString ScrollBarSheet();
QString TextWindowSheet();
QString ListSheet();
QString MenuSheet();
QString PanelBackgroundSheet(const char* objectName);

// Japanese text of the pages and readouts.
QFont TextFont(int pixelSize);

}  // namespace sonfara::panels::style
