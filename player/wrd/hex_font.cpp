#include "player/wrd/hex_font.h"

#include <algorithm>
#include <cstdlib>
#include <map>

#include "player/platform/user_files.h"

namespace sonfara::wrd {

namespace {

constexpr char32_t kUnknown = 0xFFFF'FFFFu;  // not converted yet
constexpr char32_t kNone = 0xFFFF'FFFEu;     // no single code point
constexpr char32_t kReplacement = 0xFFFD;

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool ParseHexBytes(std::string_view digits, std::vector<uint8_t>& out) {
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        const int hi = HexDigit(digits[i]), lo = HexDigit(digits[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out.push_back(static_cast<uint8_t>(hi << 4 | lo));
    }
    return true;
}

// The one code point of a UTF-8 text; kNone for none, several or a bad sequence.
char32_t SingleCodePoint(std::string_view s) {
    if (s.empty()) return kNone;
    const auto b0 = static_cast<uint8_t>(s[0]);
    const size_t n = b0 < 0x80 ? 1 : b0 >= 0xF0 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC0 ? 2 : 0;
    if (n == 0 || s.size() != n) return kNone;
    char32_t cp = n == 1 ? b0 : b0 & (0x7F >> n);
    for (size_t i = 1; i < n; ++i) {
        const auto b = static_cast<uint8_t>(s[i]);
        if ((b & 0xC0) != 0x80) return kNone;
        cp = cp << 6 | (b & 0x3F);
    }
    return cp == kReplacement ? kNone : cp;
}

}  // namespace

HexFont HexFont::Parse(std::string_view text) {
    HexFont f;
    f.entries_.reserve(text.size() / 40);
    f.bits_.reserve(text.size() / 2);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.remove_suffix(1);
        const size_t colon = line.find(':');
        if (colon == 0 || colon > 6 || colon == std::string_view::npos) continue;
        const std::string_view digits = line.substr(colon + 1);
        if (digits.size() != 32 && digits.size() != 64) continue;
        char32_t cp = 0;
        bool ok = true;
        for (char c : line.substr(0, colon)) {
            const int d = HexDigit(c);
            ok = ok && d >= 0;
            cp = cp << 4 | static_cast<char32_t>(std::max(d, 0));
        }
        const size_t at = f.bits_.size();
        if (!ok || !ParseHexBytes(digits, f.bits_)) {
            f.bits_.resize(at);
            continue;
        }
        f.entries_.push_back({cp, static_cast<uint32_t>(at) | (digits.size() == 64 ? kWide : 0)});
    }
    // Files are in code point order; a repeated code point keeps its last glyph.
    std::stable_sort(f.entries_.begin(), f.entries_.end(),
                     [](const Entry& a, const Entry& b) { return a.codePoint < b.codePoint; });
    auto last =
        std::unique(f.entries_.rbegin(), f.entries_.rend(),
                    [](const Entry& a, const Entry& b) { return a.codePoint == b.codePoint; });
    f.entries_.erase(f.entries_.begin(), last.base());
    f.entries_.shrink_to_fit();
    f.bits_.shrink_to_fit();
    return f;
}

bool HexFont::Find(char32_t codePoint, GlyphBitmap& out) const {
    const auto it = std::lower_bound(entries_.begin(), entries_.end(), codePoint,
                                     [](const Entry& e, char32_t cp) { return e.codePoint < cp; });
    if (it == entries_.end() || it->codePoint != codePoint) return false;
    const bool wide = (it->offset & kWide) != 0;
    const uint8_t* p = &bits_[it->offset & ~kWide];
    out = GlyphBitmap{};
    out.width = wide ? 16 : 8;
    for (int r = 0; r < 16; ++r)
        out.rows[r] = wide ? static_cast<uint16_t>(p[2 * r] << 8 | p[2 * r + 1])
                           : static_cast<uint16_t>(p[r] << 8);
    return true;
}

std::string WrdFontPath() {
    const char* env = std::getenv("SONFARA_WRD_FONT");
    return env && *env ? env : kDefaultWrdFontPath;
}

std::shared_ptr<const HexFont> SharedHexFont(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, std::shared_ptr<const HexFont>> fonts;
    const std::lock_guard lock(mutex);
    const auto found = fonts.find(path);
    if (found != fonts.end()) return found->second;
    std::shared_ptr<const HexFont> font;
    std::string text;
    if (platform::ReadWholeFile(path, text, kMaxHexFontBytes) == platform::ReadStatus::kOk) {
        auto parsed = std::make_shared<HexFont>(HexFont::Parse(text));
        if (parsed->Size() > 0) font = std::move(parsed);
    }
    fonts.emplace(path, font);
    return font;
}

HexFontGlyphs::HexFontGlyphs(const platform::CodePage& codePage, std::string fontPath)
    : codePage_(codePage), path_(std::move(fontPath)) {}

HexFontGlyphs::HexFontGlyphs(const platform::CodePage& codePage,
                             std::shared_ptr<const HexFont> font)
    : codePage_(codePage), font_(std::move(font)) {}

const HexFont* HexFontGlyphs::Font() const {
    std::call_once(loaded_, [this] {
        if (!path_.empty()) font_ = SharedHexFont(path_);
    });
    return font_.get();
}

char32_t HexFontGlyphs::CodePointOf(std::string_view ch) const {
    // Converting through iconv costs microseconds; a replay after a seek may
    // draw a whole script's characters at once.
    if (codePoints_.empty()) codePoints_.assign(0x10000, kUnknown);
    const size_t key =
        ch.size() == 1
            ? static_cast<uint8_t>(ch[0])
            : static_cast<size_t>(static_cast<uint8_t>(ch[0]) << 8 | static_cast<uint8_t>(ch[1]));
    char32_t& cp = codePoints_[key];
    if (cp == kUnknown) cp = SingleCodePoint(codePage_.ToUtf8(ch));
    return cp;
}

GlyphBitmap HexFontGlyphs::Glyph(std::string_view ch, int cells) const {
    const HexFont* font = Font();
    GlyphBitmap g;
    if (font && !ch.empty() && ch.size() <= 2) {
        const int width = cells >= 2 ? 16 : 8;
        const char32_t cp = CodePointOf(ch);
        if (cp != kNone && font->Find(cp, g)) {
            if (g.width == width) return g;
            if (g.width == 8) {  // a half-width form in a full-width place
                for (uint16_t& row : g.rows) row = static_cast<uint16_t>(row >> 4);
                g.width = 16;
                return g;
            }
        }
    }
    return fallback_.Glyph(ch, cells);
}

}  // namespace sonfara::wrd
