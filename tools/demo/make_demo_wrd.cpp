// Writes the demo song's WRD script and its title picture (MAG) beside it:
// lyrics and text over about 90 seconds, with drawing and palette commands.
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "tests/wrd/tools/mag_encoder.h"
#include "tools/demo/demo_wrd_script.h"

namespace {

using sonfara::wrd::tools::MagImage;

constexpr uint32_t Rgb(int r, int g, int b) {
    return r | (g << 8) | (b << 16);
}

// 640 x 400, 16 colours: a banded evening sky, a sun, hills and a staff of
// five lines with a few notes.
MagImage TitlePicture() {
    MagImage img;
    img.width = 640;
    img.height = 400;
    img.comment = "Sonfara demo title";
    const uint32_t pal[16] = {
        Rgb(0, 0, 0),       Rgb(16, 16, 64),    Rgb(32, 32, 112),  Rgb(64, 48, 160),
        Rgb(128, 64, 176),  Rgb(208, 96, 160),  Rgb(240, 144, 96), Rgb(255, 208, 64),
        Rgb(255, 240, 160), Rgb(32, 96, 48),    Rgb(48, 144, 64),  Rgb(96, 192, 96),
        Rgb(240, 240, 240), Rgb(160, 160, 176), Rgb(80, 80, 96),   Rgb(255, 255, 255)};
    for (int i = 0; i < 16; ++i) img.palette[i] = pal[i];
    img.pixels.resize(640 * 400);
    for (int y = 0; y < 400; ++y) {
        for (int x = 0; x < 640; ++x) {
            int c = 1 + std::min(7, y / 32);  // sky bands, dark to bright
            const double dx = x - 470, dy = y - 230;
            if (dx * dx + dy * dy < 60 * 60) c = 8;  // the sun
            const double hill1 = 300 + 30 * std::sin(x / 70.0);
            const double hill2 = 330 + 20 * std::sin(x / 45.0 + 1.3);
            if (y > hill1) c = 10;
            if (y > hill2) c = 9;
            if (y > 360) c = 11;
            // A staff of five lines across the sky.
            if (x >= 60 && x < 580 && y >= 60 && y <= 140 && (y - 60) % 20 == 0) c = 12;
            img.pixels[y * 640 + x] = static_cast<uint8_t>(c);
        }
    }
    // Note heads on the staff.
    const int notes[][2] = {{120, 130}, {200, 110}, {280, 90}, {360, 100}, {440, 80}, {520, 70}};
    for (const auto& n : notes)
        for (int y = -7; y <= 7; ++y)
            for (int x = -10; x <= 10; ++x)
                if (x * x * 49 + y * y * 100 <= 4900) img.pixels[(n[1] + y) * 640 + n[0] + x] = 15;
    return img;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: sonfara-make-demo-wrd OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string dir = argv[1];
    const sonfara::platform::CodePage cp932("CP932");
    std::string script;
    for (const auto& line : sonfara::demo::DemoWrdScript()) script += cp932.FromUtf8(line) + "\r\n";
    const std::vector<uint8_t> mag = sonfara::wrd::tools::EncodeMag(TitlePicture());

    auto write = [](const std::string& path, const void* data, size_t n) {
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f) return false;
        const bool ok = std::fwrite(data, 1, n, f) == n;
        return std::fclose(f) == 0 && ok;
    };
    if (!write(dir + "/sonfara-demo.wrd", script.data(), script.size()) ||
        !write(dir + "/sonfara-title.mag", mag.data(), mag.size())) {
        std::fprintf(stderr, "sonfara-make-demo-wrd: cannot write to %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
