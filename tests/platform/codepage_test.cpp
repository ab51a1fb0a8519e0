#include "player/platform/codepage.h"

#include <gtest/gtest.h>

namespace sonfara {
namespace {

TEST(CodePage, ShiftJisRoundTripsThroughUtf8) {
    platform::CodePage cp("CP932");
    ASSERT_TRUE(cp.Valid());
    const std::string sjis = "\x83\x5C\x83\x93\x83\x74\x83\x40\x83\x89";  // ソンファラ
    EXPECT_EQ(cp.ToUtf8(sjis), "ソンファラ");
    EXPECT_EQ(cp.FromUtf8("ソンファラ"), sjis);
    EXPECT_EQ(cp.ToUtf8("abc"), "abc");
}

TEST(CodePage, BadBytesAndUnmappableCharactersAreMarkedNotDropped) {
    platform::CodePage cp("CP932");
    // A lone lead byte at the end, and an invalid trail byte.
    EXPECT_EQ(cp.ToUtf8("A\x83"), "A\xEF\xBF\xBD");
    EXPECT_EQ(cp.ToUtf8("\x81\x20Z").back(), 'Z');
    // An emoji has no Shift-JIS form: one mark per character.
    EXPECT_EQ(cp.FromUtf8("a\xF0\x9F\x8E\xB5"
                          "b"),
              "a?b");
}

TEST(CodePage, UnknownNameFallsBackToDefault) {
    platform::CodePage cp("NO-SUCH-CODEPAGE-42");
    EXPECT_FALSE(cp.Valid());
    EXPECT_EQ(cp.Name(), platform::CodePage::kDefaultName);
    EXPECT_EQ(platform::CodePage("UTF-8").ToUtf8("é"), "é");
}

}  // namespace
}  // namespace sonfara
