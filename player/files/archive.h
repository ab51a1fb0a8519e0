// LHA and ZIP archives through libarchive: listing the songs of an archive
// and extracting one song with its companion files into the work folder.
// libarchive is linked, so the archivers always count as present.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "player/files/file_entry.h"

namespace sonfara::files {

// Song patterns in listing order; members appear grouped by them.
inline const std::vector<std::string>& SongPatterns() {
    static const std::vector<std::string> p = {"*.rcp", "*.mid", "*.rmi", "*.g18", "*.g36",
                                               "*.r18", "*.r36", "*.mcp", "*.kar"};
    return p;
}

enum class ArchiveKind { kNone, kLha, kZip };

// By the last four characters of the archive path.
ArchiveKind ArchiveKindOf(const std::string& archivePath);

// Version text of the archivers for the about window (libarchive's).
std::string ArchiverVersionText();

// True for the archivers' library; always so with libarchive linked.
bool ArchiverPresent(ArchiveKind kind);

// Case-insensitive wildcard match ('*' and '?') of a member name against a
// pattern; a pattern without a folder part is matched against the member's
// base name, so "*.mid" also finds sub/x.mid.
bool MemberMatches(const std::string& pattern, const std::string& member);

// A member name that is absolute or climbs out with "..".
bool IsUnsafeMemberName(const std::string& member);

// The regular-file members of an archive. A stored name is taken as UTF-8
// when it plausibly is (archives written on Unix, with or without the UTF-8
// mark), else as CP932; a name that is neither (or empty) cannot be named
// safely and goes to `skipped`, shown with its odd bytes as \xNN. Such a
// member never hides the others.
struct ArchiveListing {
    std::vector<std::string> names;    // UTF-8 with '/' separators, in stored order
    std::vector<std::string> skipped;  // members left out, as the message shows them
    bool complete = true;              // false: damage ended the listing early
};
ArchiveListing ReadArchiveListing(const std::string& archivePath);

// ReadArchiveListing(...).names: a damaged archive yields the members read
// before the damage.
std::vector<std::string> ArchiveMembers(const std::string& archivePath);

// The songs of an archive grouped by SongPatterns(); unsafe names are left
// out. With a notifier, every song left out and any damage is reported.
std::vector<std::string> ListArchiveSongs(const std::string& archivePath,
                                          Notifier* notifier = nullptr);

// Reads every song member (in stored order, not grouped) and hands its
// bytes to fn, or nullptr when the member could not be read; the listing
// holds every member's name. One pass over the archive, nothing written to
// disk: for reading many songs at once (the library). Any thread.
ArchiveListing ReadArchiveSongs(
    const std::string& archivePath,
    const std::function<void(const std::string& name, const std::string* bytes)>& fn);

// The messages for members left out and for damage; none when all is well.
void ReportListingProblems(const std::string& archivePath, const ArchiveListing& listing,
                           Notifier& notifier);

// Extracts the entry's member and its companions (the member's name with
// txt, doc, sry, wrd in place of its last three characters, every *.png and
// *.mag, the Recomposer control files *.cm6 and *.gsd) into `workFolder` by
// their base names, after removing every file this program's previous
// extraction into that folder wrote. Returns the member's path in
// the work folder, or empty when the archive kind is unknown. A member that
// could not be extracted leaves no file behind (not even an older one of the
// same name). Unsafe member names are skipped with one message.
std::string ExtractEntry(const FileEntry& entry, const std::string& workFolder, Notifier& notifier);

// Companion patterns for a member, in the order they are sought.
std::vector<std::string> ExtractionPatterns(const std::string& memberName);

}  // namespace sonfara::files
