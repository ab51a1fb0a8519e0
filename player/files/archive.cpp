#include "player/files/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "player/files/paths.h"
#include "player/platform/codepage.h"
#include "player/platform/text_decoding.h"

namespace sonfara::files {
namespace {

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

// libarchive turns member names into the calling thread's locale and fails
// on names that locale cannot hold; a UTF-8 locale for this thread, while an
// archive is read, lets every name through whatever the process locale is.
class Utf8LocaleScope {
  public:
    Utf8LocaleScope() {
        static const locale_t utf8 = [] {
            locale_t l = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
            if (!l) l = ::newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(nullptr));
            return l;
        }();
        if (utf8) previous_ = ::uselocale(utf8);
    }
    ~Utf8LocaleScope() {
        if (previous_) ::uselocale(previous_);
    }
    Utf8LocaleScope(const Utf8LocaleScope&) = delete;
    Utf8LocaleScope& operator=(const Utf8LocaleScope&) = delete;

  private:
    locale_t previous_ = nullptr;
};

// How LHA names are turned into text. ZIP names always come as stored (or
// as UTF-8 when the archive marks them so) and are decoded here.
enum class LhaNames {
    kCp932,   // libarchive decodes them (and honours a header's own code page)
    kLatin1,  // every byte passes, so a name no code page can read cannot stop the walk
};

ArchivePtr OpenArchive(const std::string& path, LhaNames lha) {
    ArchivePtr a(archive_read_new());
    if (!a) return nullptr;
    archive_read_support_format_lha(a.get());
    archive_read_support_format_zip(a.get());
    archive_read_support_filter_none(a.get());
    archive_read_set_options(
        a.get(), lha == LhaNames::kCp932 ? "lha:hdrcharset=CP932" : "lha:hdrcharset=ISO-8859-1");
    if (archive_read_open_filename(a.get(), path.c_str(), 65536) != ARCHIVE_OK) return nullptr;
    return a;
}

// The bytes behind a name read as Latin-1; false when it holds other
// characters (a header that named its own code page).
bool Latin1Bytes(std::string_view utf8, std::string& out) {
    out.clear();
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
        } else {
            return false;
        }
    }
    return true;
}

// A name as the message shows it: undecodable bytes as \xNN.
std::string ShownName(std::string_view raw) {
    if (raw.empty()) return "\"\"";
    static const char* const kDigits = "0123456789ABCDEF";
    std::string s;
    for (const char ch : raw) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c < 0x7F) {
            s += ch;
        } else {
            s += "\\x";
            s += kDigits[c >> 4];
            s += kDigits[c & 15];
        }
    }
    return s;
}

// One header: its name in UTF-8, or an empty name and how to show the
// stored one when it cannot be named safely.
struct Header {
    bool regular = false;
    std::string name;
    std::string shown;
};

// Stored bytes are in the encoding decided for the name: UTF-8 from
// archives written on Unix, mostly CP932 from DOS and Windows. A name that
// does not convert whole is not used.
Header Decode(std::string_view raw) {
    Header h;
    std::string text;
    if (!raw.empty() && platform::DecideTextEncoding(raw).TryToUtf8(raw, text) &&
        text.find('\0') == std::string::npos) {
        h.name = NativeSeparators(text);
    }
    if (h.name.empty()) h.shown = ShownName(raw);
    return h;
}

Header HeaderOf(archive* a, archive_entry* e, LhaNames lha) {
    Header h;
    const char* name = archive_entry_pathname(e);
    if (!name) {
        h.shown = "?";  // libarchive could not name it at all
    } else if ((archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) != ARCHIVE_FORMAT_LHA) {
        h = Decode(name);
    } else if (std::string raw; lha == LhaNames::kLatin1 && Latin1Bytes(name, raw)) {
        h = Decode(raw);
    } else {
        h.name = NativeSeparators(name);
        if (h.name.empty()) h.shown = ShownName(name);
    }
    h.regular = archive_entry_filetype(e) == AE_IFREG;
    return h;
}

