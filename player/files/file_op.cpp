#include "player/files/file_op.h"

#include <dirent.h>
#include <unistd.h>

#include <algorithm>

#include "player/files/converters.h"
#include "player/files/paths.h"
#include "player/files/recomposer.h"
#include "player/files/song_reader.h"
#include "player/song/module_detect.h"
#include "player/song/smf_reader.h"

namespace sonfara::files {
namespace {

// Songs, list files and archives.
bool IsKnownKind(const std::string& path) {
    const std::string k = UpperTail(path, 3);
    return SongFileKindOf(path) != SongFileKind::kOther || k == "MLT" || k == "LZH" || k == "ZIP" ||
           k == "LMD" || k == "ZMD";
}

// A file the player does not load as it is (an RMI file, a Recomposer song)
// becomes its SMF image in the work folder. Empty, with the reason shown,
// when there is nothing to load; the file itself when the loader is to
// refuse it by its size; a path without a file when it cannot be read (the
// open then says the file does not exist).
std::string SmfIntoWork(const std::string& path, const FileContext& ctx, int rcpLoops,
                        std::string& formatText) {
    const std::string target = platform::JoinPath(ctx.workFolder, PathFileName(path) + ".mid");
    const SongRead r = CopySongSmf(path, target, rcpLoops);
    formatText = r.fileKindLabel;
    if (!r.missingControlFiles.empty()) ctx.notifier.Info(RcpControlNotice(r.missingControlFiles));
    if (r.load.code() == song::LoadError::kFileTooLarge) return path;
    if (r.load.code() == song::LoadError::kCannotRead) return target;
    if (r.status.code() == FileError::kCannotSave) {
        ctx.notifier.Error(r.status.Message());
        return {};
    }
    if (!r.ok()) {
        ctx.notifier.Error(r.status.Message() + ": " + path);
        return {};
    }
    return target;
}

std::string CurrentFolder() {
    std::string cwd(4096, '\0');
    if (!::getcwd(cwd.data(), cwd.size())) return ".";
    cwd.resize(cwd.find('\0'));
    return cwd;
}

}  // namespace

Libraries Libraries::Detect() {
    Libraries l;
    l.rcpConverter = [] { return PluginExists(kRcpLibrary); };
    l.smfkConverter = [] { return PluginExists(kSmfkLibrary); };
    l.archiver = [](ArchiveKind k) { return ArchiverPresent(k); };
    return l;
}

bool CheckFileKind(const std::string& path, const FileContext& ctx) {
    if (!FileExists(path)) {
        // Named, as the desktop's open names it: a hand-off may carry several.
        ctx.notifier.Error(std::string(msg::kFileNotFound) + ": " + path);
        return false;
    }
    if (!IsKnownKind(path)) {
        ctx.notifier.Error(msg::kUnsupported);
        return false;
    }
    // Sequencer formats: the plug-in where installed, else the built-in converter.
    return true;
}

std::vector<std::string> WithFolderSongs(const std::vector<std::string>& paths,
                                         const FileContext& ctx,
                                         std::vector<std::string>* emptyFolders) {
    std::vector<std::string> out;
    for (const std::string& p : paths) {
        if (!FolderExists(p)) {
            out.push_back(p);
            continue;
        }
        auto songs = ScanFolder(p, true);
        if (songs.empty() && emptyFolders) emptyFolders->push_back(p);
        if (songs.empty() && !emptyFolders) ctx.notifier.Info(msg::kNoSongsInFolder + p);
        out.insert(out.end(), songs.begin(), songs.end());
    }
    return out;
}

std::vector<FileEntry> ExpandPaths(const std::vector<std::string>& paths, const FileContext& ctx) {
    std::vector<FileEntry> out;
    for (const std::string& raw : paths) {
        const std::string path = TrimQuotes(raw);
        if (!CheckFileKind(path, ctx)) continue;
        const std::string kind = UpperTail(path, 3);
        if (kind == "MLT") {
            std::vector<FileEntry> list = ReadListFile(path, ctx.notifier, ctx.cp);
            std::move(list.begin(), list.end(), std::back_inserter(out));
        } else if (kind == "LZH" || kind == "LMD" || kind == "ZIP" || kind == "ZMD") {
            // A missing archiver is silent here; the archive is skipped.
            if (!ctx.libs.archiver(ArchiveKindOf(path))) continue;
            for (const std::string& member : ListArchiveSongs(path, &ctx.notifier)) {
                FileEntry e;
                e.FileName = member;
                e.Folder = PathFolder(path);
                e.ArchiveName = PathFileName(path);
                out.push_back(std::move(e));
            }
        } else {
            FileEntry e;
            e.FileName = PathFileName(path);
            e.Folder = PathFolder(path);
            out.push_back(std::move(e));
        }
    }
    return out;
}

ResolvedSong ResolveEntry(const FileEntry& entry, const FileContext& ctx, int rcpLoops) {
    ResolvedSong r;
    std::string path;
    if (!entry.ArchiveName.empty()) {
        const ArchiveKind kind = ArchiveKindOf(EntryArchivePath(entry));
        if (kind != ArchiveKind::kNone) {
            if (ctx.libs.archiver(kind)) {
                path = Trim(ExtractEntry(entry, ctx.workFolder, ctx.notifier));
            } else {
                ctx.notifier.Error(kind == ArchiveKind::kLha ? msg::kNoLhaLibrary
                                                             : msg::kNoZipLibrary);
            }
        }
    } else {
        path = platform::JoinPath(entry.Folder, entry.FileName);
    }
    if (path.empty()) {
        r.status = ResolvedSong::kNoPath;
        return r;
    }
    SongSource& s = r.source;
    s.FileName = PathFileName(path);
    s.FullPath = path;
    s.ListFile = entry.ListFile;
    s.ArchivePath = EntryArchivePath(entry);

    switch (SongFileKindOf(path)) {
        case SongFileKind::kSmf:
            s.LoadedPath = path;
            s.FormatText = "SMF Format ";
            break;
        case SongFileKind::kRmi:
            s.LoadedPath = SmfIntoWork(path, ctx, rcpLoops, s.FormatText);
            if (s.LoadedPath.empty()) return r;  // the reason was shown
            break;
        case SongFileKind::kRecomposer:
            s.FormatText = "SMF Format ";
            if (ctx.libs.rcpConverter()) {
                s.LoadedPath = ConvertRcp(path, ctx.workFolder, s.FormatText);
            } else if (!FileExists(path)) {
                s.LoadedPath = path;  // reported as missing below
            } else {
                s.LoadedPath = SmfIntoWork(path, ctx, rcpLoops, s.FormatText);
                if (s.LoadedPath.empty()) return r;  // the reason was shown
            }
            break;
        case SongFileKind::kOther:
            ctx.notifier.Error(msg::kUnsupported);
            return r;
    }
    if (!FileExists(s.LoadedPath)) {
        ctx.notifier.Error(msg::kFileMissing);
        return r;
    }
    r.status = ResolvedSong::kOk;
    return r;
}

std::vector<std::string> ScanFolder(const std::string& folder, bool withSequencerFormats) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* de = ::readdir(d)) {
            const std::string n = de->d_name;
            if (n == "." || n == "..") continue;
            // The listing's own type saves a stat per file where it is known.
            const bool file =
                de->d_type == DT_REG || ((de->d_type == DT_UNKNOWN || de->d_type == DT_LNK) &&
                                         FileExists(platform::JoinPath(folder, n)));
            if (file) names.push_back(n);
        }
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> exts = {".MID", ".RMI", ".KAR"};
    if (withSequencerFormats) {
        for (const char* e : {".RCP", ".G18", ".G36", ".R18", ".R36", ".MCP"}) exts.emplace_back(e);
    }
    std::vector<std::string> out;
    for (const std::string& ext : exts) {
        for (const std::string& n : names) {
            if (UpperTail(n, 4) == ext) out.push_back(platform::JoinPath(folder, n));
        }
    }
    return out;
}

