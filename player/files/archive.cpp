#include "player/files/archive.h"

#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "player/files/paths.h"
#include "player/platform/codepage.h"

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

// Names without a Unicode mark are Japanese code-page text in most of these
// archives; archives written on Unix may hold UTF-8 instead.
enum class NameCharset { kCp932, kNative };

ArchivePtr OpenArchive(const std::string& path, NameCharset charset = NameCharset::kCp932) {
    ArchivePtr a(archive_read_new());
    if (!a) return nullptr;
    archive_read_support_format_lha(a.get());
    archive_read_support_format_zip(a.get());
    archive_read_support_filter_none(a.get());
    if (charset == NameCharset::kCp932) {
        archive_read_set_options(a.get(), "lha:hdrcharset=CP932,zip:hdrcharset=CP932");
    }
    if (archive_read_open_filename(a.get(), path.c_str(), 65536) != ARCHIVE_OK) return nullptr;
    return a;
}

bool IsUtf8(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (n == 0 || i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        }
        i += n;
    }
    return true;
}

std::string MemberName(archive_entry* e) {
    const char* name = archive_entry_pathname_utf8(e);
    if (!name) name = archive_entry_pathname(e);
    if (!name) return {};
    std::string s(name);
    if (!IsUtf8(s)) s = CodePage("CP932").ToUtf8(s);
    return NativeSeparators(s);
}

// Calls fn(name, entry) for each regular-file member until fn returns false.
// False when the archive could not be read to its end.
template <typename Fn>
bool ForEachMemberOf(archive* a, Fn&& fn) {
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
        if (archive_entry_filetype(e) != AE_IFREG) continue;
        if (!fn(MemberName(e), e)) return true;
    }
}

// Reads the archive with code-page names; when that fails part-way (a name
// that is not code-page text, or damage), reads it again with names as they
// are and keeps the pass that got further. fn(name, archive) per member.
template <typename Fn>
void ForEachMember(const std::string& path, Fn&& fn) {
    Utf8LocaleScope locale;
    std::vector<std::string> seen;
    bool complete = false;
    if (ArchivePtr a = OpenArchive(path, NameCharset::kCp932)) {
        complete = ForEachMemberOf(a.get(), [&](const std::string& n, archive_entry*) {
            seen.push_back(n);
            return true;
        });
    }
    NameCharset charset = NameCharset::kCp932;
    if (!complete) {
        size_t native = 0;
        if (ArchivePtr a = OpenArchive(path, NameCharset::kNative)) {
            ForEachMemberOf(a.get(), [&](const std::string&, archive_entry*) {
                ++native;
                return true;
            });
        }
        if (native > seen.size()) charset = NameCharset::kNative;
    }
    ArchivePtr a = OpenArchive(path, charset);
    if (!a) return;
    ForEachMemberOf(a.get(), [&](const std::string& n, archive_entry*) { return fn(n, a.get()); });
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

std::vector<std::string> ArchiveMembers(const std::string& archivePath) {
    std::vector<std::string> names;
    ForEachMember(archivePath, [&](const std::string& name, archive*) {
        names.push_back(name);
        return true;
    });
    return names;
}

std::vector<std::string> ListArchiveSongs(const std::string& archivePath) {
    const std::vector<std::string> members = ArchiveMembers(archivePath);
    std::vector<std::string> out;
    for (const std::string& pattern : SongPatterns()) {
        for (const std::string& m : members) {
            if (!IsUnsafeMemberName(m) && MemberMatches(pattern, m)) out.push_back(m);
        }
    }
    return out;
}

std::vector<std::string> ExtractionPatterns(const std::string& memberName) {
    return {memberName,
            ReplaceLast3(memberName, "txt"),
            ReplaceLast3(memberName, "doc"),
            ReplaceLast3(memberName, "sry"),
            "*.png",
            ReplaceLast3(memberName, "wrd"),
            "*.mag"};
}

std::string ExtractEntry(const FileEntry& entry, const std::string& workFolder,
                         Notifier& notifier) {
    const std::string archivePath = JoinPath(entry.Folder, entry.ArchiveName);
    const ArchiveKind kind = ArchiveKindOf(archivePath);
    if (kind == ArchiveKind::kNone) return {};
    if (!ArchiverPresent(kind)) {
        notifier.Error(kind == ArchiveKind::kLha ? msg::kNoLhaLibrary : msg::kNoZipLibrary);
        return {};
    }
    const std::string result = JoinPath(workFolder, PathFileName(entry.FileName));
    // An older copy must not stand in for a member that fails to extract.
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
        const std::string target = JoinPath(workFolder, PathFileName(name));
        WriteMember(a, target);
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