// Calls fn(header, archive) for each header until fn returns false. False
// when the archive could not be read to its end.
template <typename Fn>
bool ForEachHeader(archive* a, LhaNames lha, Fn&& fn) {
    int retries = 0;
    for (;;) {
        archive_entry* e = nullptr;
        const int r = archive_read_next_header(a, &e);
        if (r == ARCHIVE_EOF) return true;
        if (r == ARCHIVE_FATAL) return false;
        if (r == ARCHIVE_RETRY) {
            if (++retries > 16) return false;
            continue;
        }
        if (!fn(HeaderOf(a, e, lha), a)) return true;
    }
}

// Walks the regular members: fn(name, archive) for each one that can be
// named safely; the others are listed in `skipped`. A first pass lets
// libarchive decode LHA names; when a name stops it (libarchive gives up on
// the whole archive then), a second pass reads every name as bytes and
// decodes the rest here. False when damage ended the walk early.
template <typename Fn>
bool WalkMembers(const std::string& path, bool withData, std::vector<std::string>& skipped,
                 Fn&& fn) {
    Utf8LocaleScope locale;
    std::vector<Header> first;
    bool complete = false;
    if (ArchivePtr a = OpenArchive(path, LhaNames::kCp932)) {
        complete = ForEachHeader(a.get(), LhaNames::kCp932, [&](Header h, archive*) {
            first.push_back(std::move(h));
            return true;
        });
    }
    size_t index = 0;
    auto visit = [&](Header h, archive* a) {
        if (index < first.size()) h = first[index];
        ++index;
        if (!h.regular) return true;
        if (h.name.empty()) {
            skipped.push_back(h.shown);
            return true;
        }
        return fn(h.name, a);
    };
    if (complete && !withData) {
        for (const Header& h : first) {
            if (!visit(h, nullptr)) break;
        }
        return true;
    }
    ArchivePtr a = OpenArchive(path, complete ? LhaNames::kCp932 : LhaNames::kLatin1);
    return a && ForEachHeader(a.get(), complete ? LhaNames::kCp932 : LhaNames::kLatin1, visit);
}

template <typename Fn>
void ForEachMember(const std::string& path, Fn&& fn) {
    std::vector<std::string> skipped;
    WalkMembers(path, /*withData=*/true, skipped, fn);
}

bool WildMatch(const char* p, const char* s) {
    // Iterative '*' matching with one backtrack point: linear enough for names.
    const char* star = nullptr;
    const char* resume = nullptr;
    auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
    while (*s) {
        if (*p == '*') {
            star = p++;
            resume = s;
        } else if (*p == '?' || (*p && up(*p) == up(*s))) {
            ++p;
            ++s;
        } else if (star) {
            p = star + 1;
            s = ++resume;
        } else {
            return false;
        }
    }
    while (*p == '*') ++p;
    return *p == 0;
}

// No song or companion comes near this; a member that expands beyond it is
// a bomb, not a song, and must not fill the disk.
constexpr la_int64_t kMaxMemberBytes = 256ll << 20;

// Writes the current member's data to `target`; removes it on any failure.
bool WriteMember(archive* a, const std::string& target) {
    ::unlink(target.c_str());
    const int fd =
        ::open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool ok = true;
    const void* buf = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    off_t written = 0;
    for (;;) {
        const int r = archive_read_data_block(a, &buf, &size, &offset);
        if (r == ARCHIVE_EOF) break;
        if (r < ARCHIVE_WARN || offset + static_cast<la_int64_t>(size) > kMaxMemberBytes) {
            ok = false;
            break;
        }
        const char* p = static_cast<const char*>(buf);
        size_t left = size;
        while (left > 0) {
            const ssize_t n = ::pwrite(fd, p, left, offset);
            if (n < 0) {
                if (errno == EINTR) continue;
                ok = false;
                break;
            }
            p += n;
            left -= static_cast<size_t>(n);
            offset += n;
        }
        if (!ok) break;
        written = offset;
    }
    if (ok && ::ftruncate(fd, written) != 0) ok = false;
    if (::close(fd) != 0) ok = false;
    if (!ok) ::unlink(target.c_str());
    return ok;
}

