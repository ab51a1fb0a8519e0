// Off-screen 32-bit surfaces for the WRD screen: the two graphics pages, the
// text layer and the composed frame. Every operation clips to the surface, so
// no argument, however wild, can write outside it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace sonfara::wrd {

// Colours arrive as Windows colour values (0x00BBGGRR); pixels are stored as
// 0x00RRGGBB so that they can be handed to image writers directly.
constexpr uint32_t ColorRef(int r, int g, int b) {
    return (static_cast<uint32_t>(r) & 0xFF) | ((static_cast<uint32_t>(g) & 0xFF) << 8) |
           ((static_cast<uint32_t>(b) & 0xFF) << 16);
}
constexpr uint32_t ConvertColor(uint32_t colorref) {
    return ((colorref & 0xFF) << 16) | (colorref & 0xFF00) | ((colorref >> 16) & 0xFF);
}

// One character's bitmap: 16 rows, up to 16 pixels wide, bit 15 leftmost.
struct GlyphBitmap {
    int width = 8;  // 8 for single-byte characters, 16 for double-byte ones
    uint16_t rows[16] = {};
};

// Supplies character bitmaps for 8 x 16 cells: HexFontGlyphs (hex_font.h)
// with Japanese glyphs, the engine's own fallback for ASCII alone.
class GlyphSource {
  public:
    virtual ~GlyphSource() = default;
    // `ch` is one character in code-page bytes (1 or 2 bytes); `cells` is the
    // number of 8-pixel columns it occupies.
    virtual GlyphBitmap Glyph(std::string_view ch, int cells) const = 0;
};

// Built-in bitmap font: printable ASCII, an outlined box for anything else.
class FallbackGlyphs : public GlyphSource {
  public:
    GlyphBitmap Glyph(std::string_view ch, int cells) const override;
};

class Surface {
  public:
    Surface(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Raw pixel (0x00RRGGBB); 0 outside the surface.
    uint32_t Pixel(int x, int y) const;
    const uint32_t* Row(int y) const { return &pixels_[static_cast<size_t>(y) * width_]; }
    uint32_t* Row(int y) { return &pixels_[static_cast<size_t>(y) * width_]; }

    void Fill(uint32_t colorref);
    // Right and bottom edges excluded.
    void FillRect(int left, int top, int right, int bottom, uint32_t colorref);
    void SetColorKey(uint32_t colorref) { colorKey_ = ConvertColor(colorref); }

    // Copies (sx, sy, w, h) of `src` to (x, y); with `transparent`, source
    // pixels equal to the source's colour key are left out. Both rectangles
    // are clipped; copying within one surface behaves as if through a copy.
    void Blit(int x, int y, int w, int h, const Surface& src, int sx, int sy, bool transparent);

    // Line drawing; all end points included.
    void SetPixel(int x, int y, uint32_t colorref);
    void Line(int x1, int y1, int x2, int y2, uint32_t colorref);
    void Box(int x1, int y1, int x2, int y2, uint32_t colorref);
    void FilledBox(int x1, int y1, int x2, int y2, uint32_t fore, uint32_t fill);
    void Circle(int cx, int cy, int r, uint32_t colorref);
    void FilledCircle(int cx, int cy, int r, uint32_t fore, uint32_t fill);

    // Draws a glyph with its top-left corner at (x, y): set bits in `fore`,
    // the rest of the cell in `back`.
    void DrawGlyph(int x, int y, const GlyphBitmap& g, uint32_t fore, uint32_t back);

  private:
    void Span(int x1, int x2, int y, uint32_t pixel);
    int width_;
    int height_;
    uint32_t colorKey_ = 0;
    std::vector<uint32_t> pixels_;
};

}  // namespace sonfara::wrd