bool SaveSongAsSmf(const SongSource& song, const std::string& target, Notifier& notifier) {
    if (song.LoadedPath.empty()) {
        notifier.Error(msg::kNoFiles);
        return false;
    }
    std::string bytes, error;
    if (!ReadFileBytes(song.LoadedPath, bytes)) {
        notifier.Error(msg::kSaveFailed + song.LoadedPath);
        return false;
    }
    if (const FileStatus written = WriteFileReplacing(target, bytes); !written.ok()) {
        notifier.Error(written.Message());
        return false;
    }
    return true;
}

std::string DialogFolder(const std::string& defDir) {
    return !defDir.empty() && FolderExists(defDir) ? defDir : CurrentFolder();
}

std::vector<std::string> DialogSelection(const std::vector<std::string>& pieces) {
    std::vector<std::string> out;
    std::vector<std::string> p;
    for (const auto& x : pieces) {
        if (std::string t = TrimQuotes(x); !t.empty()) p.push_back(std::move(t));
    }
    if (p.size() == 1) return p;
    for (size_t i = 1; i < p.size(); ++i) out.push_back(platform::JoinPath(p[0], p[i]));
    return out;
}

FileOp::FileOp(PlaybackTarget& target, FileContext ctx) : target_(target), ctx_(std::move(ctx)) {}

void FileOp::OpenFiles(const std::vector<std::string>& paths, bool appendToList) {
    std::vector<FileEntry> added = ExpandPaths(paths, ctx_);
    if (settings_.fileSort == 1) SortEntries(added, ctx_.cp);
    OpenEntries(std::move(added), appendToList);
}

