#include "player/wrd/mag.h"

#include <gtest/gtest.h>

#include <random>

#include "tests/wrd/tools/mag_encoder.h"

namespace sonfara::wrd {
namespace {

using tools::EncodeMag;
using tools::MagEncodeOptions;
using tools::MagImage;

// Blocky picture with noise: long runs, repeated lines and literals.
MagImage Sample(int w, int h, int colors, int startX, unsigned seed, bool flat = false) {
    MagImage img;
    img.width = w;
    img.height = h;
    img.colors = colors;
    img.startX = startX;
    img.comment = "sample";
    std::mt19937 rng(seed);
    img.pixels.resize(static_cast<size_t>(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            int v = flat ? 1 : ((x / 12) + (y / 9) * 3) % colors;
            if (rng() % 17 == 0) v = static_cast<int>(rng() % colors);
            img.pixels[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>(v);
        }
    for (int i = 0; i < colors; ++i) img.palette[i] = (i * 0x10203) & 0xFFFFFF;
    return img;
}

void ExpectSame(const MagImage& img, const MagPicture& pic) {
    ASSERT_EQ(pic.width, img.width);
    ASSERT_EQ(pic.height, img.height);
    EXPECT_EQ(pic.colors, img.colors);
    EXPECT_EQ(pic.pixels, img.pixels);
    for (int i = 0; i < img.colors; ++i) EXPECT_EQ(pic.palette[i], img.palette[i]) << i;
}

TEST(Mag, RoundTripsSixteenAndTwoHundredFiftySixColours) {
    for (int colors : {16, 256}) {
        const MagImage img = Sample(160, 100, colors, 0, 7);
        const auto file = EncodeMag(img);
        MagPicture pic;
        const MagStatus decoded = DecodeMag(file, pic);
        ASSERT_TRUE(decoded.ok()) << decoded.Message();
        ExpectSame(img, pic);
        EXPECT_EQ(pic.comment, "sample");
    }
}

TEST(Mag, UnalignedStartAndOddWidthAreCropped) {
    const MagImage img = Sample(37, 11, 16, 5, 3);
    MagPicture pic;
    ASSERT_TRUE(DecodeMag(EncodeMag(img), pic).ok());
    ExpectSame(img, pic);
    EXPECT_EQ(pic.startX, 5);
}

TEST(Mag, EveryCopyDirectionDecodes) {
    for (int d = 1; d < 16; ++d) {
        for (int colors : {16, 256}) {
            MagEncodeOptions opt;
            opt.directions = {d};
            const MagImage img = Sample(96, 40, colors, 0, d, true);
            const auto file = EncodeMag(img, opt);
            EXPECT_GT(tools::LastMagDirectionCounts()[d], 10) << "direction " << d;
            MagPicture pic;
            ASSERT_TRUE(DecodeMag(file, pic).ok()) << d;
            ExpectSame(img, pic);
        }
    }
}

TEST(Mag, BothFlagStreamsCarryChanges) {
    // Rows alternate between two patterns, so the flags change from line to
    // line (flag B bytes) and stay put on other lines (zero bits in flag A).
    MagImage img = Sample(128, 64, 16, 0, 11);
    for (int y = 0; y < 64; ++y)
        if (y % 8 >= 4)
            for (int x = 0; x < 128; ++x) img.pixels[y * 128 + x] = static_cast<uint8_t>(x % 16);
    const auto file = EncodeMag(img);
    const auto& counts = tools::LastMagDirectionCounts();
    EXPECT_GT(counts[0], 0);
    MagPicture pic;
    ASSERT_TRUE(DecodeMag(file, pic).ok());
    ExpectSame(img, pic);
}

TEST(Mag, BrokenFilesAreRefusedWithoutReadingOutside) {
    const MagImage img = Sample(64, 32, 16, 0, 5);
    const auto good = EncodeMag(img);
    MagPicture pic;
    // Every truncation fails cleanly or decodes; never reads past the end.
    for (size_t n = 0; n < good.size(); ++n) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + n);
        EXPECT_FALSE(DecodeMag(cut, pic).ok()) << n;
    }
    // Offsets and sizes pointing outside the file.
    size_t hdr = 0;
    while (good[hdr] != 0x1A) ++hdr;
    ++hdr;
    for (size_t field : {12u, 16u, 24u}) {
        auto bad = good;
        bad[hdr + field + 3] = 0x7F;
        EXPECT_EQ(DecodeMag(bad, pic).code(), MagError::kDamaged) << field;
    }
    // Stream sizes beyond the file are cut at its end; the data is all there.
    for (size_t field : {20u, 28u}) {
        auto big = good;
        big[hdr + field + 3] = 0x7F;
        ASSERT_TRUE(DecodeMag(big, pic).ok()) << field;
        ExpectSame(img, pic);
    }
    // End before start, and a picture beyond the size limit.
    auto bad = good;
    bad[hdr + 8] = 0;
    bad[hdr + 9] = 0;
    bad[hdr + 4] = 9;
    EXPECT_FALSE(DecodeMag(bad, pic).ok());
    bad = good;
    bad[hdr + 10] = 0xFF;
    bad[hdr + 11] = 0xFF;
    EXPECT_FALSE(DecodeMag(bad, pic).ok());
    EXPECT_FALSE(DecodeMag(std::vector<uint8_t>{'M', 'A', 'K', 'I'}, pic).ok());
}

}  // namespace
}  // namespace sonfara::wrd
