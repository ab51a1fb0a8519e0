#include "player/panels/event_page.h"

#include <QString>

#include "player/panels/panel_style.h"
#include "player/ui/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::panels {
namespace {

namespace S = style;
namespace P = ui::palette;

// Band of line i: from its marker row down to the row above the next marker,
// so the marker rules the top of the line it points at.
QRect LineBand(int i) {
    return QRect(0, MarkerY(i - 1), kEventPictureSize.width(), 16);
}

void DrawBackground(QPainter& painter) {
    const int w = kEventPictureSize.width(), h = kEventPictureSize.height();
    painter.fillRect(QRect(0, 0, w, h), P::kPaper);
    for (int i = 2; i <= song::kLinesPerPage; i += 2) painter.fillRect(LineBand(i), P::kPaperBand);
    for (const int x : {kNameX - 3, kChannelX - 3, kParamX - 4})
        painter.fillRect(QRect(x, kHeaderHeight, 1, h - kHeaderHeight), P::kPaperRule);
    // Header strip: engraved column captions on the panel's glass.
    painter.fillRect(QRect(0, 0, w, kHeaderHeight), P::kHeaderBand);
    painter.fillRect(QRect(0, kHeaderHeight, w, 1), P::kPaperShade);
    painter.setFont(ui::EngraveFont(9));
    const struct {
        int x;
        const char* text;
    } captions[] = {{kPositionX + 2, "MEAS BEAT TICK"},
                    {kNameX, "EVENT"},
                    {kChannelX, "CH"},
                    {kParamX, "PARAMETER"}};
    for (const auto& c : captions) {
        painter.setPen(P::kEngraveCut);
        painter.drawText(QRect(c.x, 2, 200, 12), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromLatin1(c.text));
        painter.setPen(P::kEngraveDim);
        painter.drawText(QRect(c.x, 1, 200, 12), Qt::AlignLeft | Qt::AlignTop,
                         QString::fromLatin1(c.text));
    }
}

void DrawText(QPainter& painter, int x, int top, const std::string& utf8, QColor colour) {
    if (utf8.empty()) return;
    painter.setPen(colour);
    // The whole text is drawn: a double-byte label is never cut to a byte count.
    painter.drawText(QRect(x, top, kEventPictureSize.width() - x, 16),
                     Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     QString::fromStdString(utf8));
}

}  // namespace

QColor LineColour(uint32_t bgr) {
    return QColor(bgr & 0xff, (bgr >> 8) & 0xff, (bgr >> 16) & 0xff);
}

QImage DrawEventPage(const song::EventPage& page, qreal dpr) {
    QImage image(kEventPictureSize * dpr, QImage::Format_RGB32);
    image.setDevicePixelRatio(dpr);
    QPainter painter(&image);
    DrawBackground(painter);
    painter.setFont(S::TextFont(kEventFontPixels));
    for (int i = 1; i <= song::kLinesPerPage; ++i) {
        const song::EventLine& line = page[i - 1];
        const int top = LineTop(i);
        DrawText(painter, kPositionX, top, line.position, P::kPaperText);
        DrawText(painter, kNameX, top, line.name, LineColour(line.colour));
        DrawText(painter, kChannelX, top, line.channel, P::kPaperText);
        DrawText(painter, kParamX, top, line.param, P::kPaperText);
    }
    return image;
}

void DrawMarker(QPainter& painter, int row) {
    if (row < 0 || row >= song::kLinesPerPage) return;
    painter.fillRect(QRect(0, MarkerY(row), kEventPictureSize.width(), 1), P::kMarker);
}

}  // namespace sonfara::panels
