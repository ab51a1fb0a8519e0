#include "player/ui/artwork.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QStringList>
#include <array>

#include "player/ui/control_layout.h"
#include "player/ui/palette.h"

namespace sonfara::ui {

namespace p = palette;

namespace {

QImage Blank(QSize logical, qreal dpr, QColor fill = Qt::transparent) {
    QImage image(QSize(qCeil(logical.width() * dpr), qCeil(logical.height() * dpr)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(dpr);
    image.fill(fill);
    return image;
}

// Row noise that is the same for the same row, so a panel redrawn at the
// same ratio is bit-identical.
int RowNoise(int row, int seed) {
    uint32_t h = static_cast<uint32_t>(row) * 2654435761u ^ static_cast<uint32_t>(seed) * 40503u;
    h ^= h >> 15;
    h *= 2246822519u;
    h ^= h >> 13;
    return static_cast<int>(h % 9) - 4;
}

QColor Mix(QColor a, QColor b, qreal t) {
    return QColor::fromRgbF(a.redF() + (b.redF() - a.redF()) * t,
                            a.greenF() + (b.greenF() - a.greenF()) * t,
                            a.blueF() + (b.blueF() - a.blueF()) * t);
}

QColor Shift(QColor c, int d) {
    return QColor(qBound(0, c.red() + d, 255), qBound(0, c.green() + d, 255),
                  qBound(0, c.blue() + d, 255));
}

// Brushed anodised metal: a vertical sheen with fine horizontal streaks, one
// streak per device row.
void FillBrushed(QPainter& painter, const QRectF& rect, QColor top, QColor bottom, int seed) {
    const qreal dpr = painter.device()->devicePixelRatioF();
    const int rows = qCeil(rect.height() * dpr);
    for (int r = 0; r < rows; ++r) {
        const QColor base = Mix(top, bottom, rows > 1 ? qreal(r) / (rows - 1) : 0);
        painter.fillRect(QRectF(rect.x(), rect.y() + r / dpr, rect.width(), 1 / dpr),
                         Shift(base, RowNoise(r, seed) / 2));
    }
}

void Engrave(QPainter& painter, const QRectF& rect, const QString& text, int px,
             Qt::Alignment align = Qt::AlignCenter, QColor colour = p::kEngraveText) {
    painter.setFont(EngraveFont(px));
    painter.setPen(p::kEngraveCut);
    painter.drawText(rect.translated(0, 1), align, text);
    painter.setPen(colour);
    painter.drawText(rect, align, text);
}

// A recessed glass window: dark bezel above and left, light below and right.
void Glass(QPainter& painter, const QRect& r, bool bezel = true) {
    painter.fillRect(r, p::kLcdGlass);
    if (!bezel) return;
    painter.fillRect(QRect(r.left(), r.top(), r.width(), 1), p::kLcdBezelDark);
    painter.fillRect(QRect(r.left(), r.top(), 1, r.height()), p::kLcdBezelDark);
    painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), p::kLcdBezelLight);
    painter.fillRect(QRect(r.right(), r.top() + 1, 1, r.height() - 1), p::kLcdBezelLight);
    painter.fillRect(QRect(r.left() + 1, r.top() + 1, r.width() - 2, 1), p::kLcdGlassEdge);
}

void Screw(QPainter& painter, QPointF c) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(c - QPointF(1, 1), 4);
    g.setColorAt(0, p::kCapLight);
    g.setColorAt(1, p::kScrew.darker(160));
    painter.setPen(QPen(p::kKeyRim, 0.8));
    painter.setBrush(g);
    painter.drawEllipse(c, 3.2, 3.2);
    painter.setPen(QPen(p::kKeyRim, 1.0));
    painter.drawLine(c + QPointF(-2, 0), c + QPointF(2, 0));
    painter.restore();
}

// ---- button symbols -------------------------------------------------------

void Triangle(QPainter& painter, QPointF tip, qreal w, qreal h, bool right) {
    const qreal back = right ? tip.x() - w : tip.x() + w;
    painter.drawPolygon(
        QPolygonF({tip, QPointF(back, tip.y() - h / 2), QPointF(back, tip.y() + h / 2)}));
}

void Symbol(QPainter& painter, ButtonKind kind, QRectF face) {
    const QPointF c = face.center();
    switch (kind) {
        case ButtonKind::kPlay:
            Triangle(painter, c + QPointF(4.5, 0), 9, 10, true);
            break;
        case ButtonKind::kPause:
            painter.drawRect(QRectF(c.x() - 4, c.y() - 4.5, 3, 9));
            painter.drawRect(QRectF(c.x() + 1, c.y() - 4.5, 3, 9));
            break;
        case ButtonKind::kStop:
            painter.drawRect(QRectF(c.x() - 4, c.y() - 4, 8, 8));
            break;
        case ButtonKind::kStart: {
            // Back to the top: a bar and a play triangle.
            painter.drawRect(QRectF(c.x() - 5, c.y() - 4.5, 2, 9));
            Triangle(painter, c + QPointF(5, 0), 7, 9, true);
            break;
        }
        case ButtonKind::kPrev:
            painter.drawRect(QRectF(c.x() - 6, c.y() - 4, 2, 8));
            Triangle(painter, c + QPointF(-4, 0), 5, 8, false);
            Triangle(painter, c + QPointF(1, 0), 5, 8, false);
            break;
        case ButtonKind::kNext:
            painter.drawRect(QRectF(c.x() + 4, c.y() - 4, 2, 8));
            Triangle(painter, c + QPointF(4, 0), 5, 8, true);
            Triangle(painter, c + QPointF(-1, 0), 5, 8, true);
            break;
        case ButtonKind::kFastForward:
            Triangle(painter, c + QPointF(0, 0), 6, 9, true);
            Triangle(painter, c + QPointF(6, 0), 6, 9, true);
            break;
        case ButtonKind::kRewind:
            Triangle(painter, c + QPointF(0, 0), 6, 9, false);
            Triangle(painter, c + QPointF(-6, 0), 6, 9, false);
            break;
        case ButtonKind::kSpeedUp:
        case ButtonKind::kKeyUp:
            painter.drawPolygon(
                QPolygonF({QPointF(c.x(), c.y() - 2.5), QPointF(c.x() + 3.5, c.y() + 1.5),
                           QPointF(c.x() - 3.5, c.y() + 1.5)}));
            break;
        case ButtonKind::kSpeedDown:
        case ButtonKind::kKeyDown:
            painter.drawPolygon(
                QPolygonF({QPointF(c.x(), c.y() + 2.5), QPointF(c.x() + 3.5, c.y() - 1.5),
                           QPointF(c.x() - 3.5, c.y() - 1.5)}));
            break;
        case ButtonKind::kWrd: {
            QFont font = EngraveFont(9);
            font.setBold(true);
            painter.setFont(font);
            painter.setPen(painter.brush().color());
            painter.drawText(face, Qt::AlignCenter, QStringLiteral("WRD"));
            break;
        }
        case ButtonKind::kWindowLayout: {
            // Two windows, one docked under the other.
            const QColor ink = painter.brush().color();
            painter.setBrush(Qt::NoBrush);
            painter.setPen(QPen(ink, 1.2));
            painter.drawRect(QRectF(c.x() - 6, c.y() - 5, 12, 4));
            painter.drawRect(QRectF(c.x() - 6, c.y() + 1, 12, 5));
            painter.fillRect(QRectF(c.x() - 6, c.y() - 5, 12, 1.5), ink);
            break;
        }
    }
}

}  // namespace

