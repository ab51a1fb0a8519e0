// The private folder where extracted and converted songs are written.
#pragma once

#include <string>

#include "player/files/file_entry.h"

namespace sonfara::files {

// A per-user folder of mode 0700: $XDG_RUNTIME_DIR/sonfara when that is
// usable, else <$TMPDIR or /tmp>/sonfara-<uid>, with the subfolder ArcTemp.
// A folder that is a link, belongs to someone else or is open to others is
// refused rather than used; the work folder then goes to the user's cache
// folder (<$XDG_CACHE_HOME or ~/.cache>/sonfara-work).
//
// The owner empties it: extracted members can be large and the default
// place is a small memory file system. Every running program holds a shared
// lock on <folder>/.lock; the files are removed only by a program that can
// take that lock alone (at start: leftovers of a crashed run; at the end:
// its own), so one instance never pulls a song from under another.
class WorkFolder {
  public:
    // Creates (or checks) the folder under `base`; an empty base picks the
    // default place. On failure Ok() is false and Error() says why.
    static WorkFolder Create(const std::string& base = {});

    WorkFolder() = default;
    WorkFolder(WorkFolder&& other) noexcept;
    WorkFolder& operator=(WorkFolder&& other) noexcept;
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;
    // Cleanup().
    ~WorkFolder();

    // Removes the files in the folder and in ArcTemp when no other program
    // uses the folder, and lets go of it. Safe to call more than once.
    void Cleanup();

    bool Ok() const { return !path_.empty(); }
    const std::string& Error() const { return error_; }
    // The folder, with a trailing '/'.
    const std::string& Path() const { return path_; }
    // Path() + "ArcTemp/".
    std::string ArcTemp() const { return path_.empty() ? std::string() : path_ + "ArcTemp/"; }

  private:
    std::string path_;
    std::string error_;
    int lock_ = -1;
};

// Removes the regular files of ours directly in `dir` (the lock file
// excepted). Links, folders and other users' files stay; nothing is followed.
void ClearFolderFiles(const std::string& dir);

// Makes `dir` a private folder of ours: created with 0700 when missing; an
// existing one must be a real directory owned by the caller, and gets its
// group and other bits cleared. kFolderUnusable otherwise.
FileStatus EnsurePrivateFolder(const std::string& dir);

}  // namespace sonfara::files
