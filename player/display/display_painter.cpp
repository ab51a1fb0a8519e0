#include "player/display/display_painter.h"

#include "player/display/artwork.h"

namespace sonfara::display {
namespace {

// The left part of an image, width logical pixels wide, at its full height.
void DrawPart(QPainter& p, QPoint at, const QImage& img, int width) {
    if (width <= 0) return;
    const qreal r = img.devicePixelRatio();
    const int h = qRound(img.height() / r);
    p.drawImage(QRect(at, QSize(width, h)), img, QRectF(0, 0, width * r, img.height()));
}

QFont ReadoutFont() {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(11);
    f.setBold(true);
    return f;
}

}  // namespace

DisplayArt::DisplayArt(qreal dpr)
    : levelBar(LevelBarArtwork(dpr)),
      smallBar(SmallBarArtwork(dpr)),
      stereoBar(StereoBarArtwork(dpr)),
      lampLit(LampArtwork(dpr, true)),
      lampUnlit(LampArtwork(dpr, false)) {}

void PaintKeyboardPanel(QPainter& p, const QImage& keyboard, const DisplayController& d,
                        const DisplayArt& art) {
    p.drawImage(QPoint(0, 0), keyboard);
    p.drawImage(QPoint(kKeyboardSize.width(), 0), d.Knobs().Image());
    for (int c = 1; c <= kChannels; ++c) {
        // Wider than the artwork only for levels out of range: clipped.
        DrawPart(p, LevelBarOrigin(c), art.levelBar, std::min(d.Levels().MeterWidth(c), 105));
        p.drawImage(LampRect(c).topLeft(), d.Lamps().Lit(c) ? art.lampLit : art.lampUnlit);
    }
    DrawPart(p, kNoteCountBar, art.smallBar, d.NoteCount().BarWidth());
    DrawPart(p, kCpuLoadBar, art.smallBar, d.CpuLoad().BarWidth());
    p.setFont(ReadoutFont());
    p.setPen(kReadoutText);
    p.drawText(kNoteCountText, Qt::AlignRight | Qt::AlignVCenter, d.NoteCount().Text());
    if (d.CpuLoad().Shown() >= 0)
        p.drawText(kCpuLoadText, Qt::AlignRight | Qt::AlignVCenter, d.CpuLoad().Text());
}

void PaintBarPanel(QPainter& p, const DisplayController& d, const DisplayArt& art) {
    p.drawImage(QPoint(0, 0), d.Levels().BarDisplay());
    const int y = kBarDisplaySize.height();
    p.fillRect(QRect(0, y, kBarPanelSize.width(), kBarPanelSize.height() - y), kBezelColour);
    DrawPart(p, QPoint(12, y + 3), art.stereoBar, d.Levels().LeftWidth());
    DrawPart(p, QPoint(12, y + 8), art.stereoBar, d.Levels().RightWidth());
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(6);
    f.setBold(true);
    p.setFont(f);
    p.setPen(QColor(110, 122, 136));
    p.drawText(QRect(2, y + 1, 9, 7), Qt::AlignCenter, QStringLiteral("L"));
    p.drawText(QRect(2, y + 6, 9, 7), Qt::AlignCenter, QStringLiteral("R"));
}

}  // namespace sonfara::display
