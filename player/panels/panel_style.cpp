#include "player/panels/panel_style.h"

#include "player/ui/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::panels::style {
namespace {

namespace P = ui::palette;

QString Hex(const QColor& c) {
    return c.name(QColor::HexRgb);
}

}  // namespace

QString LcdLabelSheet() {
    return QStringLiteral(
               "QLabel { background: %1; color: %2; border: 1px solid %3;"
               " border-bottom-color: %4; border-right-color: %4; padding: 0 4px; }")
        .arg(Hex(P::kLcdGlass), Hex(P::kLcdText), Hex(P::kLcdBezelDark), Hex(P::kLcdBezelLight));
}

QString ButtonSheet() {
    return QStringLiteral(
               "QPushButton { color: %1; border: 1px solid %2; border-radius: 3px;"
               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %3, stop:1 %4);"
               " border-top-color: %5; font-weight: bold; }"
               "QPushButton:pressed { color: %6; border-top-color: %2; border-bottom-color: %5;"
               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %7, stop:1 %8); }"
               "QPushButton:disabled { color: %9; }")
        .arg(Hex(P::kSymbol), Hex(P::kKeyRim), Hex(P::kKeyTop), Hex(P::kKeyBottom),
             Hex(P::kBevelLight), Hex(P::kSymbolLit), Hex(P::kKeyPressedTop),
             Hex(P::kKeyPressedBottom), Hex(P::kEngraveDim));
}

QString ScrollBarSheet() {
    return QStringLiteral(
               "QScrollBar:vertical { background: %1; width: 17px; margin: 17px 0 17px 0;"
               " border: 1px solid %2; }"
               "QScrollBar::handle:vertical { min-height: 20px; border: 1px solid %2; "
               "border-radius: 2px;"
               " background: qlineargradient(x1:0, y1:0, x2:1, y2:0, stop:0 %3, stop:1 %4); }"
               "QScrollBar::handle:vertical:disabled { background: %1; border-color: %1; }"
               "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 16px;"
               " subcontrol-origin: margin; border: 1px solid %2;"
               " background: qlineargradient(x1:0, y1:0, x2:0, y2:1, stop:0 %5, stop:1 %6); }"
               "QScrollBar::sub-line:vertical { subcontrol-position: top; }"
               "QScrollBar::add-line:vertical { subcontrol-position: bottom; }"
               "QScrollBar::up-arrow:vertical, QScrollBar::down-arrow:vertical { width: 5px; "
               "height: 5px;"
               " background: %7; border-radius: 2px; }"
               "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }")
        .arg(Hex(P::kGroove), Hex(P::kKeyRim), Hex(P::kCapDark), Hex(P::kCapLight), Hex(P::kKeyTop),
             Hex(P::kKeyBottom), Hex(P::kEngraveDim));
}

QString TextWindowSheet() {
    return QStringLiteral(
               "QPlainTextEdit { background: %1; color: %2; border: 1px solid %3;"
               " border-bottom-color: %4; border-right-color: %4;"
               " selection-background-color: %5; selection-color: %1; }")
               .arg(Hex(P::kLcdGlass), Hex(P::kEngraveText), Hex(P::kLcdBezelDark),
                    Hex(P::kLcdBezelLight), Hex(P::kSegmentLit)) +
           ScrollBarSheet();
}

QString ListSheet() {
    return QStringLiteral(
               "QListWidget { background: %1; color: %2; border: 1px solid %3;"
               " border-bottom-color: %4; border-right-color: %4; outline: 0; padding: 2px 4px; }"
               "QListWidget::item:selected { background: %5; color: %1; }")
               .arg(Hex(P::kLcdGlass), Hex(P::kLcdText), Hex(P::kLcdBezelDark),
                    Hex(P::kLcdBezelLight), Hex(P::kSegmentLit)) +
           ScrollBarSheet();
}

QString MenuSheet() {
    return QStringLiteral(
               "QMenu { background: %1; color: %2; border: 1px solid %3; padding: 2px; }"
               "QMenu::item { padding: 3px 18px 3px 12px; }"
               "QMenu::item:selected { background: %4; color: %5; }"
               "QMenu::item:disabled { color: %6; }"
               "QMenu::separator { height: 1px; background: %3; margin: 3px 6px; }")
        .arg(Hex(P::kPanelBottom), Hex(P::kEngraveText), Hex(P::kBevelDark), Hex(P::kSegmentLit),
             Hex(P::kLcdGlass), Hex(P::kLcdText));
}

QFont TextFont(int pixelSize) {
    QFont font = ui::JapaneseFont(pixelSize);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

}  // namespace sonfara::panels::style
