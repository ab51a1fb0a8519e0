// Keys, labels and knobs at their pixel coordinates, at ratio 1 and 2.
#include <gtest/gtest.h>

#include "player/display/keyboard_surface.h"
#include "player/display/knob_panel.h"
#include "player/ui/palette.h"
#include "tests/display/display_rig.h"

namespace sonfara::display {
namespace {

namespace P = ui::palette;

using test::DisplayRig;
using test::FirstOtherPixel;

TEST(KeyboardSurface, KeysLightAndReleaseAtTheirRectanglesAtBothRatios) {
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        DisplayRig rig;
        KeyboardSurface kb(dpr);
        kb.DrawKeyboards(rig.src);  // the reset's dirty flags
        ASSERT_EQ(kb.Image().size(), kKeyboardSize * dpr);
        const QImage before = kb.Image();

        // Middle C on channel 1: columns 339-341, rows 25-29.
        const QRect c4(QPoint(339, 25), QPoint(341, 29));
        rig.Note(1, 60, 100);
        EXPECT_EQ(kb.DrawKeyboards(rig.src), c4);
        EXPECT_EQ(FirstOtherPixel(kb.Image(), c4, P::kPressedKey), "");
        EXPECT_EQ(FirstOtherPixel(kb.Image(), QRect(338, 25, 1, 5), P::kPressedKey).empty(), false);
        EXPECT_EQ(FirstOtherPixel(kb.Image(), QRect(342, 25, 1, 5), P::kPressedKey).empty(), false);
        rig.Note(1, 60, 0);
        kb.DrawKeyboards(rig.src);
        EXPECT_EQ(FirstOtherPixel(kb.Image(), c4, P::kWhiteKey), "");

        // C sharp: columns 341-343, rows 15-23; released grey with the
        // highlight in column 341, rows 15-22.
        const QRect cs4(QPoint(341, 15), QPoint(343, 23));
        rig.Note(1, 61, 100);
        EXPECT_EQ(kb.DrawKeyboards(rig.src), cs4);
        EXPECT_EQ(FirstOtherPixel(kb.Image(), cs4, P::kPressedKey), "");
        rig.Note(1, 61, 0);
        kb.DrawKeyboards(rig.src);
        EXPECT_EQ(FirstOtherPixel(kb.Image(), QRect(QPoint(341, 15), QPoint(341, 22)),
                                  P::kBlackKeyHighlight),
                  "");
        EXPECT_EQ(FirstOtherPixel(kb.Image(), QRect(341, 23, 1, 1), P::kBlackKey), "");
        EXPECT_EQ(
            FirstOtherPixel(kb.Image(), QRect(QPoint(342, 15), QPoint(343, 23)), P::kBlackKey), "");
        // Released keys look exactly like the artwork.
        EXPECT_EQ(kb.Image(), before);

        // Nothing dirty: nothing drawn; note 0 is never drawn.
        EXPECT_TRUE(kb.DrawKeyboards(rig.src).isEmpty());
        rig.Note(2, 0, 100);
        EXPECT_TRUE(kb.DrawKeyboards(rig.src).isEmpty());
    }
}

// The row separators lie between the rows: every key of every channel
// pressed and released leaves all 17 lines whole, at both ratios.
TEST(KeyboardSurface, RowSeparatorsSurviveKeyRedrawsAtBothRatios) {
    EXPECT_EQ(RowSeparatorY(1), 31);
    EXPECT_EQ(RowSeparatorY(kRowSeparators - 1), 316);
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        DisplayRig rig;
        KeyboardSurface kb(dpr);
        for (int c = 1; c <= kChannels; ++c)
            for (int note = 1; note < 128; ++note) rig.Note(c, note, 100);
        kb.DrawKeyboards(rig.src);
        for (int c = 1; c <= kChannels; ++c)
            for (int note = 1; note < 128; ++note) rig.Note(c, note, 0);
        kb.DrawKeyboards(rig.src);
        for (int j = 0; j < kRowSeparators; ++j) {
            SCOPED_TRACE(j);
            const QRect line(0, RowSeparatorY(j), kKeyboardSize.width(), 1);
            EXPECT_EQ(FirstOtherPixel(kb.Image(), line, P::kRowSeparator), "");
        }
    }
}

