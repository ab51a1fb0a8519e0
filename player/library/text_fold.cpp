#include "player/library/text_fold.h"

#include <array>

namespace sonfara::library {
namespace {

constexpr char32_t kReplacement = 0xFFFD;
constexpr char32_t kVoicedMark = 0x3099;      // combining dakuten
constexpr char32_t kSemiVoicedMark = 0x309A;  // combining handakuten
constexpr char32_t kHalfVoiced = 0xFF9E;
constexpr char32_t kHalfSemiVoiced = 0xFF9F;

// Half-width katakana U+FF61..U+FF9F and their full-width forms.
constexpr char32_t kHalfKanaFirst = 0xFF61;
constexpr std::array<char16_t, 63> kHalfKana = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3,      0x30A5,
    0x30A7, 0x30A9, 0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2,      0x30A4,
    0x30A6, 0x30A8, 0x30AA, 0x30AB, 0x30AD, 0x30AF, 0x30B1, 0x30B3,      0x30B5,
    0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1, 0x30C4, 0x30C6,      0x30C8,
    0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,      0x30D8,
    0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6,      0x30E8,
    0x30E9, 0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, kVoicedMark, kSemiVoicedMark};

// The kana (hiragana or katakana) that a voiced mark joins, as the
// katakana code point; 0 when the mark stays apart.
char32_t Voiced(char32_t kata, char32_t mark) {
    // カ..ト take the dakuten on the next code point (ツ's small form sits
    // before it, so ツ..ト are odd).
    if (mark == kVoicedMark) {
        if (kata >= 0x30AB && kata <= 0x30C2 && (kata % 2) == 1) return kata + 1;
        if (kata >= 0x30C4 && kata <= 0x30C8 && (kata % 2) == 0) return kata + 1;
        if (kata == 0x30A6) return 0x30F4;                      // ヴ
        if (kata == 0x30EF || kata == 0x30F2) return kata + 8;  // ヷ ヺ
    }
    // ハ ヒ フ ヘ ホ: dakuten +1, handakuten +2.
    if (kata >= 0x30CF && kata <= 0x30DB && (kata - 0x30CF) % 3 == 0)
        return kata + (mark == kVoicedMark ? 1 : 2);
    return 0;
}

char32_t Compose(char32_t base, char32_t mark) {
    if (base >= 0x30A1 && base <= 0x30FA) return Voiced(base, mark);
    if (base >= 0x3041 && base <= 0x3096) {  // hiragana: the katakana rule, 0x60 lower
        if (base == 0x3046) return mark == kVoicedMark ? 0x3094 : 0;  // ゔ
        const char32_t k = Voiced(base + 0x60, mark);
        return k && k <= 0x30F6 && base + 0x60 < 0x30EF ? k - 0x60 : 0;
    }
    return 0;
}

char32_t FoldOne(char32_t c) {
    if (c >= 'A' && c <= 'Z') return c + ('a' - 'A');
    if (c >= 0xFF01 && c <= 0xFF5E) {  // full-width ASCII
        c -= 0xFF01 - 0x21;
        return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    }
    if (c == 0x3000) return ' ';
    if (c >= kHalfKanaFirst && c < kHalfKanaFirst + kHalfKana.size())
        return kHalfKana[c - kHalfKanaFirst];
    return c;
}

}  // namespace

std::vector<char32_t> DecodeUtf8(std::string_view s) {
    std::vector<char32_t> out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 0 || i + len > s.size()) {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        char32_t c = len == 1 ? b : b & (0x7F >> len);
        bool ok = true;
        for (int k = 1; k < len; ++k) {
            const auto n = static_cast<unsigned char>(s[i + k]);
            if ((n & 0xC0) != 0x80) ok = false;
            c = (c << 6) | (n & 0x3F);
        }
        out.push_back(ok ? c : kReplacement);
        i += ok ? len : 1;
    }
    return out;
}

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::vector<char32_t> FoldCodePoints(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    for (char32_t c : DecodeUtf8(text)) {
        if (c == kHalfVoiced || c == kHalfSemiVoiced)
            c = c == kHalfVoiced ? kVoicedMark : kSemiVoicedMark;
        else
            c = FoldOne(c);
        if ((c == kVoicedMark || c == kSemiVoicedMark) && !out.empty()) {
            if (const char32_t joined = Compose(out.back(), c)) {
                out.back() = joined;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

std::string FoldText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : FoldCodePoints(text)) AppendUtf8(c, out);
    return out;
}

bool IsWordBreak(char32_t c) {
    return c <= 0x20 || c == 0x7F || c == 0x3000 || (c >= 0x80 && c < 0xA0);
}

}  // namespace sonfara::library
