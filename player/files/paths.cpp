#include "player/files/paths.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <iostream>

#include "player/platform/text_decoding.h"

namespace sonfara::files {
namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// Code points of a UTF-8 text as byte ranges.
std::vector<std::string_view> Utf8Chars(std::string_view s) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        n = std::min(n, s.size() - i);
        out.push_back(s.substr(i, n));
        i += n;
    }
    return out;
}

bool IsShiftJisFamily(const platform::CodePage& cp) {
    const std::string n = Upper(cp.Name());
    return n.find("932") != std::string::npos || n.find("SJIS") != std::string::npos ||
           n.find("SHIFT") != std::string::npos;
}

bool IsSjisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Character codes of code-page bytes, double-byte characters as one signed code.
std::vector<int16_t> CodesOf(std::string_view bytes, bool sjis) {
    std::vector<int16_t> codes;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (sjis && IsSjisLead(c) && i + 1 < bytes.size()) {
            const unsigned char t = static_cast<unsigned char>(bytes[i + 1]);
            codes.push_back(static_cast<int16_t>(static_cast<uint16_t>((c << 8) | t)));
            ++i;
        } else {
            codes.push_back(static_cast<int16_t>(c));
        }
    }
    return codes;
}

bool KeyGreater(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i]) return a[i] > b[i];
    }
    return a.size() > b.size();
}

}  // namespace

void StderrNotifier::Error(const std::string& text) {
    std::string t = platform::Localized(text);
    std::replace(t.begin(), t.end(), '\r', '\n');
    // Names from archives may carry terminal escape sequences.
    for (char& c : t) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F) c = '?';
    }
    std::cerr << kCaption << ": " << t << "\n";
}

void StderrNotifier::Info(const std::string& text) {
    Error(text);
}

std::string Trim(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && IsBlank(text[b])) ++b;
    while (e > b && IsBlank(text[e - 1])) --e;
    return std::string(text.substr(b, e - b));
}

std::string TrimQuotes(std::string_view text) {
    std::string t = Trim(text);
    if (!t.empty() && t.front() == '"') t.erase(0, 1);
    if (!t.empty() && t.back() == '"') t.pop_back();
    return t;
}

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

std::string UpperTail(std::string_view path, size_t n) {
    return Upper(path.size() <= n ? path : path.substr(path.size() - n));
}

static size_t LastSep(std::string_view path) {
    return path.find_last_of("/\\");
}

std::string PathFileName(std::string_view path) {
    const size_t p = LastSep(path);
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string PathFolder(std::string_view path) {
    const size_t p = LastSep(path);
    if (p == std::string_view::npos) return {};
    if (p == 0) return "/";
    return std::string(path.substr(0, p));
}

std::string FileNameOf(std::string_view path) {
    const size_t p = LastSep(path);
    return p == std::string_view::npos ? std::string() : std::string(path.substr(p + 1));
}

bool HasArchiveExtension(std::string_view path) {
    const std::string t = UpperTail(path, 4);
    return t == ".LZH" || t == ".LMD" || t == ".ZIP" || t == ".ZMD";
}

namespace {

// A component with an archive's extension is an archive unless it is
// something else on disk (a folder named old.zip); one that does not exist
// stays an archive, so the entry fails as a missing archive.
bool IsArchiveComponent(const std::string& path) {
    if (!HasArchiveExtension(path)) return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) != 0 || S_ISREG(st.st_mode);
}

}  // namespace

FileEntry SplitEntryPath(std::string_view path) {
    FileEntry e;
    const size_t p = LastSep(path);
    if (p == std::string_view::npos) {
        e.FileName = Trim(path);
        return e;
    }
    std::string rest = Trim(path.substr(0, p));
    std::string name(path.substr(p + 1));
    if (!IsArchiveComponent(rest)) {
        // A member inside a sub-folder of the archive: the archive is the
        // nearest component to the right that is an archive.
        for (size_t q = LastSep(rest); q != std::string::npos && q > 0;
             q = rest.find_last_of("/\\", q - 1)) {
            const std::string head = rest.substr(0, q);
            if (IsArchiveComponent(head)) {
                name = rest.substr(q + 1) + kSep + name;
                rest = head;
                break;
            }
        }
    }
    if (IsArchiveComponent(rest)) {
        const size_t a = LastSep(rest);
        if (a == std::string::npos) {
            e.ArchiveName = rest;
        } else {
            e.ArchiveName = rest.substr(a + 1);
            e.Folder = a == 0 ? std::string("/") : rest.substr(0, a);
        }
    } else {
        e.Folder = rest;
    }
    e.FileName = Trim(name);
    e.Folder = Trim(e.Folder);
    e.ArchiveName = Trim(e.ArchiveName);
    return e;
}

