#include "player/wrd/hex_font.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "player/wrd/runtime.h"
#include "tools/demo/demo_wrd_script.h"

namespace sonfara::wrd {
namespace {

class Clock : public WrdClock {
  public:
    int32_t SongPositionMs() const override { return 0; }
};

class Timing : public WrdTiming {
  public:
    int32_t Division() const override { return 480; }
    int32_t TickToMs(int32_t tick) const override { return tick; }
    int32_t EndTick() const override { return 100000; }
};

// Rows of a glyph as the hex text writes them, widened to 16 bits.
std::vector<uint16_t> Rows(const std::string& digits) {
    std::vector<uint16_t> rows;
    const size_t perRow = digits.size() / 16;
    for (size_t r = 0; r < 16; ++r) {
        const unsigned v = std::stoul(digits.substr(r * perRow, perRow), nullptr, 16);
        rows.push_back(static_cast<uint16_t>(perRow == 2 ? v << 8 : v));
    }
    return rows;
}

// True when the 16 rows from (x, y) of `s` show `rows` (`width` columns):
// set bits in `fore`, clear ones in `back`.
bool ShowsGlyph(const Surface& s, int x, int y, const std::vector<uint16_t>& rows, int width,
                uint32_t fore, uint32_t back) {
    for (int r = 0; r < 16; ++r)
        for (int c = 0; c < width; ++c)
            if (s.Pixel(x + c, y + r) != ((rows[r] & (0x8000u >> c)) ? fore : back)) return false;
    return true;
}

constexpr const char* kA = "0000000018242442427E424242420000";
constexpr const char* kHiraganaA =
    "00000100010001601F800200022003F806240A421282210222041C0800300000";
constexpr uint32_t kWhite = 0xFFFFFF, kKey = 0xE0E0E0;

TEST(HexFont, InjectedFontDrawsHalfAndFullWidthCellsWithFallback) {
    const std::string text = std::string("# comment\n0041:") + "FF" + std::string(30, '0') +
                             "\r\n3042:" + kHiraganaA + "\nZZZZ:00\n0042:12\n" + "00B0:" + kA +
                             "\n0041:" + kA + "\n";
    const auto font = std::make_shared<HexFont>(HexFont::Parse(text));
    EXPECT_EQ(font->Size(), 3u);  // bad lines skipped; the second 0041 replaces the first
    const platform::CodePage cp932("CP932");
    const HexFontGlyphs glyphs(cp932, font);
    const FallbackGlyphs builtIn;

    GlyphBitmap g = glyphs.Glyph("A", 1);
    EXPECT_EQ(g.width, 8);
    EXPECT_EQ(std::vector<uint16_t>(g.rows, g.rows + 16), Rows(kA));
    g = glyphs.Glyph("\x82\xA0", 2);  // あ in CP932
    EXPECT_EQ(g.width, 16);
    EXPECT_EQ(std::vector<uint16_t>(g.rows, g.rows + 16), Rows(kHiraganaA));
    // ° (81 8B) has a half-width glyph: centred in its two cells.
    g = glyphs.Glyph("\x81\x8B", 2);
    EXPECT_EQ(g.width, 16);
    EXPECT_EQ(g.rows[4], Rows(kA)[4] >> 4);
    // Not in the font, a full-width glyph in one cell, bytes that are no
    // character: the built-in font.
    for (auto [ch, cells] : {std::pair<std::string_view, int>{"Z", 1},
                             {"\x82\xA0", 1},
                             {"\x88\x9f", 2},
                             {"\xFF", 1}}) {
        g = glyphs.Glyph(ch, cells);
        const GlyphBitmap b = builtIn.Glyph(ch, cells);
        EXPECT_EQ(g.width, b.width) << ch;
        EXPECT_EQ(std::vector<uint16_t>(g.rows, g.rows + 16),
                  std::vector<uint16_t>(b.rows, b.rows + 16))
            << ch;
    }

    // Drawn by the runtime: A in cell 1, あ over cells 2 and 3 of row 2.
    Clock clock;
    WrdWindow window;
    WrdRuntime rt(clock, window, &glyphs);
    rt.LoadScriptText("@LOCATE(1,2);\nA\x82\xA0Z;", Timing(), "");
    rt.RunDueWrdEvents();
    EXPECT_TRUE(ShowsGlyph(rt.TextLayer(), 0, 16, Rows(kA), 8, kWhite, kKey));
    EXPECT_TRUE(ShowsGlyph(rt.TextLayer(), 8, 16, Rows(kHiraganaA), 16, kWhite, kKey));
    EXPECT_EQ(rt.CursorColumn(), 5);

    // A font file that is absent: the built-in font, and no retry per glyph.
    const HexFontGlyphs missing(cp932, "/nonexistent/sonfara/font.hex");
    EXPECT_FALSE(missing.HasFont());
    EXPECT_EQ(missing.Glyph("A", 1).rows[4], builtIn.Glyph("A", 1).rows[4]);
}

// The demo's title line through the default glyphs of the runtime, against
// the installed font file's own bitmaps.
TEST(HexFont, DemoJapaneseLineShowsTheFontFileBitmaps) {
    if (!std::filesystem::exists(kDefaultWrdFontPath) || std::getenv("SONFARA_WRD_FONT"))
        GTEST_SKIP() << kDefaultWrdFontPath << " is absent (Debian package unifont)";
    const std::u32string line = U"ソンファラ・デモ曲へようこそ";
    std::map<char32_t, std::string> expected;
    std::ifstream in(kDefaultWrdFontPath);
    for (std::string l; std::getline(in, l);) {
        const auto colon = l.find(':');
        const char32_t cp = static_cast<char32_t>(std::stoul(l.substr(0, colon), nullptr, 16));
        if (line.find(cp) != std::u32string::npos) expected[cp] = l.substr(colon + 1);
    }

    const platform::CodePage cp932("CP932");
    std::string script;
    for (const auto& l : demo::DemoWrdScript()) script += cp932.FromUtf8(l) + "\r\n";
    Clock clock;
    WrdWindow window;
    WrdRuntime rt(clock, window);
    ASSERT_TRUE(rt.LoadScriptText(script, Timing(), "/nonexistent"));
    rt.RunDueWrdEvents();  // everything up to the first @WAIT is at time 0
    const Surface& frame = rt.ComposeFrame();
    // "@LOCATE(27,4)", yellow, on the black page, 40 pixels below the frame's top.
    for (size_t i = 0; i < line.size(); ++i) {
        ASSERT_EQ(expected[line[i]].size(), 64u) << "U+" << std::hex << int(line[i]);
        EXPECT_TRUE(ShowsGlyph(frame, 8 * (26 + 2 * static_cast<int>(i)), 40 + 16 * 3,
                               Rows(expected[line[i]]), 16, 0xFFFF00, 0))
            << "character " << i;
    }
}

}  // namespace
}  // namespace sonfara::wrd
