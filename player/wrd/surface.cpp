#include "player/wrd/surface.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace sonfara::wrd {

namespace {

// Radii beyond this reach far past any page; the cap bounds the work.
constexpr int64_t kMaxRadius = 1 << 16;

}  // namespace

Surface::Surface(int width, int height)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      pixels_(static_cast<size_t>(width_) * height_, 0) {}

uint32_t Surface::Pixel(int x, int y) const {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
    return pixels_[static_cast<size_t>(y) * width_ + x];
}

void Surface::Fill(uint32_t colorref) {
    std::fill(pixels_.begin(), pixels_.end(), ConvertColor(colorref));
}

void Surface::FillRect(int left, int top, int right, int bottom, uint32_t colorref) {
    const int l = std::max(left, 0), t = std::max(top, 0);
    const int r = std::min(right, width_), b = std::min(bottom, height_);
    if (l >= r || t >= b) return;
    const uint32_t p = ConvertColor(colorref);
    for (int y = t; y < b; ++y) std::fill(Row(y) + l, Row(y) + r, p);
}

void Surface::Blit(int x, int y, int w, int h, const Surface& src, int sx, int sy,
                   bool transparent) {
    // Clip in 64 bits so that huge arguments cannot overflow.
    int64_t dx = x, dy = y, sx64 = sx, sy64 = sy, w64 = w, h64 = h;
    if (sx64 < 0) {
        dx -= sx64;
        w64 += sx64;
        sx64 = 0;
    }
    if (sy64 < 0) {
        dy -= sy64;
        h64 += sy64;
        sy64 = 0;
    }
    if (dx < 0) {
        sx64 -= dx;
        w64 += dx;
        dx = 0;
    }
    if (dy < 0) {
        sy64 -= dy;
        h64 += dy;
        dy = 0;
    }
    w64 = std::min({w64, int64_t{src.width_} - sx64, int64_t{width_} - dx});
    h64 = std::min({h64, int64_t{src.height_} - sy64, int64_t{height_} - dy});
    if (w64 <= 0 || h64 <= 0) return;
    const int cw = static_cast<int>(w64), ch = static_cast<int>(h64);
    const int csx = static_cast<int>(sx64), csy = static_cast<int>(sy64);
    const int cdx = static_cast<int>(dx), cdy = static_cast<int>(dy);

    std::vector<uint32_t> scratch;
    const Surface* from = &src;
    int fx = csx, fy = csy;
    if (&src == this) {
        // Overlapping copies within a page read the area as it was before.
        scratch.resize(static_cast<size_t>(cw) * ch);
        for (int r = 0; r < ch; ++r)
            std::memcpy(&scratch[static_cast<size_t>(r) * cw], Row(csy + r) + csx,
                        sizeof(uint32_t) * cw);
    }
    const uint32_t key = src.colorKey_;
    for (int r = 0; r < ch; ++r) {
        const uint32_t* s =
            scratch.empty() ? from->Row(fy + r) + fx : &scratch[static_cast<size_t>(r) * cw];
        uint32_t* d = Row(cdy + r) + cdx;
        if (!transparent) {
            std::memmove(d, s, sizeof(uint32_t) * cw);
        } else {
            // Branch-free select, so the compiler can vectorise it.
            for (int i = 0; i < cw; ++i) d[i] = s[i] != key ? s[i] : d[i];
        }
    }
}

void Surface::SetPixel(int x, int y, uint32_t colorref) {
    if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
    pixels_[static_cast<size_t>(y) * width_ + x] = ConvertColor(colorref);
}

void Surface::Span(int x1, int x2, int y, uint32_t pixel) {
    if (y < 0 || y >= height_) return;
    x1 = std::max(x1, 0);
    x2 = std::min(x2, width_ - 1);
    if (x1 > x2) return;
    std::fill(Row(y) + x1, Row(y) + x2 + 1, pixel);
}

void Surface::Line(int x1, int y1, int x2, int y2, uint32_t colorref) {
    // Clip the segment to the surface (one pixel of margin) first, so that a
    // line between far-away points costs no more than one across the page.
    double t0 = 0, t1 = 1;
    const double fx = x1, fy = y1, ddx = double(x2) - x1, ddy = double(y2) - y1;
    auto clip = [&](double p, double q) {
        if (p == 0) return q >= 0;
        const double r = q / p;
        if (p < 0) {
            if (r > t1) return false;
            t0 = std::max(t0, r);
        } else {
            if (r < t0) return false;
            t1 = std::min(t1, r);
        }
        return true;
    };
    if (!clip(-ddx, fx + 1) || !clip(ddx, width_ - fx) || !clip(-ddy, fy + 1) ||
        !clip(ddy, height_ - fy))
        return;
    int64_t ax = std::llround(fx + t0 * ddx), ay = std::llround(fy + t0 * ddy);
    const int64_t bx = std::llround(fx + t1 * ddx), by = std::llround(fy + t1 * ddy);
    const uint32_t p = ConvertColor(colorref);
    const int64_t dx = std::llabs(bx - ax), dy = -std::llabs(by - ay);
    const int sx = ax < bx ? 1 : -1, sy = ay < by ? 1 : -1;
    int64_t err = dx + dy;
    for (;;) {
        if (ax >= 0 && ay >= 0 && ax < width_ && ay < height_)
            pixels_[static_cast<size_t>(ay) * width_ + ax] = p;
        if (ax == bx && ay == by) break;
        const int64_t e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            ax += sx;
        }
        if (e2 <= dx) {
            err += dx;
            ay += sy;
        }
    }
}

