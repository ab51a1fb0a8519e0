#include "player/platform/text_decoding.h"

#include <uchardet/uchardet.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>

namespace sonfara::platform {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";
constexpr std::string_view kUtf16BeBom = "\xFE\xFF";

struct Choice {
    std::mutex mu;
    std::string commandLine;
    std::string setting;
    // The code page in effect, nullptr for automatic: read without the
    // lock by every decision.
    std::atomic<const CodePage*> chosen{nullptr};
};

Choice& UserChoice() {
    static Choice c;
    return c;
}

uint8_t U(char c) {
    return static_cast<uint8_t>(c);
}

bool IsCp932Family(const std::string& name) {
    std::string n;
    for (char c : name) n += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return n == "CP932" || n == "WINDOWS-31J" || n == "MS932" || n == "SHIFT_JIS" ||
           n == "SHIFT-JIS" || n == "SJIS";
}

// --- UTF-8 -------------------------------------------------------------------

// Length of the well-formed UTF-8 character at s[i] (no overlong forms,
// surrogates or C1 controls); 0 when there is none, -1 when the text ends
// inside one (a text cut at a byte limit).
int Utf8Char(std::string_view s, size_t i) {
    const uint8_t c = U(s[i]);
    const int n = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (n == 0) return 0;
    uint32_t cp = c & (0x7F >> n);
    for (int k = 1; k < n; ++k) {
        if (i + k >= s.size()) return -1;
        const uint8_t t = U(s[i + k]);
        if ((t & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (t & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) || cp < 0xA0) return 0;
    return n;
}

// Every text is UTF-8 and one holds a multi-byte character.
bool AllUtf8(std::span<const std::string_view> texts) {
    bool wide = false;
    for (std::string_view t : texts) {
        for (size_t i = 0; i < t.size();) {
            if (U(t[i]) < 0x80) {
                ++i;
                continue;
            }
            const int n = Utf8Char(t, i);
            if (n < 0) break;  // cut at the end: the rest of the text is fine
            if (n == 0) return false;
            wide = true;
            i += static_cast<size_t>(n);
        }
    }
    return wide;
}

// UTF-8 whose every character is a pair of bytes that CP932 reads as two
// half-width kana ("\xC3\xBD" is "ý" and "ﾃｽ"), none of them next to a
// Latin letter as an accented letter would be ("Caf\xC3\xA9"): the code
// page's reading stands.
bool Utf8ReadsAsKana(std::span<const std::string_view> texts) {
    auto kana = [](uint8_t c) { return c >= 0xA1 && c <= 0xDF; };
    auto letter = [](std::string_view t, size_t k) {
        return k < t.size() && ((t[k] >= 'A' && t[k] <= 'Z') || (t[k] >= 'a' && t[k] <= 'z'));
    };
    for (std::string_view t : texts) {
        for (size_t i = 0; i < t.size(); ++i) {
            if (U(t[i]) < 0x80) continue;
            if (i + 1 >= t.size() || !kana(U(t[i])) || !kana(U(t[i + 1]))) return false;
            if ((i > 0 && letter(t, i - 1)) || letter(t, i + 2)) return false;
            ++i;
        }
    }
    return true;
}

// --- Evidence for and against CP932 ----------------------------------------

bool IsSjisLead(uint8_t c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
bool IsSjisTrail(uint8_t c) {
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}
bool IsLatinLetter(uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}
// Bytes a Western text is full of: quotes, dashes, the ellipsis and the
// accented letters (the rest of 0x80..0x9F is rare in CP1252).
bool IsWesternByte(uint8_t c) {
    return c == 0x85 || c == 0x8A || c == 0x8C || c == 0x8E || (c >= 0x91 && c <= 0x97) ||
           c == 0x99 || c == 0x9A || c == 0x9C || c == 0x9E || c == 0x9F || c >= 0xC0;
}
// Characters that fill real Japanese text: punctuation, full-width letters,
// kana and the common (level 1) kanji.
bool IsCommonJapanese(uint8_t lead, uint8_t trail) {
    return lead == 0x81 || (lead == 0x82 && trail >= 0x4F) || (lead == 0x83 && trail <= 0x96) ||
           (lead >= 0x88 && lead <= 0x98);
}

struct Evidence {
    int japanese = 0;        // common Japanese characters, runs of half-width kana
    int western = 0;         // Western bytes standing alone between ASCII
    bool lowBytes = false;   // a byte in 0x80..0xA0 or 0xFF: no EUC-KR or GBK text has one
    bool oddRun = false;     // a run of high bytes of odd length
    bool kanjiLead = false;  // a byte 0xE0.. (a half-width kana text has none)
    int pairs = 0;           // two-byte pairs of A1..FE bytes
    int hangulPairs = 0;     // of them, pairs whose first byte is in EUC-KR's Hangul rows
};

void WeighCp932(std::string_view t, Evidence& e) {
    auto asciiAt = [&](size_t k) { return k >= t.size() || U(t[k]) < 0x80; };
    for (size_t i = 0; i < t.size();) {
        const uint8_t c = U(t[i]);
        if (c < 0x80) {
            ++i;
        } else if (IsSjisLead(c) && i + 1 < t.size() && IsSjisTrail(U(t[i + 1]))) {
            const uint8_t d = U(t[i + 1]);
            // "you\x92re": a Western byte whose "trail" is the next letter.
            const bool wedged = IsWesternByte(c) && IsLatinLetter(d) &&
                                (i == 0 || asciiAt(i - 1)) && asciiAt(i + 2);
            if (wedged)
                ++e.western;
            else if (IsCommonJapanese(c, d))
                ++e.japanese;
            i += 2;
        } else if (c >= 0xA1 && c <= 0xDF) {
            size_t run = 1;
            while (i + run < t.size() && U(t[i + run]) >= 0xA1 && U(t[i + run]) <= 0xDF) ++run;
            const bool letterBeside = (i > 0 && IsLatinLetter(U(t[i - 1]))) ||
                                      (i + 1 < t.size() && IsLatinLetter(U(t[i + 1])));
            if (run >= 2)
                ++e.japanese;
            else if (c >= 0xC0 && letterBeside)
                ++e.western;  // "\xC9cole": an accented capital, not a lone kana
            i += run;
        } else {
            // No CP932 character: a lead without its trail or an unused byte.
            if (IsWesternByte(c) || c == 0x80 || c == 0xA0) ++e.western;
            ++i;
        }
    }
}

void WeighCjk(std::string_view t, Evidence& e) {
    for (size_t i = 0; i < t.size();) {
        if (U(t[i]) < 0x80) {
            ++i;
            continue;
        }
        size_t run = 0;
        while (i + run < t.size() && U(t[i + run]) >= 0x80) ++run;
        for (size_t k = 0; k < run; ++k) {
            const uint8_t c = U(t[i + k]);
            if (c <= 0xA0 || c == 0xFF) e.lowBytes = true;
            if (c >= 0xE0) e.kanjiLead = true;
        }
        for (size_t k = 0; k + 1 < run; k += 2) {
            ++e.pairs;
            e.hangulPairs += U(t[i + k]) >= 0xB0 && U(t[i + k]) <= 0xC8;
        }
        if (run % 2 != 0) e.oddRun = true;
        i += run;
    }
}

// --- The charset detector ----------------------------------------------------

std::string DetectorGuess(std::span<const std::string_view> texts) {
    uchardet_t d = uchardet_new();
    if (!d) return {};
    for (std::string_view t : texts) {
        uchardet_handle_data(d, t.data(), t.size());
        uchardet_handle_data(d, "\n", 1);
    }
    uchardet_data_end(d);
    std::string name = uchardet_get_charset(d);
    uchardet_delete(d);
    for (char& c : name) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return name;
}

// Every byte has a CP1252 character (five in 0x80..0x9F have none).
bool AllCp1252(std::span<const std::string_view> texts) {
    return std::all_of(texts.begin(), texts.end(), [](std::string_view t) {
        return std::none_of(t.begin(), t.end(), [](char c) {
            const uint8_t b = U(c);
            return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
        });
    });
}

bool ConvertsAll(const CodePage& cp, std::span<const std::string_view> texts) {
    std::string ignored;
    return std::all_of(texts.begin(), texts.end(),
                       [&](std::string_view t) { return cp.TryToUtf8(t, ignored); });
}

// Korean or Chinese, when every high byte stands in pairs of A1..FE bytes
// that the CP932 reading would make kana-less gibberish of.
const CodePage* CjkCodePage(std::span<const std::string_view> texts, const Evidence& e) {
    if (e.lowBytes || e.oddRun || !e.kanjiLead || e.pairs == 0) return nullptr;
    const std::string guess = DetectorGuess(texts);
    if (IsCp932Family(guess)) return nullptr;
    const CodePage& korean = CodePageNamed("CP949");
    const CodePage& chinese = CodePageNamed("GB18030");
    // Korean text stays in the Hangul rows; Chinese spreads over the rows
    // after them. The detector overrules only where it has enough to go on.
    bool koreanFirst = e.hangulPairs == e.pairs;
    const bool saysKorean = guess == "EUC-KR" || guess == "UHC" || guess == "CP949";
    const bool saysChinese = guess == "GB18030" || guess == "GB2312" || guess == "GBK";
    if (saysKorean && e.hangulPairs * 10 >= e.pairs * 6) koreanFirst = true;
    if (saysChinese && e.pairs >= 8) koreanFirst = false;
    const CodePage& first = koreanFirst ? korean : chinese;
    const CodePage& second = koreanFirst ? chinese : korean;
    if (ConvertsAll(first, texts)) return &first;
    if (ConvertsAll(second, texts)) return &second;
    return nullptr;
}

const CodePage& DecideFromBytes(std::span<const std::string_view> texts, const CodePage& lean) {
    Evidence e;
    for (std::string_view t : texts) WeighCp932(t, e);
    // Kana, Japanese punctuation and most kanji start with a byte EUC-KR and
    // GBK never use: Japanese text needs no look at those.
    const bool japaneseBytes = std::any_of(texts.begin(), texts.end(), [](std::string_view t) {
        return std::any_of(t.begin(), t.end(),
                           [](char c) { return (U(c) >= 0x80 && U(c) <= 0xA0) || U(c) == 0xFF; });
    });
    if (!japaneseBytes) {
        for (std::string_view t : texts) WeighCjk(t, e);
        if (const CodePage* cjk = CjkCodePage(texts, e)) return *cjk;
    }
    if (e.western == 0) return lean;
    const CodePage& western = CodePageNamed("CP1252");
    // Clear evidence decides alone; a mixed picture asks the detector.
    bool isWestern = e.western > 2 * e.japanese;
    if (!isWestern && e.western >= e.japanese) {
        const std::string guess = DetectorGuess(texts);
        isWestern = guess == "WINDOWS-1252" || guess.starts_with("ISO-8859");
    }
    return isWestern && AllCp1252(texts) ? western : lean;
}

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

}  // namespace

std::string TextEncodingOfSetting(int32_t item) {
    if (item < 0 || item >= static_cast<int32_t>(kTextEncodingCodePages.size())) return {};
    return kTextEncodingCodePages[static_cast<size_t>(item)];
}

namespace {
const CodePage& Cp932() {
    static const CodePage& cp = CodePageNamed(CodePage::kDefaultName);
    return cp;
}

void PublishChoice(Choice& c) {
    const std::string& name = c.commandLine.empty() ? c.setting : c.commandLine;
    c.chosen.store(name.empty() ? nullptr : &CodePageNamed(name));
}
}  // namespace

void SetCommandLineTextEncoding(const std::string& codePage) {
    Choice& c = UserChoice();
    std::lock_guard lk(c.mu);
    c.commandLine = codePage;
    PublishChoice(c);
}

void SetSettingTextEncoding(const std::string& codePage) {
    Choice& c = UserChoice();
    std::lock_guard lk(c.mu);
    c.setting = codePage;
    PublishChoice(c);
}

std::string ChosenTextEncoding() {
    Choice& c = UserChoice();
    std::lock_guard lk(c.mu);
    return c.commandLine.empty() ? c.setting : c.commandLine;
}

const CodePage& CodePageNamed(const std::string& name) {
    // Never destroyed: songs and views keep references until the very end.
    static std::mutex mu;
    static auto* pages = new std::map<std::string, std::unique_ptr<const CodePage>>;
    std::lock_guard lk(mu);
    std::unique_ptr<const CodePage>& slot = (*pages)[name];
    if (!slot) slot = std::make_unique<const CodePage>(name);
    return *slot;
}

const CodePage& DecideTextEncoding(std::span<const std::string_view> texts,
                                   const std::string& chosen, const CodePage& lean) {
    if (!chosen.empty()) return CodePageNamed(chosen);
    const bool anyHigh = std::any_of(texts.begin(), texts.end(), [](std::string_view t) {
        return std::any_of(t.begin(), t.end(), [](char c) { return U(c) >= 0x80; });
    });
    if (!anyHigh) return lean;
    for (std::string_view t : texts) {
        if (StartsWith(t, kUtf8Bom)) return CodePageNamed("UTF-8");
    }
    // A UTF-16 mark only starts a whole file (iconv reads the mark itself).
    if (texts.size() == 1 &&
        (StartsWith(texts[0], kUtf16LeBom) || StartsWith(texts[0], kUtf16BeBom)))
        return CodePageNamed("UTF-16");
    if (AllUtf8(texts) && !(IsCp932Family(lean.Name()) && Utf8ReadsAsKana(texts)))
        return CodePageNamed("UTF-8");
    if (!IsCp932Family(lean.Name())) return lean;
    return DecideFromBytes(texts, lean);
}

const CodePage& DecideTextEncoding(std::span<const std::string_view> texts) {
    if (const CodePage* chosen = UserChoice().chosen.load()) return *chosen;
    return DecideTextEncoding(texts, std::string(), Cp932());
}

const CodePage& DecideTextEncoding(std::string_view text) {
    return DecideTextEncoding(std::span<const std::string_view>(&text, 1));
}

std::string DecodeFileText(std::string_view bytes, const CodePage& lean) {
    const CodePage& cp = DecideTextEncoding(std::span<const std::string_view>(&bytes, 1),
                                            ChosenTextEncoding(), lean);
    return cp.ToUtf8(bytes);
}

std::string DecodeFileText(std::string_view bytes) {
    return DecodeFileText(bytes, Cp932());
}

std::string Recode(std::string_view bytes, const CodePage& from, const CodePage& to) {
    if (&from == &to || from.Name() == to.Name()) return std::string(bytes);
    return to.FromUtf8(from.ToUtf8(bytes));
}

}  // namespace sonfara::platform