// ---- buttons --------------------------------------------------------------

QSize ButtonSize(ButtonKind kind) {
    switch (kind) {
        case ButtonKind::kSpeedUp:
        case ButtonKind::kSpeedDown:
        case ButtonKind::kKeyUp:
        case ButtonKind::kKeyDown:
            return {13, 9};
        case ButtonKind::kWrd:
        case ButtonKind::kWindowLayout:
            return {24, 18};
        default:
            return {30, 22};
    }
}

QImage ButtonFace(ButtonKind kind, bool pressed, qreal dpr) {
    const QSize size = ButtonSize(kind);
    const int w = size.width(), h = size.height();
    QImage image = Blank(size, dpr, p::kKeyRim);
    QPainter painter(&image);
    const QRect inner(1, 1, w - 2, h - 2);
    FillBrushed(painter, inner, pressed ? p::kKeyPressedTop : p::kKeyTop,
                pressed ? p::kKeyPressedBottom : p::kKeyBottom, static_cast<int>(kind) + 7);
    const QColor top = pressed ? p::kBevelDark : p::kBevelLight;
    const QColor bottom = pressed ? p::kBevelLight : p::kBevelDark;
    painter.fillRect(QRect(2, 1, w - 4, 1), top);
    painter.fillRect(QRect(1, 2, 1, h - 4), pressed ? p::kBevelDark : Shift(p::kBevelLight, -30));
    painter.fillRect(QRect(2, h - 2, w - 4, 1), bottom);
    painter.fillRect(QRect(w - 2, 2, 1, h - 4),
                     pressed ? Shift(p::kBevelLight, -40) : p::kBevelDark);
    if (pressed) painter.fillRect(QRect(2, 2, w - 4, 1), Shift(p::kKeyPressedTop, -12));

    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    const QRectF face = QRectF(inner).translated(0, pressed ? 1 : 0);
    // A dark cut under the symbol reads as engraving on the raised key.
    if (!pressed) {
        painter.setBrush(p::kEngraveCut);
        Symbol(painter, kind, face.translated(0, 1));
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(pressed ? p::kSymbolLit : p::kSymbol);
    Symbol(painter, kind, face);
    return image;
}

// ---- digits ---------------------------------------------------------------

namespace {

// Segments a–g of a 9 × 14 digit inside the 11-pixel cell (columns 1–9).
constexpr std::array<QRect, 7> kSegments = {{
    {3, 0, 5, 2},   // a
    {8, 2, 2, 4},   // b
    {8, 8, 2, 4},   // c
    {3, 12, 5, 2},  // d
    {1, 8, 2, 4},   // e
    {1, 2, 2, 4},   // f
    {3, 6, 5, 2},   // g
}};
// Bit i lights segment i (a = bit 0).
constexpr std::array<uint8_t, 10> kDigitSegments = {0x3f, 0x06, 0x5b, 0x4f, 0x66,
                                                    0x6d, 0x7d, 0x07, 0x7f, 0x6f};

void Segment(QPainter& painter, QRectF r, bool chamfer) {
    if (!chamfer) {
        painter.drawRect(r);
        return;
    }
    // At ratio 2 and above the ends are cut at 45°, the LCD look.
    const qreal c = 0.5;
    QPolygonF poly;
    if (r.width() > r.height()) {
        poly << QPointF(r.left() - c, r.center().y()) << QPointF(r.left() + c, r.top())
             << QPointF(r.right() - c, r.top()) << QPointF(r.right() + c, r.center().y())
             << QPointF(r.right() - c, r.bottom()) << QPointF(r.left() + c, r.bottom());
    } else {
        poly << QPointF(r.center().x(), r.top() - c) << QPointF(r.right(), r.top() + c)
             << QPointF(r.right(), r.bottom() - c) << QPointF(r.center().x(), r.bottom() + c)
             << QPointF(r.left(), r.bottom() - c) << QPointF(r.left(), r.top() + c);
    }
    painter.drawPolygon(poly);
}

void Glyph(QPainter& painter, int x, int glyph, bool chamfer) {
    painter.fillRect(QRect(x, 0, kDigitCellWidth, kDigitCellHeight), p::kLcdGlass);
    painter.setPen(Qt::NoPen);
    if (glyph == kColonGlyph) {
        painter.setBrush(p::kSegmentLit);
        painter.drawRect(QRect(x + 4, 3, 2, 2));
        painter.drawRect(QRect(x + 4, 9, 2, 2));
        return;
    }
    const uint8_t lit = glyph >= 0 && glyph <= 9 ? kDigitSegments[glyph] : 0;
    for (int s = 0; s < 7; ++s) {
        painter.setBrush((lit >> s) & 1 ? p::kSegmentLit : p::kSegmentGhost);
        Segment(painter, QRectF(kSegments[s].translated(x, 0)), chamfer);
    }
}

}  // namespace

QRect DigitCell(int glyph) {
    return {kDigitPitch * glyph, 0, kDigitCellWidth, kDigitCellHeight};
}

QImage DigitStrip(qreal dpr) {
    QImage image = Blank({kDigitPitch * kGlyphCount, kDigitCellHeight}, dpr, p::kLcdGlass);
    QPainter painter(&image);
    const bool chamfer = dpr >= 2;
    painter.setRenderHint(QPainter::Antialiasing, chamfer);
    for (int g = 0; g < kGlyphCount; ++g) Glyph(painter, kDigitPitch * g, g, chamfer);
    return image;
}

QImage LcdWindow(QSize size, qreal dpr) {
    QImage image = Blank(size, dpr);
    QPainter painter(&image);
    Glass(painter, QRect(QPoint(0, 0), size), false);
    return image;
}

// ---- marks ----------------------------------------------------------------

int MarkX(Mark mark) {
    return 23 * static_cast<int>(mark);
}

QImage MarkStripImage(bool lit, qreal dpr) {
    QImage image = Blank({67, kMarkHeight}, dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    static const char* const kNames[] = {"GS", "XG", "GM"};
    QFont font = EngraveFont(10);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
    painter.setFont(font);
    for (int m = 0; m < kMarkCount; ++m) {
        const QRectF cell(MarkX(static_cast<Mark>(m)), 0, kMarkWidth, kMarkHeight);
        const QRectF box = cell.adjusted(0.5, 0.5, -0.5, -0.5);
        if (lit) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(p::kSegmentLit);
            painter.drawRoundedRect(box, 2, 2);
            painter.setPen(p::kLcdGlass);
        } else {
            painter.setPen(QPen(p::kSegmentGhost.lighter(130), 1));
            painter.setBrush(p::kLcdGlass);
            painter.drawRoundedRect(box, 2, 2);
            painter.setPen(p::kSegmentGhost.lighter(150));
        }
        painter.drawText(cell.adjusted(0, 0, 0, 0), Qt::AlignCenter,
                         QString::fromLatin1(kNames[m]));
    }
    return image;
}

// ---- position knob --------------------------------------------------------

QImage KnobCap(bool grabbed, qreal dpr) {
    const QSize size(kKnobCapWidth, kKnobCapHeight);
    QImage image = Blank(size, dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body(0.5, 0.5, kKnobCapWidth - 1, kKnobCapHeight - 1);
    QLinearGradient g(0, 0, 0, kKnobCapHeight);
    g.setColorAt(0, grabbed ? p::kCapLight.lighter(105) : p::kCapLight);
    g.setColorAt(0.55, Mix(p::kCapLight, p::kCapDark, 0.6));
    g.setColorAt(1, p::kCapDark.darker(120));
    painter.setPen(QPen(p::kKeyRim, 1));
    painter.setBrush(g);
    painter.drawRoundedRect(body, 2.5, 2.5);
    painter.setRenderHint(QPainter::Antialiasing, false);
    // Grip grooves either side of the index line.
    for (int x : {3, 5, 12, 14}) {
        painter.fillRect(QRect(x, 4, 1, 8), Shift(p::kCapDark, -30));
        painter.fillRect(QRect(x + 1, 4, 1, 8), p::kCapLight.lighter(110));
    }
    painter.fillRect(QRect(8, 2, 2, 12), p::kCapIndex);
    return image;
}

QImage KnobGroove(QSize size, int firstLeft, int travel, qreal dpr) {
    QImage image = Blank(size, dpr);
    QPainter painter(&image);
    const int x0 = firstLeft + kKnobCapWidth / 2 - 1;
    const int x1 = firstLeft + travel + kKnobCapWidth / 2 + 1;
    const int cy = size.height() / 2;
    // Ticks every tenth of the travel, longer at the ends and the middle.
    for (int i = 0; i <= 10; ++i) {
        const int x = firstLeft + kKnobCapWidth / 2 + (travel * i + 5) / 10;
        const int len = (i % 5 == 0) ? 3 : 2;
        painter.fillRect(QRect(x, 0, 1, len), p::kTick);
        painter.fillRect(QRect(x, size.height() - len, 1, len), p::kTick);
    }
    painter.fillRect(QRect(x0, cy - 2, x1 - x0, 4), p::kGroove);
    painter.fillRect(QRect(x0, cy + 2, x1 - x0, 1), p::kGrooveLight);
    painter.fillRect(QRect(x0 + 1, cy - 1, x1 - x0 - 2, 1), Shift(p::kGroove, 10));
    return image;
}

// ---- control window -------------------------------------------------------

QImage ControlBackground(qreal dpr) {
    namespace L = layout;
    const QSize size = L::kControlWindow;
    QImage image = Blank(size, dpr);
    QPainter painter(&image);
    FillBrushed(painter, QRectF(QPointF(0, 0), size), p::kPanelTop, p::kPanelBottom, 1);
    painter.fillRect(QRect(0, 0, size.width(), 1), p::kPanelEdgeLight);
    painter.fillRect(QRect(0, 0, 1, size.height()), p::kPanelEdgeLight);
    painter.fillRect(QRect(0, size.height() - 1, size.width(), 1), p::kPanelEdgeDark);
    painter.fillRect(QRect(size.width() - 1, 0, 1, size.height()), p::kPanelEdgeDark);

    Glass(painter, L::kBarDisplay.adjusted(-1, -1, 1, 1));
    Glass(painter, L::kInfoGlass);
    Glass(painter, L::kKeyCaption.adjusted(-1, -1, 1, 1));
    Glass(painter, L::kSpeedCaption.adjusted(-1, -1, 1, 1));
    painter.setRenderHint(QPainter::TextAntialiasing);
    Engrave(painter, L::kStereoCaption, QStringLiteral("STEREO"), 7,
            Qt::AlignRight | Qt::AlignVCenter, p::kEngraveDim);
    // A separator line cut between the display row and the transport row.
    painter.fillRect(QRect(6, 90, size.width() - 12, 1), p::kPanelEdgeDark);
    painter.fillRect(QRect(6, 91, size.width() - 12, 1), Shift(p::kPanelTop, 14));

    static const char* const kCaptions[] = {"TOP",  "REW", "PLAY", "PAUSE",
                                            "STOP", "FF",  "PREV", "NEXT"};
    for (int i = 0; i < 8; ++i) {
        const QRect r = L::TransportRect(i);
        Engrave(painter, QRectF(r.x() - 4, 92, r.width() + 8, 9), QString::fromLatin1(kCaptions[i]),
                7);
    }
    Engrave(painter, QRectF(L::kKeyCaption.x(), 92, 44, 9), QStringLiteral("KEY"), 7,
            Qt::AlignLeft | Qt::AlignVCenter);
    Engrave(painter, QRectF(L::kSpeedCaption.x(), 92, 60, 9), QStringLiteral("TEMPO"), 7,
            Qt::AlignLeft | Qt::AlignVCenter);
    Engrave(painter, QRectF(L::kWrd.x() - 4, 92, L::kWrd.width() + 8, 9), QStringLiteral("WRD"), 7);
    Engrave(painter, QRectF(L::kWindowLayout.x() - 4, 92, L::kWindowLayout.width() + 8, 9),
            QStringLiteral("VIEW"), 7);
    Engrave(painter, QRectF(8, 138, 120, 10), QStringLiteral("POSITION"), 7,
            Qt::AlignLeft | Qt::AlignVCenter, p::kEngraveDim);

    // The maker's plate between the transport and the steppers.
    QFont brand = EngraveFont(15);
    brand.setBold(true);
    brand.setLetterSpacing(QFont::AbsoluteSpacing, 2.5);
    const QRectF plate(282, 100, 164, 18);
    Screw(painter, QPointF(290, 113));
    Screw(painter, QPointF(438, 113));
    painter.setFont(brand);
    painter.setPen(p::kEngraveCut);
    painter.drawText(plate.translated(0, 1), Qt::AlignCenter, QStringLiteral("SONFARA"));
    painter.setPen(p::kEngraveText);
    painter.drawText(plate, Qt::AlignCenter, QStringLiteral("SONFARA"));
    Engrave(painter, QRectF(282, 117, 164, 9), QStringLiteral("SMF PLAYER  ·  GS / XG / GM"), 7,
            Qt::AlignCenter, p::kEngraveDim);
    return image;
}

// ---- icons ----------------------------------------------------------------

namespace {

// The icon on a 64-unit grid: a panel with a glass window holding amber
// level columns, and a row of keys below.
constexpr int kIconColumns[] = {7, 12, 9, 14, 6, 11};

}  // namespace

QImage AppIcon(int px) {
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(px / 64.0, px / 64.0);
    const bool tiny = px < 32;
    QLinearGradient body(0, 4, 0, 60);
    body.setColorAt(0, p::kPanelTop.lighter(115));
    body.setColorAt(1, p::kPanelBottom);
    painter.setPen(QPen(p::kKeyRim, tiny ? 3 : 2));
    painter.setBrush(body);
    painter.drawRoundedRect(QRectF(3, 3, 58, 58), 10, 10);
    const QRectF glass = tiny ? QRectF(9, 9, 46, 34) : QRectF(10, 10, 44, 28);
    painter.setPen(Qt::NoPen);
    painter.setBrush(p::kLcdGlass);
    painter.drawRoundedRect(glass, 3, 3);
    const int columns = tiny ? 4 : 6;
    const qreal pitch = glass.width() / columns;
    for (int i = 0; i < columns; ++i) {
        const qreal height = (tiny ? kIconColumns[i + 1] + 8 : kIconColumns[i] + 6);
        const QRectF col(glass.x() + pitch * i + pitch * 0.2, glass.bottom() - 3 - height,
                         pitch * 0.6, height);
        painter.setBrush(p::kSegmentLit);
        painter.drawRect(col);
    }
    if (tiny) {
        painter.setBrush(p::kSymbol);
        painter.drawPolygon(QPolygonF({QPointF(24, 47), QPointF(40, 53), QPointF(24, 59)}));
        return image;
    }
    for (int i = 0; i < 3; ++i) {
        const QRectF key(12 + 14 * i, 44, 12, 10);
        painter.setBrush(p::kKeyTop);
        painter.setPen(QPen(p::kKeyRim, 1));
        painter.drawRoundedRect(key, 1.5, 1.5);
    }
    painter.setPen(Qt::NoPen);
    painter.setBrush(p::kSymbol);
    painter.drawPolygon(QPolygonF({QPointF(30, 46), QPointF(36, 49), QPointF(30, 52)}));
    painter.drawRect(QRectF(15, 46, 6, 6));
    painter.drawRect(QRectF(43, 46, 2, 6));
    painter.drawRect(QRectF(47, 46, 2, 6));
    return image;
}

QIcon AppIconSet() {
    QIcon icon;
    for (int px : {16, 24, 32, 48, 64}) icon.addPixmap(QPixmap::fromImage(AppIcon(px)));
    return icon;
}

QByteArray AppIconSvg() {
    QString columns;
    const qreal pitch = 44.0 / 6;
    for (int i = 0; i < 6; ++i) {
        const qreal h = kIconColumns[i] + 6;
        columns +=
            QStringLiteral("  <rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>\n")
                .arg(10 + pitch * i + pitch * 0.2, 0, 'f', 2)
                .arg(38 - 3 - h, 0, 'f', 2)
                .arg(pitch * 0.6, 0, 'f', 2)
                .arg(h)
                .arg(p::kSegmentLit.name());
    }
    const QString svg =
        QStringLiteral(
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"64\" height=\"64\" viewBox=\"0 0 64 "
            "64\">\n"
            "  <defs><linearGradient id=\"b\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">"
            "<stop offset=\"0\" stop-color=\"%1\"/><stop offset=\"1\" "
            "stop-color=\"%2\"/></linearGradient></defs>\n"
            "  <rect x=\"3\" y=\"3\" width=\"58\" height=\"58\" rx=\"10\" fill=\"url(#b)\" "
            "stroke=\"%3\" stroke-width=\"2\"/>\n"
            "  <rect x=\"10\" y=\"10\" width=\"44\" height=\"28\" rx=\"3\" fill=\"%4\"/>\n"
            "%5"
            "  <g fill=\"%6\" stroke=\"%3\" stroke-width=\"1\">"
            "<rect x=\"12\" y=\"44\" width=\"12\" height=\"10\" rx=\"1.5\"/>"
            "<rect x=\"26\" y=\"44\" width=\"12\" height=\"10\" rx=\"1.5\"/>"
            "<rect x=\"40\" y=\"44\" width=\"12\" height=\"10\" rx=\"1.5\"/></g>\n"
            "  <g fill=\"%7\"><rect x=\"15\" y=\"46\" width=\"6\" height=\"6\"/>"
            "<polygon points=\"30,46 36,49 30,52\"/>"
            "<rect x=\"43\" y=\"46\" width=\"2\" height=\"6\"/><rect x=\"47\" y=\"46\" width=\"2\" "
            "height=\"6\"/></g>\n"
            "</svg>\n")
            .arg(p::kPanelTop.lighter(115).name(), p::kPanelBottom.name(), p::kKeyRim.name(),
                 p::kLcdGlass.name(), columns, p::kKeyTop.name(), p::kSymbol.name());
    return svg.toUtf8();
}

// ---- main window ----------------------------------------------------------

QImage TabPicture(bool selected, qreal dpr) {
    QImage image = Blank(kTabSize, dpr);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.moveTo(0.5, kTabSize.height());
    path.lineTo(0.5, 4.5);
    path.quadTo(0.5, 0.5, 4.5, 0.5);
    path.lineTo(kTabSize.width() - 4.5, 0.5);
    path.quadTo(kTabSize.width() - 0.5, 0.5, kTabSize.width() - 0.5, 4.5);
    path.lineTo(kTabSize.width() - 0.5, kTabSize.height());
    QLinearGradient g(0, 0, 0, kTabSize.height());
    g.setColorAt(0, selected ? p::kTabSelected.lighter(118) : p::kTabIdle.lighter(110));
    g.setColorAt(1, selected ? p::kTabSelected : p::kTabIdle);
    painter.setPen(QPen(selected ? p::kBevelLight : p::kBevelDark, 1));
    painter.setBrush(g);
    painter.drawPath(path);
    if (selected) {
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.fillRect(QRect(6, 2, kTabSize.width() - 12, 1), p::kSegmentLit);
    }
    return image;
}

QImage RollStripPicture(int part, qreal dpr) {
    const QSize size = kRollStripSize[part == 0 ? 0 : 1];
    QImage image = Blank(size, dpr);
    QPainter painter(&image);
    if (part == 0) {
        QLinearGradient g(0, 0, 0, size.height());
        g.setColorAt(0, p::kTabSelected.lighter(118));
        g.setColorAt(1, p::kTabSelected);
        painter.fillRect(QRect(QPoint(0, 0), size), g);
        painter.fillRect(QRect(0, 0, size.width(), 1), p::kBevelLight);
        painter.fillRect(QRect(0, size.height() - 1, size.width(), 1), p::kBevelDark);
        painter.fillRect(QRect(size.width() - 1, 0, 1, size.height()), p::kBevelDark);
        painter.fillRect(QRect(4, 2, 2, size.height() - 4), p::kSegmentLit);
        // Fold-down mark: the panel below comes back on unrolling.
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(p::kSegmentLit);
        const qreal cx = size.width() - 11.5, cy = size.height() / 2.0;
        painter.drawPolygon(
            QPolygonF({QPointF(cx - 4, cy - 2), QPointF(cx + 4, cy - 2), QPointF(cx, cy + 3)}));
        return image;
    }
    FillBrushed(painter, QRectF(QPointF(0, 0), size), p::kPanelTop, p::kPanelBottom, 7);
    painter.fillRect(QRect(0, 0, size.width(), 1), p::kPanelEdgeLight);
    painter.fillRect(QRect(0, size.height() - 1, size.width(), 1), p::kPanelEdgeDark);
    const int mid = size.height() / 2;
    painter.fillRect(QRect(14, mid, size.width() - 28, 1), p::kGroove);
    painter.fillRect(QRect(14, mid + 1, size.width() - 28, 1), p::kGrooveLight);
    Screw(painter, QPointF(7, mid + 0.5));
    Screw(painter, QPointF(size.width() - 7, mid + 0.5));
    return image;
}

// ---- fonts ----------------------------------------------------------------

QFont EngraveFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("DejaVu Sans"),
                      QStringLiteral("Sans Serif")});
    font.setPixelSize(pixelSize);
    font.setBold(pixelSize <= 8);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

QFont JapaneseFont(int pixelSize) {
    QFont font;
    font.setFamilies({QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("Unifont-JP"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(pixelSize);
    return font;
}

}  // namespace sonfara::ui
