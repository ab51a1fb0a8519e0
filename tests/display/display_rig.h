// An output layer on a recording port with a display source over it.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>
#include <string>

#include "player/display/display_source.h"
#include "player/platform/clock.h"
#include "tests/support_code/output_rig.h"

namespace sonfara::display::test {

inline constexpr uint8_t kNoteOn = 0x90, kControl = 0xB0;
inline constexpr uint8_t kCcVolume = 7, kCcPan = 10, kCcExpression = 11;

struct DisplayRig : sonfara::test::OutputRig {
    OutputLayerSource src{out};

    DisplayRig() { EXPECT_TRUE(out.OpenOutputPort(0).ok()); }
    // Channel c is 1-based.
    void Note(int c, int note, int velocity) {
        out.SendShortMessage(kNoteOn | (c - 1), static_cast<uint8_t>(note),
                             static_cast<uint8_t>(velocity));
    }
    void Cc(int c, uint8_t cc, int v) {
        out.SendShortMessage(kControl | (c - 1), cc, static_cast<uint8_t>(v));
    }
};

// The first pixel of the logical rectangle r (at the image's ratio) that
// is not colour c, as "x,y #rrggbb"; empty when all are.
inline std::string FirstOtherPixel(const QImage& img, QRect r, QColor c) {
    const int s = static_cast<int>(img.devicePixelRatio());
    for (int y = r.top() * s; y < (r.bottom() + 1) * s; ++y)
        for (int x = r.left() * s; x < (r.right() + 1) * s; ++x)
            if (img.pixelColor(x, y).rgb() != c.rgb())
                return std::to_string(x) + "," + std::to_string(y) + " " +
                       img.pixelColor(x, y).name().toStdString();
    return {};
}

}  // namespace sonfara::display::test
