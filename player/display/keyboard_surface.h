// The keyboard surface: sixteen keyboards, the channel labels and the tempo
// text in one 480 × 335 image. Owned and drawn by the drawing thread only;
// the UI thread gets finished copies through a FrameMailbox.
#pragma once

#include <QImage>
#include <QString>
#include <array>
#include <atomic>
#include <functional>
#include <string>

#include "player/display/display_geometry.h"
#include "player/display/display_source.h"

namespace sonfara::display {

// The instrument label for (program, bank, map); UTF-8. Called on the
// drawing thread. The default shows the number only ("001:").
using InstLabelFn = std::function<std::string(int program, int bank, int map)>;
std::string NumberOnlyInstLabel(int program, int bank, int map);

class KeyboardSurface {
  public:
    explicit KeyboardSurface(qreal dpr = 1.0, InstLabelFn instLabel = NumberOnlyInstLabel);

    // Back to the static image with every key released; the labels and the
    // tempo text stay as they were and are drawn again.
    void Reset();

    // Each returns the logical rectangle it changed (empty when nothing).
    QRect DrawKeyboards(DisplaySource& src);
    QRect UpdateChannelLabels(DisplaySource& src);
    QRect UpdateTempoLabel(DisplaySource& src);

    // A switched-off channel's label is drawn dimmed. Any thread; drawn on
    // the next UpdateChannelLabels.
    void SetChannelDimmed(int c, bool dimmed) { dimmed_[c - 1].store(dimmed); }

    const QImage& Image() const { return image_; }
    const QString& InstText(int c) const { return labels_[c - 1].inst; }

  private:
    struct Label {
        int program = 0, bank = 0, map = 0;
        QString inst, bankText, mapText;
        bool dimmed = false;
    };
    void PaintLabel(int c);
    void PaintTempo();
    void SetInstText(int c, const sequencer::ChannelState& ch);

    qreal dpr_;
    InstLabelFn instLabel_;
    QImage background_;
    QImage image_;
    std::array<std::array<bool, 128>, kChannels> shownNoteOn_{};
    std::array<Label, kChannels> labels_;
    std::array<std::atomic<bool>, kChannels> dimmed_{};
    std::string shownTempo_;
};

}  // namespace sonfara::display
