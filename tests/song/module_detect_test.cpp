#include "player/song/module_detect.h"

#include <gtest/gtest.h>

#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

using test::Bytes;

int Scan(const Bytes& sysexBody, const Bytes& more = {}) {
    test::Track t;
    t.SysEx(0, sysexBody);
    if (!more.empty()) t.SysEx(0, more);
    return DetectModuleBytes(test::Smf(1, 480, {t.End()}));
}

TEST(DetectModule, ResetMessages) {
    EXPECT_EQ(Scan({0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}), kModuleXG);
    EXPECT_EQ(Scan({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7}), kModuleGS);
    EXPECT_EQ(Scan({0x41, 0x10, 0x42, 0x12, 0x00, 0x00, 0x7F, 0x01, 0x00, 0xF7}), kModuleGS);
    EXPECT_EQ(Scan({0x7E, 0x7F, 0x09, 0x01, 0xF7}), kModuleNone);
    // The earliest match decides.
    EXPECT_EQ(Scan({0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7},
                   {0x43, 0x10, 0x4C, 0x00, 0x00, 0x7E, 0x00, 0xF7}),
              kModuleGS);
}

TEST(DetectModule, EdgesOfTheImage) {
    EXPECT_EQ(DetectModuleBytes(Bytes{0x43, 0, 0x4C, 0, 0, 0x7E}), kModuleNone);  // < 8 bytes
    EXPECT_EQ(DetectModuleBytes(Bytes{0x43, 0, 0x4C, 0, 0, 0x7E, 0}), kModuleXG);
    // System mode set needs its eighth byte inside the file.
    EXPECT_EQ(DetectModuleBytes(Bytes{0x41, 0, 0, 0x12, 0, 0, 0x7F}), kModuleNone);
    EXPECT_EQ(DetectModuleBytes(Bytes{0x41, 0, 0, 0x12, 0, 0, 0x7F, 0x02}), kModuleNone);
    EXPECT_EQ(DetectModuleBytes(Bytes{0x41, 0, 0, 0x12, 0, 0, 0x7F, 0x00}), kModuleGS);
    EXPECT_EQ(DetectModule("/nonexistent/file.mid"), kModuleNone);
}

}  // namespace
}  // namespace sonfara
