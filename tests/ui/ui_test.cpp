// Front-panel artwork at its documented pixels (ratio 1 and 2) and the
// mouse semantics of the custom widgets, driven with QTest input.
#include <gtest/gtest.h>

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

#include "player/ui/artwork.h"
#include "player/ui/palette.h"
#include "player/ui/widgets.h"

namespace sonfara::ui {
namespace {

namespace P = palette;

// Every device pixel of a logical rectangle has the colour.
::testing::AssertionResult Filled(const QImage& image, QRect logical, QColor colour) {
    const qreal dpr = image.devicePixelRatio();
    const QRect device(qRound(logical.x() * dpr), qRound(logical.y() * dpr),
                       qRound(logical.width() * dpr), qRound(logical.height() * dpr));
    for (int y = device.top(); y <= device.bottom(); ++y)
        for (int x = device.left(); x <= device.right(); ++x)
            if (image.pixelColor(x, y).rgb() != colour.rgb())
                return ::testing::AssertionFailure()
                       << "device pixel (" << x << ", " << y << ") is "
                       << image.pixelColor(x, y).name().toStdString() << ", not "
                       << colour.name().toStdString() << " at ratio " << dpr;
    return ::testing::AssertionSuccess();
}

class RatioTest : public ::testing::TestWithParam<qreal> {};

TEST_P(RatioTest, ButtonFacesSwapTheirBevelWhenPressed) {
    const qreal dpr = GetParam();
    for (const ButtonKind kind : {ButtonKind::kPlay, ButtonKind::kKeyUp, ButtonKind::kWrd}) {
        const QSize s = ButtonSize(kind);
        const QImage raised = ButtonFace(kind, false, dpr), pressed = ButtonFace(kind, true, dpr);
        ASSERT_EQ(raised.size(), s * dpr);
        const QRect top(2, 1, s.width() - 4, 1), bottom(2, s.height() - 2, s.width() - 4, 1);
        EXPECT_TRUE(Filled(raised, top, P::kBevelLight));
        EXPECT_TRUE(Filled(raised, bottom, P::kBevelDark));
        EXPECT_TRUE(Filled(pressed, top, P::kBevelDark));
        EXPECT_TRUE(Filled(pressed, bottom, P::kBevelLight));
        EXPECT_TRUE(Filled(raised, QRect(0, s.height() / 2, 1, 1), P::kKeyRim));
    }
    // The play symbol sits in the middle of the face, lit amber when pressed.
    EXPECT_TRUE(Filled(ButtonFace(ButtonKind::kPlay, false, dpr), QRect(14, 10, 2, 2), P::kSymbol));
    EXPECT_TRUE(
        Filled(ButtonFace(ButtonKind::kPlay, true, dpr), QRect(14, 11, 2, 2), P::kSymbolLit));
}

TEST_P(RatioTest, DigitStripAndMarksSitInTheirCells) {
    const qreal dpr = GetParam();
    const QImage strip = DigitStrip(dpr);
    ASSERT_EQ(strip.size(), QSize(kDigitPitch * kGlyphCount, kDigitCellHeight) * dpr);
    const QRect segmentA(4, 0, 3, 2), segmentG(4, 6, 3, 2);
    EXPECT_TRUE(Filled(strip, segmentA.translated(DigitCell(8).x(), 0), P::kSegmentLit));
    EXPECT_TRUE(Filled(strip, segmentG.translated(DigitCell(8).x(), 0), P::kSegmentLit));
    EXPECT_TRUE(Filled(strip, segmentA.translated(DigitCell(1).x(), 0), P::kSegmentGhost));
    EXPECT_TRUE(Filled(strip, segmentG.translated(DigitCell(0).x(), 0), P::kSegmentGhost));
    EXPECT_TRUE(
        Filled(strip, segmentA.translated(DigitCell(kBlankGlyph).x(), 0), P::kSegmentGhost));
    // Columns 0 and 10 of every cell stay glass, so cells 10 apart never clash.
    for (int g = 0; g < kGlyphCount; ++g) {
        EXPECT_TRUE(Filled(strip, QRect(DigitCell(g).x(), 0, 1, kDigitCellHeight), P::kLcdGlass))
            << g;
        EXPECT_TRUE(
            Filled(strip, QRect(DigitCell(g).x() + 10, 0, 1, kDigitCellHeight), P::kLcdGlass))
            << g;
    }
    // A lit mark is an amber badge; its corner pixel inside the rounding too.
    EXPECT_TRUE(
        Filled(MarkStripImage(true, dpr), QRect(MarkX(Mark::kXg) + 3, 11, 2, 1), P::kSegmentLit));
    EXPECT_TRUE(
        Filled(MarkStripImage(false, dpr), QRect(MarkX(Mark::kXg) + 3, 11, 2, 1), P::kLcdGlass));
}

INSTANTIATE_TEST_SUITE_P(Ratios, RatioTest, ::testing::Values(1.0, 2.0));

TEST(PictureButton, CommandComesOnReleaseWhereverThePointerIsWithAnyButton) {
    QWidget window;
    window.resize(200, 100);
    auto* button = new PictureButton(ButtonKind::kFastForward, &window);
    button->move(50, 40);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QSignalSpy down(button, &PictureButton::pressedDown), up(button, &PictureButton::released);
    int expected = 0;
    for (const Qt::MouseButton mb : {Qt::LeftButton, Qt::RightButton, Qt::MiddleButton}) {
        QTest::mousePress(button, mb, {}, QPoint(5, 5));
        EXPECT_TRUE(button->isDown());
        EXPECT_EQ(down.count(), ++expected);
        EXPECT_EQ(up.count(), expected - 1);
        // The pressed face is what the widget shows while held.
        EXPECT_TRUE(Filled(button->grab().toImage(), QRect(2, 1, 26, 1), P::kBevelDark));
        QTest::mouseRelease(button, mb, {}, QPoint(120, -30));  // far outside the button
        EXPECT_FALSE(button->isDown());
        EXPECT_EQ(up.count(), expected);
        EXPECT_TRUE(Filled(button->grab().toImage(), QRect(2, 1, 26, 1), P::kBevelLight));
    }
    // A second button pressed while one is held starts nothing new; one
    // command follows, and a stray release afterwards none.
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mousePress(button, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_EQ(down.count(), 4);
    QTest::mouseRelease(button, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseRelease(button, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(up.count(), 4);
    // A held button that disappears still finishes its command.
    QTest::mousePress(button, Qt::LeftButton, {}, QPoint(5, 5));
    button->hide();
    EXPECT_EQ(up.count(), 5);
    EXPECT_FALSE(button->isDown());
}

TEST(PositionKnob, DragClampsToTheTrackAndReleaseAsksForTheKnobsPlace) {
    PositionKnob knob;
    knob.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&knob));
    QSignalSpy seeks(&knob, &PositionKnob::seekRequested);
    ASSERT_EQ(knob.knobLeft(), 140);
    const auto press = [&](int grab) {
        QTest::mousePress(&knob, Qt::LeftButton, {}, knob.knobRect().topLeft() + QPoint(grab, 5));
    };

    // Grab 5 pixels into the knob; the knob follows the pointer by that offset.
    press(5);
    ASSERT_TRUE(knob.dragging());
    QTest::mouseMove(&knob, QPoint(2000, 8));
    EXPECT_EQ(knob.knobLeft(), 595);
    QTest::mouseMove(&knob, QPoint(-300, 8));
    EXPECT_EQ(knob.knobLeft(), 140);
    QTest::mouseMove(&knob, QPoint(240 - PositionKnob::kOriginX + 5, 8));
    EXPECT_EQ(knob.knobLeft(), 240);
    EXPECT_FALSE(knob.SetPosition(0, 100'000));  // playback does not move a held knob
    QTest::mouseRelease(&knob, Qt::LeftButton, {}, QPoint(240 - PositionKnob::kOriginX + 5, 8));
    EXPECT_FALSE(knob.dragging());
    ASSERT_EQ(seeks.count(), 1);
    EXPECT_DOUBLE_EQ(seeks.at(0).at(0).toDouble(), 100.0 / 455);

    // Playback moves it only when the whole pixel changes (halves to even).
    EXPECT_TRUE(knob.SetPosition(50'000, 100'000));  // 227.5 -> 228
    EXPECT_EQ(knob.knobLeft(), 368);
    EXPECT_FALSE(knob.SetPosition(50'050, 100'000));
    EXPECT_TRUE(knob.SetPosition(200'000, 100'000));  // past the end: the end
    EXPECT_EQ(knob.knobLeft(), 595);
    EXPECT_TRUE(knob.SetPosition(5'000, 0));  // no length: the start
    EXPECT_EQ(knob.knobLeft(), 140);

    // A click without moving seeks to where the knob is; the track beside it
    // is not a handle.
    knob.SetPosition(50'000, 100'000);
    press(9);
    QTest::mouseRelease(&knob, Qt::RightButton, {}, knob.knobRect().topLeft() + QPoint(9, 5));
    ASSERT_EQ(seeks.count(), 2);
    EXPECT_DOUBLE_EQ(seeks.at(1).at(0).toDouble(), 228.0 / 455);
    QTest::mouseClick(&knob, Qt::LeftButton, {}, knob.knobRect().topRight() + QPoint(30, 5));
    EXPECT_EQ(seeks.count(), 2);
}

TEST(DigitReadout, RepaintsOnlyThePlacesWhoseDigitChanged) {
    DigitReadout time(DigitReadout::Kind::kTime);
    time.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&time));
    time.SetTime(0);
    EXPECT_EQ(time.lastRepainted(), 0b1111u);  // not valid yet: every place
    time.SetTime(59);
    EXPECT_EQ(time.lastRepainted(), 0b1100u);
    time.SetTime(61);  // 00:59 -> 01:01
    EXPECT_EQ(time.lastRepainted(), 0b1110u);
    EXPECT_EQ(time.glyphAt(0), 0);
    EXPECT_EQ(time.glyphAt(1), 1);
    EXPECT_EQ(time.glyphAt(2), 0);
    EXPECT_EQ(time.glyphAt(3), 1);
    time.SetTime(61);
    EXPECT_EQ(time.lastRepainted(), 0u);
    time.Invalidate();
    time.SetTime(61);
    EXPECT_EQ(time.lastRepainted(), 0b1111u);
    // What is shown: seconds units "1" has segment a dark, "7" lights it.
    const QRect segmentA = QRect(4, 0, 3, 2).translated(time.placeX(3), 1);
    EXPECT_TRUE(Filled(time.grab().toImage(), segmentA, P::kSegmentGhost));
    time.SetTime(67);
    EXPECT_EQ(time.lastRepainted(), 0b1000u);
    EXPECT_TRUE(Filled(time.grab().toImage(), segmentA, P::kSegmentLit));

    DigitReadout pos(DigitReadout::Kind::kPosition);
    pos.SetBarBeat(0, 1);
    pos.SetBarBeat(1, 1);
    EXPECT_EQ(pos.lastRepainted(), 0b001000u);
    pos.SetBarBeat(1231, 11);
    EXPECT_EQ(pos.lastRepainted(), 0b010111u);
}

}  // namespace
}  // namespace sonfara::ui

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