std::string EntryPath(const FileEntry& e) {
    if (e.ArchiveName.empty()) return platform::JoinPath(e.Folder, e.FileName);
    return platform::JoinPath(platform::JoinPath(e.Folder, e.ArchiveName), e.FileName);
}

std::string EntryArchivePath(const FileEntry& e) {
    return e.ArchiveName.empty() ? std::string() : platform::JoinPath(e.Folder, e.ArchiveName);
}

std::string NativeSeparators(std::string path) {
    std::replace(path.begin(), path.end(), '\\', kSep);
    return path;
}

std::vector<int16_t> SortKey(std::string_view fileName, const platform::CodePage& cp) {
    const std::string up = Upper(fileName);
    if (IsAscii(up)) {
        std::vector<int16_t> codes(up.begin(), up.end());
        codes.resize(codes.size() > 4 ? codes.size() - 4 : 0);
        return codes;
    }
    std::vector<int16_t> codes;
    if (IsShiftJisFamily(cp)) {
        codes = CodesOf(cp.FromUtf8(up), true);
    } else {
        for (std::string_view ch : Utf8Chars(up)) {
            const std::vector<int16_t> one = CodesOf(cp.FromUtf8(ch), false);
            if (one.size() == 2) {
                codes.push_back(static_cast<int16_t>(
                    static_cast<uint16_t>((static_cast<uint16_t>(one[0]) << 8) |
                                          (static_cast<uint16_t>(one[1]) & 0xFF))));
            } else if (!one.empty()) {
                codes.push_back(one[0]);
            }
        }
    }
    codes.resize(codes.size() > 4 ? codes.size() - 4 : 0);
    return codes;
}

bool NameIsGreater(std::string_view a, std::string_view b, const platform::CodePage& cp) {
    // Whole names here; the sort drops the extension through SortKey.
    auto codes = [&](std::string_view s) {
        const std::string up = Upper(s);
        return IsAscii(up) ? std::vector<int16_t>(up.begin(), up.end())
                           : CodesOf(cp.FromUtf8(up), IsShiftJisFamily(cp));
    };
    return KeyGreater(codes(a), codes(b));
}

void SortEntries(std::vector<FileEntry>& entries, const platform::CodePage& cp) {
    std::vector<std::pair<std::vector<int16_t>, FileEntry>> keyed;
    keyed.reserve(entries.size());
    for (auto& e : entries) keyed.emplace_back(SortKey(e.FileName, cp), std::move(e));
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& x, const auto& y) { return KeyGreater(y.first, x.first); });
    for (size_t i = 0; i < keyed.size(); ++i) entries[i] = std::move(keyed[i].second);
}

std::string EncodeTextFile(const std::vector<std::string>& utf8Lines,
                           const platform::CodePage& cp) {
    std::string text;
    for (const auto& l : utf8Lines) {
        text += l;
        text += "\r\n";
    }
    if (IsAscii(text)) return text;
    std::string bytes = cp.FromUtf8(text);
    if (cp.ToUtf8(bytes) == text) return bytes;
    return std::string(kBom) + text;
}

std::string DecodeText(std::string_view bytes, const platform::CodePage& cp) {
    if (IsAscii(bytes)) return std::string(bytes);
    // Our own files are written in `cp` (UTF-8 with a mark when it cannot
    // hold a name); those of other programs are weighed like any other
    // text. The encoding setting is not asked: it would misread the files
    // this program wrote itself.
    return platform::DecideTextEncoding(std::span<const std::string_view>(&bytes, 1), std::string(),
                                        cp)
        .ToUtf8(bytes);
}

std::vector<std::string> DecodeTextLines(std::string_view bytes, const platform::CodePage& cp) {
    const std::string text = DecodeText(bytes, cp);
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            lines.push_back(text.substr(start, i - start));
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FindFileAnyCase(const std::string& path) {
    if (FileExists(path)) return path;
    const std::string folder = PathFolder(path);
    const std::string wanted = Upper(PathFileName(path));
    std::string found;
    if (DIR* d = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (dirent* de = ::readdir(d)) {
            if (Upper(de->d_name) != wanted) continue;
            const std::string candidate = platform::JoinPath(folder, de->d_name);
            if (FileExists(candidate)) {
                found = candidate;
                break;
            }
        }
        ::closedir(d);
    }
    return found;
}

}  // namespace sonfara::files
