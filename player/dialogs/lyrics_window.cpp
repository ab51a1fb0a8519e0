#include "player/dialogs/lyrics_window.h"

#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "player/ui/palette.h"

namespace sonfara::dialogs {

namespace {
constexpr const char* kTitle = QT_TRANSLATE_NOOP("sonfara::dialogs::LyricsWindow", "歌詞");
constexpr const char* kNoLyrics =
    QT_TRANSLATE_NOOP("sonfara::dialogs::LyricsWindow", "この曲には歌詞がありません");
constexpr int kMinPixels = 12;
// Two lines and the gaps around them share the height.
constexpr double kLineShare = 0.28;
constexpr double kMarginShare = 0.05;

QString Q(const std::string& s) {
    return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}
}  // namespace

LyricsWindow::LyricsWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("LyricsWindow"));
    setWindowTitle(tr(kTitle));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(240, 120);
    resize(640, 240);
}

void LyricsWindow::SetLyrics(std::shared_ptr<const song::Lyrics> lyrics) {
    lyrics_ = std::move(lyrics);
    position_ = {};
    update();
}

void LyricsWindow::SetPositionMs(int32_t ms) {
    if (!lyrics_ || lyrics_->Empty()) return;
    const song::LyricPosition p = lyrics_->AtMs(ms);
    if (p.index == position_.index) return;
    position_ = p;
    update();
}

// Before the first syllable the first line waits; the current line stays
// until the first syllable of the next one is due.
int LyricsWindow::CurrentLine() const {
    if (!lyrics_ || lyrics_->Empty()) return -1;
    return std::max(position_.line, 0);
}

int LyricsWindow::NextLine() const {
    const int current = CurrentLine();
    if (current < 0 || current + 1 >= static_cast<int>(lyrics_->Lines().size())) return -1;
    return current + 1;
}

int LyricsWindow::TextPixelSize() const {
    return std::max(kMinPixels, static_cast<int>(height() * kLineShare * 0.8));
}

void LyricsWindow::ToggleFullScreen() {
    setWindowState(windowState() ^ Qt::WindowFullScreen);
}

void LyricsWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), ui::palette::kLyricsStage);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int margin = static_cast<int>(height() * kMarginShare);
    const int lineHeight = static_cast<int>(height() * kLineShare);
    const QRect first(margin, height() / 2 - lineHeight - margin / 2, width() - 2 * margin,
                      lineHeight);
    const QRect second = first.translated(0, lineHeight + margin);
    if (CurrentLine() < 0) {
        QFont f = font();
        f.setPixelSize(std::max(kMinPixels, TextPixelSize() / 2));
        p.setFont(f);
        p.setPen(ui::palette::kLyricsNextLine);
        p.drawText(rect(), Qt::AlignCenter, tr(kNoLyrics));
        return;
    }
    DrawLine(p, CurrentLine(), first, true);
    if (NextLine() >= 0) DrawLine(p, NextLine(), second, false);
}

// The line centred in its box, shrunk to the box's width when it is longer;
// on the current line each syllable up to the one sung last is lit.
void LyricsWindow::DrawLine(QPainter& p, int line, const QRect& box, bool current) {
    const song::LyricLine& l = lyrics_->Lines()[static_cast<size_t>(line)];
    QFont f = font();
    f.setPixelSize(TextPixelSize());
    QFontMetrics m(f);
    const int full = m.horizontalAdvance(Q(l.Text()));
    if (full > box.width() && full > 0) {
        f.setPixelSize(std::max(kMinPixels, TextPixelSize() * box.width() / full));
        m = QFontMetrics(f);
    }
    p.setFont(f);
    int x = box.left() + std::max(0, (box.width() - m.horizontalAdvance(Q(l.Text()))) / 2);
    const int y = box.top() + (box.height() + m.ascent() - m.descent()) / 2;
    for (size_t i = 0; i < l.syllables.size(); ++i) {
        const QString text = Q(l.syllables[i].text);
        const bool sung =
            current && line == position_.line && static_cast<int>(i) <= position_.syllable;
        p.setPen(!current ? ui::palette::kLyricsNextLine
                 : sung   ? ui::palette::kLyricsSung
                          : ui::palette::kLyricsToCome);
        p.drawText(x, y, text);
        x += m.horizontalAdvance(text);
    }
}

void LyricsWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F11) {
        ToggleFullScreen();
    } else if (event->key() == Qt::Key_Escape && isFullScreen()) {
        ToggleFullScreen();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void LyricsWindow::mouseDoubleClickEvent(QMouseEvent*) {
    ToggleFullScreen();
}

void LyricsWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit hidden();
}

}  // namespace sonfara::dialogs
