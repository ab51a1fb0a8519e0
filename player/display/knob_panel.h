// The knob panel: seven controller knobs per channel row, 131 × 335.
// UI thread.
#pragma once

#include <QImage>
#include <array>

#include "player/display/display_geometry.h"
#include "player/display/display_source.h"

namespace sonfara::display {

// Knob order on a row; the values a reset leaves.
enum class Knob { kVolume, kPan, kExpression, kPitchBend, kModulation, kReverb, kChorus };
inline constexpr std::array<int, kKnobs> kKnobResetValues{100, 64, 0, 0, 0, 0, 0};

int KnobValue(const sequencer::ChannelState& ch, Knob k);

class KnobPanel {
  public:
    explicit KnobPanel(qreal dpr = 1.0);

    // Every knob back at its reset value, as the output reset leaves them.
    void Reset();
    // Redraws the changed knobs of channels whose controller flag was set;
    // returns the logical rectangle changed.
    QRect DrawControllerKnobs(DisplaySource& src);

    int ShownKnob(int b, int k) const { return shown_[b - 1][k - 1]; }  // 1-based
    const QImage& Image() const { return image_; }

  private:
    QRect PaintKnob(int b, int k, int v);

    qreal dpr_;
    QImage base_, face_, image_;
    std::array<std::array<int, kKnobs>, kChannels> shown_{};
};

}  // namespace sonfara::display
