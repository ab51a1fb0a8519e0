#include "player/display/display_painter.h"

#include "player/display/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::display {
namespace {

namespace P = ui::palette;

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
      stereoLit(StereoColumnArtwork(dpr, true)),
      stereoUnlit(StereoColumnArtwork(dpr, false)),
      lampLit(LampArtwork(dpr, true)),
      lampUnlit(LampArtwork(dpr, false)) {}

void PaintKeyboardPanel(QPainter& p, const QImage& keyboard, const DisplayController& d,
                        const DisplayArt& art, const QRect& dirty) {
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
    p.setPen(P::kReadoutText);
    if (dirty.intersects(kNoteCountText))
        p.drawText(kNoteCountText, Qt::AlignRight | Qt::AlignVCenter, d.NoteCount().Text());
    if (d.CpuLoad().Shown() >= 0 && dirty.intersects(kCpuLoadText))
        p.drawText(kCpuLoadText, Qt::AlignRight | Qt::AlignVCenter, d.CpuLoad().Text());
    if (dirty.intersects(kSongLabelsArea)) {
        p.drawText(kDivisionText, Qt::AlignLeft | Qt::AlignVCenter, d.DivisionText());
        p.drawText(kBeatText, Qt::AlignLeft | Qt::AlignVCenter, d.BeatText());
    }
}

void PaintBarPanel(QPainter& p, const DisplayController& d, const DisplayArt& art) {
    p.drawImage(QPoint(0, 0), d.Levels().BarDisplay());
    const int widths[2] = {d.Levels().LeftWidth(), d.Levels().RightWidth()};
    const char* const captions[2] = {"L", "R"};
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPixelSize(7);
    f.setBold(true);
    p.setFont(f);
    p.setPen(P::kBarCaption);
    for (int side = 0; side < 2; ++side) {
        const QRect column = StereoColumnRect(side);
        p.drawImage(column.topLeft(), art.stereoUnlit);
        // The lit part grows from the foot.
        const int lit = StereoColumnLit(widths[side]);
        const qreal r = art.stereoLit.devicePixelRatio();
        const QRect target(column.left(), column.bottom() + 1 - lit, column.width(), lit);
        if (lit > 0)
            p.drawImage(target, art.stereoLit,
                        QRectF(0, (column.height() - lit) * r, column.width() * r, lit * r));
        p.drawText(StereoCaptionRect(side), Qt::AlignCenter, QString::fromLatin1(captions[side]));
    }
}

}  // namespace sonfara::display