void FileOp::OpenEntries(std::vector<FileEntry> added, bool appendToList) {
    // An empty list opens in replace mode, so the first song plays.
    const bool append = list_.Count() > 0 && appendToList;
    if (added.empty()) return;
    const int dropped = append ? list_.Append(std::move(added)) : list_.Replace(std::move(added));
    if (dropped > 0) ctx_.notifier.Error(msg::kListFull);
    target_.FileListChanged();
    if (append) return;  // the playing song goes on; its check mark stays
    const bool ok = PlayEntry(list_.Entry(1));
    // The index names the entry tried, so "next" moves on from it even when
    // it failed (an index left from the old list could point past the end).
    list_.SetIndex(1);
    list_.SetChecked(ok ? 1 : 0);
    target_.FileListChanged();
}

void FileOp::ListFiles(const std::vector<std::string>& paths) {
    std::vector<FileEntry> added = ExpandPaths(paths, ctx_);
    if (settings_.fileSort == 1) SortEntries(added, ctx_.cp);
    if (added.empty()) return;
    if (list_.Replace(std::move(added)) > 0) ctx_.notifier.Error(msg::kListFull);
    list_.SetIndex(0);
    target_.FileListChanged();
}

std::string FileOp::EmulationOutput(const std::string& path) {
    std::string out = platform::JoinPath(ctx_.workFolder, PathFileName(path));
    // Converting a work-folder file onto itself would destroy its source.
    if (out == path) out = platform::JoinPath(ctx_.workFolder, "emu_" + PathFileName(path));
    return out;
}

bool FileOp::PlayEntry(const FileEntry& entry) {
    target_.ClearSongCaption();
    ResolvedSong r = ResolveEntry(entry, ctx_, settings_.rcpLoopCount);
    if (r.status == ResolvedSong::kNoPath) {
        target_.ResetSongDisplay();
        return false;
    }
    if (r.status != ResolvedSong::kOk) return false;
    SongSource& s = r.source;

    target_.StopTimer();
    if (const sequencer::PlaybackStatus output = target_.OpenOrResetOutput(); !output.ok()) {
        ctx_.notifier.Error(output.Message());
        return false;
    }
    target_.EnableAllChannels();

    const platform::ModuleEmulation& emu = settings_.moduleEmulation;
    if (emu.enabled && ctx_.libs.smfkConverter()) {
        const int module = song::DetectModule(s.LoadedPath);
        const std::string& cfg = module == song::kModuleXG   ? emu.xgConfig
                                 : module == song::kModuleGS ? emu.gsConfig
                                                             : std::string();
        if ((module == song::kModuleXG || module == song::kModuleGS) && !cfg.empty()) {
            const std::string out = EmulationOutput(s.LoadedPath);
            if (SmfkConvertFile(s.LoadedPath, out, cfg,
                                SmfkOptions(emu.smfkBank, emu.smfkRhythm))) {
                s.LoadedPath = out;
            }
        }
    }

    if (target_.LoadSongLater(s.LoadedPath, s.FormatText, s.FileName)) {
        pending_ = s;
        return true;
    }
    return FinishEntry(s, target_.LoadSong(s.LoadedPath, s.FormatText, s.FileName));
}

bool FileOp::FinishPendingEntry(const song::LoadStatus& loaded) {
    return FinishEntry(pending_, loaded);
}

bool FileOp::FinishEntry(const SongSource& s, const song::LoadStatus& loaded) {
    if (!loaded.ok()) {
        target_.ResetSongDisplay();
        return false;
    }
    target_.ResendPrograms();
    current_ = s;
    target_.LoadWrd(s.FullPath);
    target_.ResetModuleFlags();

    if (!target_.StartTimer()) {
        ctx_.notifier.Error(msg::kTimerFatal);
        target_.RequestExit();
        return false;
    }
    recent_.Touch(RecentKey(current_));
    target_.RecentChanged();
    target_.SongStarted(current_);
    return true;
}

bool FileOp::PlayIndex(int k) {
    if (k < 1 || k > list_.Count()) return false;
    const bool ok = PlayEntry(list_.Entry(k));
    if (ok) list_.SetChecked(k);
    target_.FileListChanged();
    return ok;
}

SaveResult FileOp::SaveListAs(const std::string& chosenPath) {
    return SaveList(chosenPath, list_.Entries(), ctx_.workFolder, ctx_.notifier, ctx_.cp);
}

std::optional<FavoriteProposal> FileOp::BeginAddFavorite(const std::string& songTitle) {
    if (!SongLoaded()) {
        ctx_.notifier.Error(msg::kNoFiles);
        return std::nullopt;
    }
    return ProposeFavorite(current_, songTitle);
}

bool FileOp::FinishAddFavorite(const std::string& folder, const std::string& answer,
                               const FavoriteProposal& proposal) {
    if (answer.empty()) return false;
    const FileStatus added = AddFavorite(folder, answer, proposal.path, ctx_.cp);
    if (!added.ok()) ctx_.notifier.Error(added.Message());
    return added.ok();
}

}  // namespace sonfara::files