void Surface::Box(int x1, int y1, int x2, int y2, uint32_t colorref) {
    const int l = std::min(x1, x2), r = std::max(x1, x2);
    const int t = std::min(y1, y2), b = std::max(y1, y2);
    const uint32_t p = ConvertColor(colorref);
    Span(l, r, t, p);
    Span(l, r, b, p);
    for (int y = std::max(t, 0); y <= std::min(b, height_ - 1); ++y) {
        if (l >= 0 && l < width_) Row(y)[l] = p;
        if (r >= 0 && r < width_) Row(y)[r] = p;
    }
}

void Surface::FilledBox(int x1, int y1, int x2, int y2, uint32_t fore, uint32_t fill) {
    const int l = std::min(x1, x2), r = std::max(x1, x2);
    const int t = std::min(y1, y2), b = std::max(y1, y2);
    const uint32_t p = ConvertColor(fill);
    for (int y = std::max(t, 0); y <= std::min(b, height_ - 1); ++y) Span(l, r, y, p);
    Box(l, t, r, b, fore);
}

void Surface::Circle(int cx, int cy, int r, uint32_t colorref) {
    if (r < 0) return;
    const int64_t rr = std::min<int64_t>(r, kMaxRadius);
    const int64_t x0 = cx, y0 = cy;
    // Entirely off the surface: nothing to draw.
    if (x0 + rr < 0 || y0 + rr < 0 || x0 - rr >= width_ || y0 - rr >= height_) return;
    const uint32_t p = ConvertColor(colorref);
    auto plot = [&](int64_t x, int64_t y) {
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            pixels_[static_cast<size_t>(y) * width_ + x] = p;
    };
    int64_t x = rr, y = 0, err = 1 - rr;
    while (x >= y) {
        plot(x0 + x, y0 + y);
        plot(x0 - x, y0 + y);
        plot(x0 + x, y0 - y);
        plot(x0 - x, y0 - y);
        plot(x0 + y, y0 + x);
        plot(x0 - y, y0 + x);
        plot(x0 + y, y0 - x);
        plot(x0 - y, y0 - x);
        ++y;
        if (err < 0) {
            err += 2 * y + 1;
        } else {
            --x;
            err += 2 * (y - x) + 1;
        }
    }
}

void Surface::FilledCircle(int cx, int cy, int r, uint32_t fore, uint32_t fill) {
    if (r < 0) return;
    const int64_t rr = std::min<int64_t>(r, kMaxRadius);
    const int64_t x0 = cx, y0 = cy;
    if (x0 + rr < 0 || y0 + rr < 0 || x0 - rr >= width_ || y0 - rr >= height_) return;
    const uint32_t p = ConvertColor(fill);
    const int64_t top = std::max<int64_t>(y0 - rr, 0),
                  bottom = std::min<int64_t>(y0 + rr, height_ - 1);
    for (int64_t y = top; y <= bottom; ++y) {
        const int64_t dy = y - y0;
        const int64_t half = static_cast<int64_t>(std::sqrt(double(rr * rr - dy * dy)));
        const int64_t l = std::max<int64_t>(x0 - half, -1),
                      rgt = std::min<int64_t>(x0 + half, width_);
        Span(static_cast<int>(l), static_cast<int>(rgt), static_cast<int>(y), p);
    }
    Circle(cx, cy, static_cast<int>(rr), fore);
}

void Surface::DrawGlyph(int x, int y, const GlyphBitmap& g, uint32_t fore, uint32_t back) {
    const uint32_t f = ConvertColor(fore), b = ConvertColor(back);
    const int w = std::clamp(g.width, 1, 16);
    for (int r = 0; r < 16; ++r) {
        const int64_t py = int64_t{y} + r;
        if (py < 0 || py >= height_) continue;
        uint32_t* row = Row(static_cast<int>(py));
        for (int c = 0; c < w; ++c) {
            const int64_t px = int64_t{x} + c;
            if (px < 0 || px >= width_) continue;
            row[px] = (g.rows[r] & (0x8000u >> c)) ? f : b;
        }
    }
}

}  // namespace sonfara::wrd
