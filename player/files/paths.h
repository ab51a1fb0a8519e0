// Path and text helpers of the file layer. Paths are native: '/' separates
// folders on Linux; '\' from list files is mapped to '/' by the readers, and
// the splitters accept both.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "player/files/file_entry.h"
#include "player/platform/codepage.h"
#include "player/platform/user_files.h"  // JoinPath

namespace sonfara::files {

inline constexpr char kSep = '/';

inline bool IsSep(char c) {
    return c == '/' || c == '\\';
}

// Trims blanks (space, tab), then removes one leading and one trailing '"'.
std::string TrimQuotes(std::string_view text);
// Trims spaces and tabs at both ends.
std::string Trim(std::string_view text);
// ASCII upper case.
std::string Upper(std::string_view text);
// The last n bytes, upper-cased (the kind test looks at three, archives at four).
std::string UpperTail(std::string_view path, size_t n);

// The text after the last separator (the whole path when there is none).
std::string PathFileName(std::string_view path);
// The text before the last separator (empty when there is none).
std::string PathFolder(std::string_view path);
// Like PathFileName, but empty when the path holds no separator.
std::string FileNameOf(std::string_view path);

// True for ".LZH", ".LMD", ".ZIP", ".ZMD" endings (any case).
bool HasArchiveExtension(std::string_view path);

// Fills an entry from a path that may run through an archive
// (dir/pack.lzh/song.mid, also dir/pack.lzh/sub/song.mid). A component with
// an archive's extension that exists as anything but a file (a folder named
// old.zip) is an ordinary folder.
FileEntry SplitEntryPath(std::string_view path);
// The path of the song as the list writer and the CLI show it.
std::string EntryPath(const FileEntry& e);
// The archive's full path, empty for a plain file.
std::string EntryArchivePath(const FileEntry& e);

// '\' separators of a path read from a list file become '/'.
std::string NativeSeparators(std::string path);

// Name ordering over code-page characters: double-byte characters compare
// as negative 16-bit codes, so they sort before single-byte ones. `a` and `b`
// are native (UTF-8) names; they are compared in the code page.
bool NameIsGreater(std::string_view a, std::string_view b, const platform::CodePage& cp);
// The sort key: upper-cased file name without its last four characters,
// as signed 16-bit code-page character codes.
std::vector<int16_t> SortKey(std::string_view fileName, const platform::CodePage& cp);
// Sorts entries in place by their keys; equal keys keep their order.
void SortEntries(std::vector<FileEntry>& entries, const platform::CodePage& cp);

// Text files of the player: code-page lines with CR LF. A file whose text the
// code page cannot hold is written as UTF-8 with a byte-order mark, and the
// reader honours that mark, so no name is ever turned into '?'.
std::string EncodeTextFile(const std::vector<std::string>& utf8Lines, const platform::CodePage& cp);
// Splits into lines (CR LF, CR or LF) converted to UTF-8.
std::vector<std::string> DecodeTextLines(std::string_view bytes, const platform::CodePage& cp);
// The whole text as UTF-8, in the encoding decided for the file leaning to
// `cp` (a mark or UTF-8 first; see platform/text_decoding.h).
std::string DecodeText(std::string_view bytes, const platform::CodePage& cp);

// File helpers.
bool FileExists(const std::string& path);  // a regular file (or a link to one)
bool FolderExists(const std::string& path);
// The regular file at `path`, or else one in the same folder whose name
// differs from it only in ASCII letter case (names from DOS archives and
// lists); empty when there is none.
std::string FindFileAnyCase(const std::string& path);
// False when the file cannot be read or is larger than maxBytes.
inline bool ReadFileBytes(const std::string& path, std::string& out, size_t maxBytes = SIZE_MAX) {
    return platform::ReadWholeFile(path, out, maxBytes) == platform::ReadStatus::kOk;
}
// Writes through a temporary file in the same folder and renames it over
// `path`; on failure (kCannotSave, with what the system said) the previous
// file is untouched. The folder must exist: the file layer never creates
// folders by writing.
inline FileStatus WriteFileReplacing(const std::string& path, std::string_view bytes) {
    const platform::PlatformStatus written =
        ::sonfara::platform::WriteFileReplacing(path, bytes, /*createFolder=*/false);
    if (written.ok()) return {};
    return {FileError::kCannotSave, written.Message()};
}

}  // namespace sonfara::files
