#include "player/display/artwork.h"

#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>

#include "player/display/display_geometry.h"
#include "player/ui/palette.h"

namespace sonfara::display {
namespace {

namespace P = ui::palette;

// The released look of one key, exactly what the keyboard draws on release.
void PaintReleasedKey(QPainter& p, int c, int note) {
    if (IsBlackKey(note)) {
        p.fillRect(KeyRect(c, note), P::kBlackKey);
        p.fillRect(KeyHighlightRect(c, note), P::kBlackKeyHighlight);
    } else {
        p.fillRect(KeyRect(c, note), P::kWhiteKey);
    }
}

void PaintKeyboardRow(QPainter& p, int c) {
    const int y0 = KeyRowTop(c);
    // Key bed: the dark gaps between keys are the bed showing through.
    p.fillRect(QRect(198, y0 - 1, kKeyboardSize.width() - 198, 17), P::kKeyBed);
    // Upper halves of the white keys, beside and between the black keys.
    for (int note = 0; note < 128; ++note) {
        if (IsBlackKey(note)) continue;
        const QRect lower = KeyRect(c, note);
        p.fillRect(QRect(lower.left(), y0, 3, 10), P::kWhiteKeyUpper);
    }
    for (int note = 0; note < 128; ++note) PaintReleasedKey(p, c, note);
}

// Continued across the knob panel, so each channel row reads as one band.
void PaintRowSeparators(QPainter& p, int width) {
    for (int j = 0; j < kRowSeparators; ++j)
        p.fillRect(QRect(0, RowSeparatorY(j), width, 1), P::kRowSeparator);
}

QFont PixelFont(int px, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(px);
    f.setBold(bold);
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

}  // namespace

QImage MakeImage(QSize logical, qreal dpr, const QColor& fill) {
    QImage img(logical * dpr, QImage::Format_RGB32);
    img.setDevicePixelRatio(dpr);
    img.fill(fill);
    return img;
}

QImage KeyboardArtwork(qreal dpr) {
    QImage img = MakeImage(kKeyboardSize, dpr, P::kDisplayPanel);
    QPainter p(&img);
    p.setFont(PixelFont(9, true));
    for (int c = 1; c <= kChannels; ++c) {
        const int top = 19 * (c - 1) + 13;
        // Recessed label window and a trough for the level bar below it.
        p.fillRect(QRect(16, top, 182, 16), P::kDisplayBezel);
        p.fillRect(QRect(17, top + 16, 107, 3), P::kDisplayTrough);
        p.setPen(P::kLabelDivider);
        p.drawLine(147, top + 2, 147, top + 13);
        p.drawLine(169, top + 2, 169, top + 13);
        PaintKeyboardRow(p, c);
    }
    // Bottom strip for the readouts; its top edge is the last row separator.
    p.fillRect(QRect(0, 316, kKeyboardSize.width(), 19), P::kDisplayBezel);
    PaintRowSeparators(p, kKeyboardSize.width());
    p.setPen(P::kDisplayCaption);
    p.setFont(PixelFont(8, true));
    p.drawText(QRect(2, 319, 34, 13), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("NOTES"));
    // Captions end just before the readout they name.
    p.drawText(QRect(134, 319, 52, 13), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("TIMEBASE"));
    p.drawText(QRect(225, 319, 25, 13), Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("BEAT"));
    p.drawText(QRect(292, 319, 24, 13), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("BPM"));
    p.drawText(QRect(352, 319, 20, 13), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("CPU"));
    p.fillRect(QRect(kNoteCountBar, kSmallBarSize), P::kDisplayTrough);
    p.fillRect(QRect(kCpuLoadBar, QSize(kSmallBarSize.width(), kSmallBarSize.height())),
               P::kDisplayTrough);
    return img;
}

QImage KnobFaceArtwork(qreal dpr) {
    QImage img = MakeImage(kKnobFaceSize, dpr, P::kDisplayPanel);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    QRadialGradient g(QPointF(6.0, 5.0), 8.0);
    g.setColorAt(0.0, P::kKnobFaceShine);
    g.setColorAt(0.7, P::kKnobFaceBody);
    g.setColorAt(1.0, P::kKnobFaceEdge);
    p.setPen(QPen(P::kKnobFaceRim, 1.0));
    p.setBrush(g);
    p.drawEllipse(QRectF(0.5, 0.5, 14.0, 14.0));
    return img;
}

QImage KnobPanelArtwork(qreal dpr) {
    QImage img = MakeImage(kKnobPanelSize, dpr, P::kDisplayPanel);
    QPainter p(&img);
    p.setPen(P::kDisplayCaption);
    p.setFont(PixelFont(6, true));
    static const char* kCaps[kKnobs] = {"VOL", "PAN", "EXP", "PB", "MOD", "REV", "CHO"};
    for (int k = 1; k <= kKnobs; ++k)
        p.drawText(QRect(18 * k - 17, 4, 19, 9), Qt::AlignCenter,
                   QString::fromLatin1(kCaps[k - 1]));
    const QImage face = KnobFaceArtwork(dpr);
    for (int b = 1; b <= kChannels; ++b)
        for (int k = 1; k <= kKnobs; ++k) p.drawImage(KnobFaceOrigin(k, b), face);
    p.fillRect(QRect(0, 316, kKnobPanelSize.width(), 19), P::kDisplayBezel);
    PaintRowSeparators(p, kKnobPanelSize.width());
    return img;
}

namespace {
QImage GradientBar(QSize size, qreal dpr) {
    QImage img = MakeImage(size, dpr, P::kDisplayTrough);
    QPainter p(&img);
    QLinearGradient g(0, 0, size.width(), 0);
    g.setColorAt(0.0, P::kMeterLow);
    g.setColorAt(0.65, P::kMeterMid);
    g.setColorAt(0.85, P::kMeterAmber);
    g.setColorAt(1.0, P::kMeterHigh);
    p.fillRect(QRect(QPoint(0, 0), size), g);
    return img;
}
}  // namespace

QImage LevelBarArtwork(qreal dpr) {
    return GradientBar(kLevelBarSize, dpr);
}
QImage SmallBarArtwork(qreal dpr) {
    return GradientBar(kSmallBarSize, dpr);
}
QImage StereoColumnArtwork(qreal dpr, bool lit) {
    const QSize size = StereoColumnRect(0).size();
    QImage img = MakeImage(size, dpr, P::kBarGlass);
    QPainter p(&img);
    QLinearGradient g(0, size.height(), 0, 0);
    g.setColorAt(0.0, P::kTileLit);
    g.setColorAt(0.7, P::kStereoMid);
    g.setColorAt(0.85, P::kMeterAmber);
    g.setColorAt(1.0, P::kStereoHigh);
    // Two lit rows and one gap per step, on the columns' 3-pixel pitch.
    for (int y = 0; y < size.height(); y += 3) {
        const QRect step(0, y, size.width(), 2);
        if (lit)
            p.fillRect(step, g);
        else
            p.fillRect(step, P::kTileUnlit);
    }
    return img;
}

QImage BarDisplayArtwork(qreal dpr) {
    return MakeImage(kBarDisplaySize, dpr, P::kBarGlass);
}

QImage TileStripArtwork(qreal dpr) {
    QImage img = MakeImage(QSize(13, 3), dpr, P::kBarGlass);
    QPainter p(&img);
    p.fillRect(kUnlitTile, P::kTileUnlit);
    p.fillRect(kLitTile, P::kTileLit);
    p.fillRect(QRect(kLitTile.left(), 2, 6, 1), P::kTileLitFoot);
    return img;
}

QImage LampArtwork(qreal dpr, bool lit) {
    QImage img = MakeImage(kLampSize, dpr, P::kDisplayPanel);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(P::kDisplayTrough);
    p.drawRoundedRect(QRectF(0.5, 0.5, 8.0, 13.0), 2.0, 2.0);
    QRadialGradient g(QPointF(4.5, 7.0), 5.0);
    g.setColorAt(0.0, lit ? P::kLampLitCentre : P::kLampUnlitCentre);
    g.setColorAt(1.0, lit ? P::kLampLitEdge : P::kLampUnlitEdge);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1.5, 1.5, 6.0, 11.0), 1.5, 1.5);
    return img;
}

}  // namespace sonfara::display
