// The lyrics window "歌詞": the line being sung and the one after it, the
// syllables already sung in another colour. The text grows with the window
// (so it can fill a television), F11 or a double click toggles full screen.
// It has no timer of its own: the program hands it the song position on its
// drawing tick while it is shown, so it costs nothing while closed. UI thread.
#pragma once

#include <QWidget>
#include <memory>

#include "player/song/lyrics.h"

namespace sonfara::dialogs {

class LyricsWindow final : public QWidget {
    Q_OBJECT
  public:
    explicit LyricsWindow(QWidget* parent = nullptr);

    // The song's lyrics (null or empty: the window says there are none).
    void SetLyrics(std::shared_ptr<const song::Lyrics> lyrics);
    // The song position in ms; repaints only when another syllable is due.
    void SetPositionMs(int32_t ms);
    const song::LyricPosition& Position() const { return position_; }
    // The lines shown: the current one and the next (-1 none).
    int CurrentLine() const;
    int NextLine() const;
    // The pixel size of the text for the current window size.
    int TextPixelSize() const;
    void ToggleFullScreen();

  signals:
    void hidden();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void DrawLine(QPainter& p, int line, const QRect& box, bool current);

    std::shared_ptr<const song::Lyrics> lyrics_;
    song::LyricPosition position_;
};

}  // namespace sonfara::dialogs
