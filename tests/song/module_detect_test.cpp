#include "player/song/module_detect.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <utility>
#include <vector>

#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

using test::Bytes;

int Scan(const Bytes& sysexBody, const Bytes& more = {}) {
    test::Track t;
    t.SysEx(0, sysexBody);
    if (!more.empty()) t.SysEx(0, more);
    return song::DetectModuleBytes(test::Smf(1, 480, {t.End()}));
}

TEST(DetectModule, ResetMessages) {
    EXPECT_EQ(Scan({0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}), song::kModuleXG);
    EXPECT_EQ(Scan({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}), song::kModuleGS);
    EXPECT_EQ(Scan({0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x01, 0x00, 0xF7}), song::kModuleGS);
    EXPECT_EQ(Scan({0x7E, 0x7F, 0x09, 0x01, 0xF7}), song::kModuleNone);
    // The earliest match decides.
    EXPECT_EQ(Scan({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
                   {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
              song::kModuleGS);
}

TEST(DetectModule, EdgesOfTheImage) {
    EXPECT_EQ(song::DetectModuleBytes(Bytes{0x43, 0, 0x4C, 0, 0, 0x7E}),
              song::kModuleNone);  // < 8 bytes
    EXPECT_EQ(song::DetectModuleBytes(Bytes{0x43, 0, 0x4C, 0, 0, 0x7E, 0}), song::kModuleXG);
    // System mode set needs its eighth byte inside the file.
    EXPECT_EQ(song::DetectModuleBytes(Bytes{0x41, 0, 0, 0x12, 0, 0, 0x7F}), song::kModuleNone);
    EXPECT_EQ(song::DetectModuleBytes(Bytes{0x41, 0, 0, 0x12, 0, 0, 0x7F, 0x02}),
              song::kModuleNone);
    EXPECT_EQ(song::DetectModuleBytes(Bytes{0x41, 0, 0, 0x12, 0, 0, 0x7F, 0x00}), song::kModuleGS);
    EXPECT_EQ(song::DetectModule("/nonexistent/file.mid"), song::kModuleNone);
}

// The file is read in pieces of 1 MiB: a message across a boundary is
// found, the earliest still wins, and an eighth byte beyond the end counts
// as missing, as in a scan of the whole file.
TEST(DetectModule, FileReadInPiecesMatchesTheWholeScan) {
    const Bytes gs = {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F};
    const Bytes xg = {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00};
    const Bytes mode = {0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F};
    constexpr size_t kPiece = size_t{1} << 20;
    const std::string path = ::testing::TempDir() + "/sonfara-detect.mid";
    auto detect = [&](const std::vector<std::pair<size_t, Bytes>>& at, size_t size) {
        Bytes file(size, 0x00);
        for (const auto& [offset, bytes] : at)
            std::copy(bytes.begin(), bytes.end(), file.begin() + static_cast<long>(offset));
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()), static_cast<long>(file.size()));
        const int whole = song::DetectModuleBytes(file);
        EXPECT_EQ(song::DetectModule(path), whole);
        return whole;
    };
    for (size_t k = 1; k <= 7; ++k) {
        EXPECT_EQ(detect({{kPiece - k, gs}, {kPiece + 10, xg}}, 3 * kPiece), song::kModuleGS) << k;
        EXPECT_EQ(detect({{kPiece - k, xg}}, 2 * kPiece), song::kModuleXG) << k;
    }
    EXPECT_EQ(detect({{2 * kPiece - 7, mode}}, 2 * kPiece), song::kModuleNone);
    Bytes withEighth = mode;
    withEighth.push_back(0x01);
    EXPECT_EQ(detect({{2 * kPiece - 8, withEighth}}, 2 * kPiece), song::kModuleGS);
    EXPECT_EQ(detect({{kPiece + 100, xg}, {kPiece + 200, gs}}, kPiece + 300), song::kModuleXG);
    std::remove(path.c_str());
}

}  // namespace
}  // namespace sonfara