// The current member's data in memory; false on damage or a bomb.
bool ReadMember(archive* a, std::string& out) {
    out.clear();
    const void* buf = nullptr;
    size_t size = 0;
    la_int64_t offset = 0;
    for (;;) {
        const int r = archive_read_data_block(a, &buf, &size, &offset);
        if (r == ARCHIVE_EOF) return true;
        if (r < ARCHIVE_WARN || offset + static_cast<la_int64_t>(size) > kMaxMemberBytes)
            return false;
        if (out.size() < static_cast<size_t>(offset)) out.resize(static_cast<size_t>(offset));
        out.replace(static_cast<size_t>(offset), size, static_cast<const char*>(buf), size);
    }
}

// What the last extraction into each folder wrote. Only this program's own
// files are removed before the next one: another program running at the
// same time may be playing from the shared work folder.
class ExtractionLedger {
  public:
    void RemovePrevious(const std::string& folder) {
        std::lock_guard lock(mutex_);
        for (const std::string& path : written_[folder]) ::unlink(path.c_str());
        written_[folder].clear();
    }
    void Add(const std::string& folder, const std::string& path) {
        std::lock_guard lock(mutex_);
        written_[folder].push_back(path);
    }

  private:
    std::mutex mutex_;
    std::map<std::string, std::vector<std::string>> written_;
};

ExtractionLedger& Ledger() {
    static ExtractionLedger ledger;
    return ledger;
}

std::string ReplaceLast3(const std::string& name, const char* ext) {
    return (name.size() >= 3 ? name.substr(0, name.size() - 3) : std::string()) + ext;
}

}  // namespace

ArchiveKind ArchiveKindOf(const std::string& archivePath) {
    const std::string t = UpperTail(archivePath, 4);
    if (t == ".LZH" || t == ".LMD") return ArchiveKind::kLha;
    if (t == ".ZIP" || t == ".ZMD") return ArchiveKind::kZip;
    return ArchiveKind::kNone;
}

std::string ArchiverVersionText() {
    return archive_version_string();
}

bool ArchiverPresent(ArchiveKind kind) {
    return kind != ArchiveKind::kNone;
}

bool MemberMatches(const std::string& pattern, const std::string& member) {
    const bool patternHasFolder = pattern.find_first_of("/\\") != std::string::npos;
    const std::string subject = patternHasFolder ? member : PathFileName(member);
    return WildMatch(NativeSeparators(pattern).c_str(), subject.c_str());
}

bool IsUnsafeMemberName(const std::string& member) {
    if (member.empty() || IsSep(member[0])) return true;
    if (member.size() >= 2 && member[1] == ':') return true;  // drive letter
    size_t start = 0;
    while (start <= member.size()) {
        size_t end = member.find_first_of("/\\", start);
        if (end == std::string::npos) end = member.size();
        if (member.compare(start, end - start, "..") == 0 && end - start == 2) return true;
        start = end + 1;
    }
    const std::string base = PathFileName(member);
    return base.empty() || base == "." || base == "..";
}

ArchiveListing ReadArchiveListing(const std::string& archivePath) {
    ArchiveListing l;
    l.complete = WalkMembers(archivePath, /*withData=*/false, l.skipped,
                             [&](const std::string& name, archive*) {
                                 l.names.push_back(name);
                                 return true;
                             });
    return l;
}

std::vector<std::string> ArchiveMembers(const std::string& archivePath) {
    return ReadArchiveListing(archivePath).names;
}

