// Japanese glyphs for WRD text from a bitmap font in the plain hex format
// (Debian's unifont package ships one with Japanese glyph forms): one glyph a
// line, the code point in hex, ":", then 32 hex digits for an 8 x 16 glyph or
// 64 for a 16 x 16 one, row by row from the top.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "player/platform/codepage.h"
#include "player/wrd/surface.h"

namespace sonfara::wrd {

// Larger than any font of the format (unifont_jp.hex is 3.8 MB).
inline constexpr size_t kMaxHexFontBytes = size_t{32} << 20;
inline constexpr const char* kDefaultWrdFontPath = "/usr/share/unifont/unifont_jp.hex";

// The parsed font: code points in order, each with its rows packed after one
// another (16 bytes for a half-width glyph, 32 for a full-width one).
class HexFont {
  public:
    // Lines that are not a glyph (comments, bad digits, other lengths) are skipped.
    static HexFont Parse(std::string_view text);

    size_t Size() const { return entries_.size(); }
    // The glyph of `codePoint` (width 8 or 16, bit 15 leftmost); false when absent.
    bool Find(char32_t codePoint, GlyphBitmap& out) const;

  private:
    struct Entry {
        char32_t codePoint;
        uint32_t offset;  // into bits_; the top bit marks a full-width glyph
    };
    static constexpr uint32_t kWide = 0x8000'0000u;
    std::vector<Entry> entries_;
    std::vector<uint8_t> bits_;
};

// $SONFARA_WRD_FONT when set, else kDefaultWrdFontPath.
std::string WrdFontPath();

// The font at `path`, read and parsed once for the whole process (any
// thread); null when the file is absent, unreadable, too large or holds no
// glyph.
std::shared_ptr<const HexFont> SharedHexFont(const std::string& path);

// A GlyphSource over a hex font: the character's code-page bytes become a
// code point through `codePage`; half-width glyphs fill one 8 x 16 cell,
// full-width ones two. A half-width glyph asked for in two cells is centred;
// anything the font lacks (or a full-width glyph in one cell) comes from the
// built-in font. The font file is read at the first glyph asked for, so
// start-up never waits for it. Use one instance from one thread at a time
// (the UI thread): it keeps a cache of code-page characters.
class HexFontGlyphs final : public GlyphSource {
  public:
    explicit HexFontGlyphs(const platform::CodePage& codePage,
                           std::string fontPath = WrdFontPath());
    // A font already in memory (tests); null means the built-in font only.
    HexFontGlyphs(const platform::CodePage& codePage, std::shared_ptr<const HexFont> font);

    GlyphBitmap Glyph(std::string_view ch, int cells) const override;
    // True when a font file was found (reads it now if not read yet).
    bool HasFont() const { return Font() != nullptr; }

  private:
    const HexFont* Font() const;
    char32_t CodePointOf(std::string_view ch) const;

    const platform::CodePage& codePage_;
    std::string path_;
    mutable std::once_flag loaded_;
    mutable std::shared_ptr<const HexFont> font_;
    // Code point by code-page character (one byte, or lead << 8 | trail),
    // filled as characters are drawn; kUnknown until asked.
    mutable std::vector<char32_t> codePoints_;
    FallbackGlyphs fallback_;
};

}  // namespace sonfara::wrd
