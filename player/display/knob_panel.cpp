#include "player/display/knob_panel.h"

#include <QPainter>
#include <cmath>
#include <numbers>

#include "player/display/artwork.h"
#include "player/ui/palette.h"

namespace sonfara::display {
namespace {
constexpr auto kRelaxed = std::memory_order_relaxed;
// The pointer angle takes pi to six decimals, as it always has. At 192 (a
// pitch bend) 5·sin a is 2.5 exactly; these digits land just below it (2),
// every digit of pi just above (3), one pixel off.
constexpr double kPi = static_cast<long long>(std::numbers::pi * 1e6) / 1e6;
static_assert(kPi == 3.141592);
}  // namespace

QRect KnobPointerRect(int k, int b, int v) {
    const double degrees = v * 2.8125 / 180.0 * (-150.0) + 240.0;
    const double a = degrees * kPi / 180.0;
    // Nearest integer, halves to even (the default rounding mode).
    const int dx = static_cast<int>(std::nearbyint(5.0 * std::cos(a)));
    const int dy = static_cast<int>(std::nearbyint(5.0 * std::sin(a)));
    return QRect(QPoint(18 * k - 9 + dx, 19 * b + 2 - dy),
                 QPoint(18 * k - 6 + dx, 19 * b + 5 - dy));
}

int KnobValue(const sequencer::ChannelState& ch, Knob k) {
    switch (k) {
        case Knob::kVolume:
            return ch.Volume.load(kRelaxed);
        case Knob::kPan:
            return ch.Pan.load(kRelaxed);
        case Knob::kExpression:
            return ch.Expression.load(kRelaxed);
        case Knob::kPitchBend:
            return ch.PitchBend.load(kRelaxed);
        case Knob::kModulation:
            return ch.Modulation.load(kRelaxed);
        case Knob::kReverb:
            return ch.Reverb.load(kRelaxed);
        case Knob::kChorus:
            return ch.Chorus.load(kRelaxed);
    }
    return 0;
}

KnobPanel::KnobPanel(qreal dpr)
    : dpr_(dpr), base_(KnobPanelArtwork(dpr)), face_(KnobFaceArtwork(dpr)) {
    Reset();
}

void KnobPanel::Reset() {
    image_ = base_.copy();
    image_.setDevicePixelRatio(dpr_);
    for (int b = 1; b <= kChannels; ++b)
        for (int k = 1; k <= kKnobs; ++k) {
            shown_[b - 1][k - 1] = kKnobResetValues[k - 1];
            PaintKnob(b, k, kKnobResetValues[k - 1]);
        }
}

QRect KnobPanel::PaintKnob(int b, int k, int v) {
    QPainter p(&image_);
    const QPoint at = KnobFaceOrigin(k, b);
    p.drawImage(at, face_);
    p.fillRect(KnobPointerRect(k, b, v), ui::palette::kKnobPointer);
    return QRect(at, kKnobFaceSize) | KnobPointerRect(k, b, v);
}

QRect KnobPanel::DrawControllerKnobs(DisplaySource& src) {
    QRect changed;
    for (int b = 1; b <= kChannels; ++b) {
        if (!src.TakeDirty(b)) continue;
        const sequencer::ChannelState& ch = src.Channel(b);
        for (int k = 1; k <= kKnobs; ++k) {
            const int v = KnobValue(ch, static_cast<Knob>(k - 1));
            if (v == shown_[b - 1][k - 1]) continue;
            shown_[b - 1][k - 1] = v;
            changed |= PaintKnob(b, k, v);
        }
    }
    return changed;
}

}  // namespace sonfara::display
