#include "player/files/list_file.h"

#include <unistd.h>

#include <algorithm>

#include "player/files/archive.h"
#include "player/files/lha_writer.h"
#include "player/files/paths.h"
#include "player/files/work_folder.h"

namespace sonfara::files {
namespace {

bool IsAppDirective(const std::string& trimmed) {
    if (Upper(trimmed.substr(0, 3)) != "APP") return false;
    // "APP" must stand alone: a song named Apple.mid is an entry.
    return trimmed.size() == 3 || trimmed[3] == ' ' || trimmed[3] == '\t';
}

std::string AbsolutePath(const std::string& path) {
    if (!path.empty() && path[0] == '/') return path;
    std::string cwd(4096, '\0');
    if (!::getcwd(cwd.data(), cwd.size())) return path;
    cwd.resize(cwd.find('\0'));
    return platform::JoinPath(cwd, path);
}

// `name`, or name(2).ext, name(3).ext, ... when a member already has it
// (letter case aside: DOS extractors would write one over the other).
std::string UniqueMemberName(const std::string& name, const std::vector<LhaMember>& members) {
    auto taken = [&](const std::string& n) {
        return std::any_of(members.begin(), members.end(),
                           [&](const LhaMember& m) { return Upper(m.name) == Upper(n); });
    };
    if (!taken(name)) return name;
    const size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
    for (size_t k = 2;; ++k) {
        std::string n = stem + "(" + std::to_string(k) + ")" + ext;
        if (!taken(n)) return n;
    }
}

}  // namespace

std::vector<FileEntry> ParseListFile(std::string_view bytes, const std::string& listPath,
                                     const platform::CodePage& cp, bool* headerOk) {
    std::vector<FileEntry> entries;
    const std::vector<std::string> lines = DecodeTextLines(bytes, cp);
    const std::string header = lines.empty() ? std::string() : Upper(Trim(lines[0]));
    const bool ok = header == "[MIDILIST]" || header == "MULTILISTFILE COPYRIGHT(C)STUDIO DOLPHIN";
    if (headerOk) *headerOk = ok;
    if (!ok) return entries;

    std::string base;  // APP folder; empty: entries stand as they are
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string t = Trim(lines[i]);
        if (t.rfind("//", 0) == 0) continue;
        if (IsAppDirective(t)) {
            const std::string arg = t.size() > 4 ? Trim(t.substr(4)) : std::string();
            base = Upper(arg) == "HERE" ? PathFolder(listPath) : NativeSeparators(arg);
            continue;
        }
        if (Upper(t) == "END APP") {
            base.clear();
            continue;
        }
        // A blank line names no song; it would only add an empty menu item.
        if (t.empty()) continue;
        const std::string path = NativeSeparators(base.empty() ? t : platform::JoinPath(base, t));
        FileEntry e = SplitEntryPath(path);
        e.ListFile = listPath;
        entries.push_back(std::move(e));
    }
    return entries;
}

std::vector<FileEntry> ReadListFile(const std::string& path, Notifier& notifier,
                                    const platform::CodePage& cp) {
    const std::string full = AbsolutePath(path);
    std::string bytes;
    bool headerOk = false;
    std::vector<FileEntry> entries;
    // Far beyond any real list; refuses to pull a huge file into memory.
    constexpr size_t kMaxListBytes = 16u << 20;
    if (ReadFileBytes(full, bytes, kMaxListBytes))
        entries = ParseListFile(bytes, full, cp, &headerOk);
    if (!headerOk) notifier.Error(path + "\r\n" + msg::kListUnreadable);
    return entries;
}

std::string MidiListText(const std::vector<FileEntry>& entries, const platform::CodePage& cp) {
    std::vector<std::string> lines{"[MIDIList]"};
    for (const FileEntry& e : entries) lines.push_back(EntryPath(e));
    return EncodeTextFile(lines, cp);
}

FileStatus WriteMidiList(const std::string& path, const std::vector<FileEntry>& entries,
                         const platform::CodePage& cp) {
    return WriteFileReplacing(path, MidiListText(entries, cp));
}

std::string SaveDialogFilter(bool lhaPresent) {
    std::string f = msg::kSaveFilterList;
    if (lhaPresent) f = f + msg::kSaveFilterLzh + msg::kSaveFilterLmd;
    return f;
}

SaveResult SaveList(const std::string& chosenPath, const std::vector<FileEntry>& entries,
                    const std::string& workFolder, Notifier& notifier,
                    const platform::CodePage& cp) {
    if (entries.empty()) {
        notifier.Error(msg::kNoFiles);
        return SaveResult::kNothing;
    }
    const std::string kind = UpperTail(chosenPath, 3);
    if (kind == "MLT") {
        const FileStatus written = WriteMidiList(chosenPath, entries, cp);
        if (written.ok()) return SaveResult::kListFile;
        notifier.Error(written.Message());
        return SaveResult::kFailed;
    }
    if (kind != "LZH" && kind != "LMD") return SaveResult::kNothing;

    // Members are extracted into a staging folder of their own, so saving
    // does not clear the playing song's files from the work folder, and
    // each song is copied into ArcTemp under a numbered name: two songs of
    // the same name must stay two.
    const std::string arcTemp = platform::JoinPath(workFolder, "ArcTemp");
    const std::string staging = platform::JoinPath(arcTemp, "extract");
    if (const FileStatus made = EnsurePrivateFolder(staging); !made.ok()) {
        notifier.Error(msg::kSaveFailed + made.Message());
        return SaveResult::kFailed;
    }
    std::vector<LhaMember> members;
    std::vector<std::string> stored;  // entry paths already in the archive
    std::vector<std::string> missing;
    for (const FileEntry& e : entries) {
        const std::string key = EntryPath(e);
        if (std::find(stored.begin(), stored.end(), key) != stored.end()) continue;
        const std::string source = e.ArchiveName.empty() ? key : ExtractEntry(e, staging, notifier);
        std::string bytes;
        const std::string copy =
            platform::JoinPath(arcTemp, std::to_string(members.size()) + ".song");
        if (source.empty() || !ReadFileBytes(source, bytes) ||
            !WriteFileReplacing(copy, bytes).ok()) {
            missing.push_back(key);
            continue;
        }
        stored.push_back(key);
        members.push_back({UniqueMemberName(PathFileName(e.FileName), members), copy});
    }
    ClearFolderFiles(staging);
    ::rmdir(staging.c_str());
    const FileStatus written = WriteLhaArchive(chosenPath, members, cp);
    for (const LhaMember& m : members) ::unlink(m.sourcePath.c_str());
    if (!written.ok()) {
        notifier.Error(written.Message());
        return SaveResult::kFailed;
    }
    if (missing.empty()) return SaveResult::kArchive;
    std::string text = msg::kSaveIncomplete;
    for (size_t i = 0; i < missing.size(); ++i) text += (i ? ", " : "") + missing[i];
    notifier.Error(text);
    return SaveResult::kArchiveIncomplete;
}

}  // namespace sonfara::files
