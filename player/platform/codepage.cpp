#include "player/platform/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace sonfara::platform {
namespace {

// Converts with iconv, replacing each unconvertible input unit by `replacement`.
// `unitLen` gives how many input bytes to skip on an invalid sequence.
std::string Convert(const std::string& from, const std::string& to, std::string_view in,
                    std::string_view replacement) {
    std::string out;
    if (in.empty()) return out;
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);

    std::vector<char> src(in.begin(), in.end());
    char* inPtr = src.data();
    size_t inLeft = src.size();
    std::vector<char> buf(in.size() * 4 + 16);
    while (inLeft > 0) {
        char* outPtr = buf.data();
        size_t outLeft = buf.size();
        size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), buf.size() - outLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) continue;
        // EILSEQ or EINVAL: skip one input unit and mark it.
        size_t skip = 1;
        if (from == "UTF-8") {
            // Skip a whole UTF-8 sequence so one character gives one mark.
            unsigned char c = static_cast<unsigned char>(*inPtr);
            skip = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
            if (skip > inLeft) skip = inLeft;
        }
        inPtr += skip;
        inLeft -= skip;
        out.append(replacement);
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush any shift state.
    char* outPtr = buf.data();
    size_t outLeft = buf.size();
    iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buf.data(), buf.size() - outLeft);
    iconv_close(cd);
    return out;
}

// Converts without any replacement; false on the first unconvertible unit.
bool ConvertStrict(const std::string& from, const std::string& to, std::string_view in,
                   std::string& out) {
    out.clear();
    if (in.empty()) return true;
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::vector<char> src(in.begin(), in.end());
    char* inPtr = src.data();
    size_t inLeft = src.size();
    std::vector<char> buf(in.size() * 4 + 16);
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buf.data();
        size_t outLeft = buf.size();
        const size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        out.append(buf.data(), buf.size() - outLeft);
        if (r != static_cast<size_t>(-1)) {
            // glibc counts characters it replaced by a fallback; none is allowed.
            ok = r == 0;
            break;
        }
        if (errno != E2BIG) {
            ok = false;
            break;
        }
    }
    char* outPtr = buf.data();
    size_t outLeft = buf.size();
    if (ok) iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
    out.append(buf.data(), buf.size() - outLeft);
    iconv_close(cd);
    return ok;
}

CodePage& ProgramCodePage() {
    static CodePage cp = [] {
        const char* env = std::getenv("SONFARA_CODEPAGE");
        return CodePage(env && *env ? env : CodePage::kDefaultName);
    }();
    return cp;
}

}  // namespace

bool IsPlausibleUtf8(std::string_view s) {
    bool wide = false;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        const size_t n = (c & 0xE0) == 0xC0   ? 2
                         : (c & 0xF0) == 0xE0 ? 3
                         : (c & 0xF8) == 0xF0 ? 4
                                              : 0;
        if (n == 0 || i + n > s.size()) return false;
        uint32_t cp = c & (0x7F >> n);
        for (size_t k = 1; k < n; ++k) {
            const unsigned char t = static_cast<unsigned char>(s[i + k]);
            if ((t & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (t & 0x3F);
        }
        static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        if (cp < 0xA0) return false;  // C1 controls: code-page bytes, not text
        wide = true;
        i += n;
    }
    return wide;
}

CodePage::CodePage(std::string name) : name_(std::move(name)) {
    const auto kNone = reinterpret_cast<iconv_t>(-1);
    iconv_t cd = iconv_open("UTF-8", name_.c_str());
    valid_ = cd != kNone;
    if (!valid_) {
        name_ = kDefaultName;
        cd = iconv_open("UTF-8", name_.c_str());
    }
    if (cd != kNone)
        keepLoaded_ =
            std::shared_ptr<void>(cd, [](void* p) { iconv_close(static_cast<iconv_t>(p)); });
}

namespace {
// A UTF-8 text's byte-order mark is no character of the text.
std::string_view WithoutBom(const std::string& name, std::string_view bytes) {
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    return name == "UTF-8" && bytes.substr(0, kBom.size()) == kBom ? bytes.substr(kBom.size())
                                                                   : bytes;
}
}  // namespace

std::string CodePage::ToUtf8(std::string_view bytes) const {
    return Convert(name_, "UTF-8", WithoutBom(name_, bytes), "\xEF\xBF\xBD");
}

std::string CodePage::FromUtf8(std::string_view utf8) const {
    return Convert("UTF-8", name_, utf8, "?");
}

bool CodePage::TryToUtf8(std::string_view bytes, std::string& out) const {
    return ConvertStrict(name_, "UTF-8", WithoutBom(name_, bytes), out);
}

bool CodePage::TryFromUtf8(std::string_view utf8, std::string& out) const {
    return ConvertStrict("UTF-8", name_, utf8, out);
}

const CodePage& SystemCodePage() {
    return ProgramCodePage();
}

void SetSystemCodePage(const std::string& name) {
    ProgramCodePage() = CodePage(name);
}

}  // namespace sonfara::platform
