// Search-text folding and the query language.
#include <gtest/gtest.h>

#include "player/library/query.h"
#include "player/library/text_fold.h"

namespace sonfara::library {
namespace {

TEST(TextFold, WidthsKanaAndCaseMeetInOneForm) {
    // Full-width letters, digits and signs are ASCII; letters lower case.
    EXPECT_EQ(FoldText("ＡＢＣ　ｘｙｚ１２３！"), "abc xyz123!");
    EXPECT_EQ(FoldText("Hello World"), "hello world");
    // Half-width katakana become full-width, their voiced marks joined.
    EXPECT_EQ(FoldText("ﾖｿﾞﾗ"), "ヨゾラ");
    EXPECT_EQ(FoldText("ﾊﾟﾋﾟﾌﾟ ﾊﾞ ｳﾞ ｶﾞｷﾞｸﾞｹﾞｺﾞ ﾀﾞﾁﾞﾂﾞﾃﾞﾄﾞ"), "パピプ バ ヴ ガギグゲゴ ダヂヅデド");
    EXPECT_EQ(FoldText("ｰ｡､ｯｬ"), "ー。、ッャ");
    // Combining marks after full-width kana are joined as well (NFC part).
    EXPECT_EQ(FoldText("カ\u3099か\u3099は\u309A"), "ガがぱ");
    // A mark that joins nothing stays; kanji and other text pass unchanged.
    EXPECT_EQ(FoldText("ｱﾟ夜空"), "ア\u309A夜空");
    // Malformed UTF-8 never stops the fold.
    EXPECT_EQ(FoldText(std::string("a\xFF"
                                   "b",
                                   3)),
              "a\uFFFDb");
}

TEST(Query, WordsAreFoldedAndFiltersParsed) {
    LibraryQuery q;
    ASSERT_TRUE(ParseQuery("  夜空  ＰＩＡＮＯ module:GS length:<3:00 has:lyrics has:wrd "
                           "program:19 folder:Game sort:-length",
                           q)
                    .ok());
    EXPECT_EQ(q.words, (std::vector<std::string>{"夜空", "piano"}));
    ASSERT_TRUE(q.module.has_value());
    EXPECT_EQ(*q.module, SongModule::kGs);
    EXPECT_EQ(q.maxMs, 179999);
    EXPECT_FALSE(q.minMs.has_value());
    EXPECT_TRUE(q.withLyrics);
    EXPECT_TRUE(q.withWrd);
    EXPECT_EQ(q.programs, std::vector<int>{19});
    EXPECT_EQ(q.folders, std::vector<std::string>{"game"});
    EXPECT_EQ(q.sort, SortColumn::kLength);
    EXPECT_TRUE(q.descending);
    // An unknown key is a word like any other (titles have colons).
    ASSERT_TRUE(ParseQuery("op:3 length:2:00-4:30", q).ok());
    EXPECT_EQ(q.words, std::vector<std::string>{"op:3"});
    EXPECT_EQ(q.minMs, 120000);
    EXPECT_EQ(q.maxMs, 270000);
    ASSERT_TRUE(ParseQuery("length:>=90 length:=1:00:00", q).ok());
    EXPECT_EQ(q.minMs, 3600000);
    EXPECT_EQ(q.maxMs, 3600999);
}

TEST(Query, WrongFilterValuesAreRefusedByName) {
    LibraryQuery q;
    for (const char* bad : {"module:sc55", "length:<3:75", "length:abc", "length:5:00-1:00",
                            "has:drums", "program:128", "program:x", "sort:colour", "folder:"}) {
        const library::LibraryStatus s = ParseQuery(std::string("song ") + bad, q);
        EXPECT_EQ(s.code(), library::LibraryError::kBadQuery) << bad;
        EXPECT_EQ(s.detail(), bad);
    }
}

TEST(Query, MatchExpressionQuotesWordsAndPrefixesShortOnes) {
    EXPECT_EQ(MatchExpression({}), "");
    // Words shorter than an index piece are prefixes of the pieces.
    EXPECT_EQ(MatchExpression({"夜空の", "夜空", "星"}), "\"夜空の\" AND \"夜空\"* AND \"星\"*");
    // A quote inside a word cannot end the phrase early.
    EXPECT_EQ(MatchExpression({"a\"b"}), "\"a\"\"b\"");
    EXPECT_EQ(ParseDuration("3:00"), 180000);
    EXPECT_EQ(ParseDuration("1:02:03"), 3723000);
    EXPECT_EQ(ParseDuration("95"), 95000);
    EXPECT_FALSE(ParseDuration("1:2:3:4").has_value());
    EXPECT_FALSE(ParseDuration("").has_value());
}

}  // namespace
}  // namespace sonfara::library