std::vector<std::string> ListArchiveSongs(const std::string& archivePath, Notifier* notifier) {
    ArchiveListing l = ReadArchiveListing(archivePath);
    std::vector<std::string> out;
    for (const std::string& pattern : SongPatterns()) {
        for (const std::string& m : l.names) {
            if (!MemberMatches(pattern, m)) continue;
            if (IsUnsafeMemberName(m)) {
                l.skipped.push_back(m);
            } else {
                out.push_back(m);
            }
        }
    }
    if (notifier) ReportListingProblems(archivePath, l, *notifier);
    return out;
}

void ReportListingProblems(const std::string& archivePath, const ArchiveListing& listing,
                           Notifier& notifier) {
    if (!listing.skipped.empty()) {
        std::string text = std::string(msg::kSkippedMembers) + archivePath + "\r\n";
        for (size_t i = 0; i < listing.skipped.size(); ++i)
            text += (i ? ", " : "") + listing.skipped[i];
        notifier.Error(text);
    }
    if (!listing.complete) notifier.Error(std::string(msg::kArchiveDamaged) + archivePath);
}

ArchiveListing ReadArchiveSongs(
    const std::string& archivePath,
    const std::function<void(const std::string& name, const std::string* bytes)>& fn) {
    ArchiveListing l;
    l.complete = WalkMembers(archivePath, /*withData=*/true, l.skipped,
                             [&](const std::string& name, archive* a) {
                                 l.names.push_back(name);
                                 bool song = false;
                                 for (const std::string& p : SongPatterns())
                                     song = song || MemberMatches(p, name);
                                 if (!song) return true;
                                 if (IsUnsafeMemberName(name)) {
                                     l.skipped.push_back(name);
                                     return true;
                                 }
                                 std::string bytes;
                                 fn(name, ReadMember(a, bytes) ? &bytes : nullptr);
                                 return true;
                             });
    return l;
}

std::vector<std::string> ExtractionPatterns(const std::string& memberName) {
    return {memberName,
            ReplaceLast3(memberName, "txt"),
            ReplaceLast3(memberName, "doc"),
            ReplaceLast3(memberName, "sry"),
            "*.png",
            ReplaceLast3(memberName, "wrd"),
            "*.mag",
            "*.cm6",
            "*.gsd"};
}

std::string ExtractEntry(const FileEntry& entry, const std::string& workFolder,
                         Notifier& notifier) {
    const std::string archivePath = platform::JoinPath(entry.Folder, entry.ArchiveName);
    const ArchiveKind kind = ArchiveKindOf(archivePath);
    if (kind == ArchiveKind::kNone) return {};
    if (!ArchiverPresent(kind)) {
        notifier.Error(kind == ArchiveKind::kLha ? msg::kNoLhaLibrary : msg::kNoZipLibrary);
        return {};
    }
    const std::string result = platform::JoinPath(workFolder, PathFileName(entry.FileName));
    // Nothing of an earlier extraction may stand in for this one: not an
    // older copy of the member, nor another archive's companions.
    Ledger().RemovePrevious(workFolder);
    ::unlink(result.c_str());

    const std::vector<std::string> patterns = ExtractionPatterns(entry.FileName);
    std::vector<std::string> unsafe;
    ForEachMember(archivePath, [&](const std::string& name, archive* a) {
        bool wanted = false;
        for (const std::string& p : patterns) {
            const bool literal = p.find_first_of("*?") == std::string::npos;
            if (literal ? Upper(p) == Upper(name) : MemberMatches(p, name)) {
                wanted = true;
                break;
            }
        }
        if (!wanted) return true;
        if (IsUnsafeMemberName(name)) {
            unsafe.push_back(name);
            return true;
        }
        const std::string target = platform::JoinPath(workFolder, PathFileName(name));
        if (WriteMember(a, target)) Ledger().Add(workFolder, target);
        return true;
    });
    if (!unsafe.empty()) {
        std::string text = msg::kUnsafeMember;
        for (size_t i = 0; i < unsafe.size(); ++i) text += (i ? ", " : "") + unsafe[i];
        notifier.Error(text);
    }
    return result;
}

}  // namespace sonfara::files