TEST(KeyboardSurface, ChannelLabelsFollowProgramBankAndMapButDrumsKeepTheirName) {
    DisplayRig rig;
    KeyboardSurface kb(1.0, [](int p, int b, int m) {
        return std::to_string(p) + "/" + std::to_string(b) + "/" + std::to_string(m);
    });
    EXPECT_EQ(kb.InstText(10).toStdString(), "DrumSet");
    rig.out.SendShortMessage(0xC0, 5, 0);
    rig.out.SendShortMessage(0xC9, 5, 0);
    EXPECT_FALSE(kb.UpdateChannelLabels(rig.src).isEmpty());
    EXPECT_EQ(kb.InstText(1).toStdString(), "5/0/0");
    EXPECT_EQ(kb.InstText(10).toStdString(), "DrumSet");
    // A bank change on channel 10 names the program last shown there (0).
    rig.Cc(10, 0, 8);
    kb.UpdateChannelLabels(rig.src);
    EXPECT_EQ(kb.InstText(10).toStdString(), "0/8/0");
    EXPECT_TRUE(kb.UpdateChannelLabels(rig.src).isEmpty());

    rig.out.BPMText.Set("120");
    EXPECT_EQ(kb.UpdateTempoLabel(rig.src), kTempoText);
    EXPECT_TRUE(kb.UpdateTempoLabel(rig.src).isEmpty());
}

TEST(KnobPanel, PointerBoxFollowsTheAngleArithmeticAtBothRatios) {
    // 64 points straight up: (18k - 9, 19b - 3) to (18k - 6, 19b).
    EXPECT_EQ(KnobPointerRect(3, 5, 64), QRect(QPoint(45, 92), QPoint(48, 95)));
    EXPECT_EQ(KnobPointerRect(1, 1, 0), QRect(QPoint(6, 25), QPoint(9, 28)));      // 240°
    EXPECT_EQ(KnobPointerRect(1, 1, 100), QRect(QPoint(14, 21), QPoint(17, 24)));  // about 6°
    for (qreal dpr : {1.0, 2.0}) {
        SCOPED_TRACE(dpr);
        DisplayRig rig;
        KnobPanel knobs(dpr);
        ASSERT_EQ(knobs.Image().size(), kKnobPanelSize * dpr);
        for (int b = 1; b <= 16; ++b)
            for (int k = 1; k <= 7; ++k) ASSERT_EQ(knobs.ShownKnob(b, k), kKnobResetValues[k - 1]);
        knobs.DrawControllerKnobs(rig.src);  // the reset's dirty flags: nothing differs
        const QImage atReset = knobs.Image();
        EXPECT_EQ(FirstOtherPixel(atReset, KnobPointerRect(3, 5, 0), P::kKnobPointer), "");

        rig.Cc(5, test::kCcExpression, 64);
        EXPECT_EQ(knobs.DrawControllerKnobs(rig.src), QRect(KnobFaceOrigin(3, 5), kKnobFaceSize));
        EXPECT_EQ(knobs.ShownKnob(5, 3), 64);
        EXPECT_EQ(
            FirstOtherPixel(knobs.Image(), QRect(QPoint(45, 92), QPoint(48, 95)), P::kKnobPointer),
            "");
        // The old pointer is gone: the face was copied over it.
        const QRect old = KnobPointerRect(3, 5, 0);
        for (int y = old.top(); y <= old.bottom(); ++y)
            for (int x = old.left(); x <= old.right(); ++x)
                EXPECT_NE(knobs.Image().pixelColor(x * dpr, y * dpr).rgb(), P::kKnobPointer.rgb());
        // Flag taken: nothing more until the next controller.
        EXPECT_TRUE(knobs.DrawControllerKnobs(rig.src).isEmpty());
        knobs.Reset();
        EXPECT_EQ(knobs.Image(), atReset);
    }
}

// At 192 (a pitch bend) 5·sin a is 2.5 exactly: pi to six decimals rounds
// it to 2, every digit of pi to 3, a pointer one pixel higher.
TEST(KnobPanel, PointerAtAnExactHalfStandsWhereSixDigitsOfPiPutIt) {
    EXPECT_EQ(KnobPointerRect(4, 1, 192), QRect(QPoint(59, 19), QPoint(62, 22)));
}

}  // namespace
}  // namespace sonfara::display
