#include "player/wrd/surface.h"

#include <gtest/gtest.h>

#include <climits>

namespace sonfara::wrd {
namespace {

constexpr uint32_t kRed = ColorRef(255, 0, 0);
constexpr uint32_t kBlue = ColorRef(0, 0, 255);
constexpr uint32_t kRedPx = 0xFF0000, kBluePx = 0x0000FF;

TEST(Surface, FillRectExcludesRightAndBottomAndClips) {
    Surface s(640, 480);
    s.FillRect(10, 20, 30, 40, kRed);
    EXPECT_EQ(s.Pixel(10, 20), kRedPx);
    EXPECT_EQ(s.Pixel(29, 39), kRedPx);
    EXPECT_EQ(s.Pixel(30, 39), 0u);
    EXPECT_EQ(s.Pixel(29, 40), 0u);
    s.FillRect(INT_MIN, INT_MIN, INT_MAX, INT_MAX, kBlue);  // whole surface, no overrun
    EXPECT_EQ(s.Pixel(0, 0), kBluePx);
    EXPECT_EQ(s.Pixel(639, 479), kBluePx);
    s.FillRect(700, 0, 800, 10, kRed);  // entirely outside
    EXPECT_EQ(s.Pixel(639, 0), kBluePx);
}

TEST(Surface, BlitHonoursColourKeyAndClips) {
    Surface src(16, 16), dst(32, 32);
    src.Fill(ColorRef(224, 224, 224));
    src.SetColorKey(ColorRef(224, 224, 224));
    src.FillRect(0, 0, 4, 4, kRed);
    dst.Fill(kBlue);
    dst.Blit(2, 2, 16, 16, src, 0, 0, true);
    EXPECT_EQ(dst.Pixel(2, 2), kRedPx);
    EXPECT_EQ(dst.Pixel(10, 10), kBluePx);  // key colour left out
    dst.Blit(2, 2, 16, 16, src, 0, 0, false);
    EXPECT_EQ(dst.Pixel(10, 10), 0xE0E0E0u);
    // Negative and huge positions are clipped on both sides.
    dst.Blit(-3, -3, 16, 16, src, 0, 0, false);
    EXPECT_EQ(dst.Pixel(0, 0), kRedPx);
    EXPECT_EQ(dst.Pixel(1, 1), 0xE0E0E0u);
    dst.Blit(30, 30, INT_MAX, INT_MAX, src, INT_MIN, -5, false);
    dst.Blit(INT_MAX, 0, 10, 10, src, 0, 0, false);
}

TEST(Surface, OverlappingBlitWithinOneSurfaceReadsTheOldArea) {
    Surface s(8, 1);
    for (int x = 0; x < 8; ++x) s.SetPixel(x, 0, ColorRef(x, 0, 0));
    s.Blit(1, 0, 7, 1, s, 0, 0, false);
    for (int x = 1; x < 8; ++x) EXPECT_EQ(s.Pixel(x, 0), ConvertColor(ColorRef(x - 1, 0, 0)));
}

TEST(Surface, LinesBoxesAndCircles) {
    Surface s(100, 100);
    s.Line(0, 0, 9, 9, kRed);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(s.Pixel(i, i), kRedPx);
    s.Line(-100000, 50, 2000000000, 50, kBlue);  // far ends cost nothing extra
    EXPECT_EQ(s.Pixel(0, 50), kBluePx);
    EXPECT_EQ(s.Pixel(99, 50), kBluePx);

    Surface b(100, 100);
    b.Box(10, 10, 20, 20, kRed);
    EXPECT_EQ(b.Pixel(10, 15), kRedPx);
    EXPECT_EQ(b.Pixel(20, 20), kRedPx);
    EXPECT_EQ(b.Pixel(15, 15), 0u);
    b.FilledBox(30, 30, 40, 40, kRed, kBlue);
    EXPECT_EQ(b.Pixel(30, 35), kRedPx);
    EXPECT_EQ(b.Pixel(35, 35), kBluePx);

    Surface c(100, 100);
    c.Circle(50, 50, 10, kRed);
    EXPECT_EQ(c.Pixel(60, 50), kRedPx);
    EXPECT_EQ(c.Pixel(50, 40), kRedPx);
    EXPECT_EQ(c.Pixel(50, 50), 0u);
    c.FilledCircle(50, 50, 10, kRed, kBlue);
    EXPECT_EQ(c.Pixel(50, 50), kBluePx);
    EXPECT_EQ(c.Pixel(40, 50), kRedPx);
    EXPECT_EQ(c.Pixel(35, 50), 0u);
    c.FilledCircle(INT_MAX, INT_MIN, INT_MAX, kRed, kRed);  // off the surface
    c.Circle(50, 50, INT_MAX, kRed);
}

TEST(Glyphs, FallbackFontHasAsciiAndBoxes) {
    FallbackGlyphs f;
    const GlyphBitmap a = f.Glyph("A", 1);
    int set = 0;
    for (uint16_t r : a.rows) set += __builtin_popcount(r);
    EXPECT_GT(set, 20);
    EXPECT_EQ(f.Glyph(" ", 1).rows[8], 0);
    const GlyphBitmap kanji = f.Glyph("\x88\x9f", 2);
    EXPECT_EQ(kanji.width, 16);
    EXPECT_NE(kanji.rows[2], 0);
    Surface s(32, 16);
    s.DrawGlyph(-4, 0, a, kRed, kBlue);  // partly outside: clipped
    s.DrawGlyph(8, 0, kanji, kRed, kBlue);
    EXPECT_EQ(s.Pixel(9, 2), kRedPx);
    EXPECT_EQ(s.Pixel(9, 0), kBluePx);
}

}  // namespace
}  // namespace sonfara::wrd
