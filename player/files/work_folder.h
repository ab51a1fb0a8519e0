// The private folder where extracted and converted songs are written.
#pragma once

#include <string>

namespace sonfara::files {

// A per-user folder of mode 0700: $XDG_RUNTIME_DIR/sonfara when that is
// usable, else <$TMPDIR or /tmp>/sonfara-<uid>, with the subfolder ArcTemp.
// A folder that is a link, belongs to someone else or is open to others is
// refused rather than used.
class WorkFolder {
  public:
    // Creates (or checks) the folder under `base`; an empty base picks the
    // default place. On failure Ok() is false and Error() says why.
    static WorkFolder Create(const std::string& base = {});

    bool Ok() const { return !path_.empty(); }
    const std::string& Error() const { return error_; }
    // The folder, with a trailing '/'.
    const std::string& Path() const { return path_; }
    // Path() + "ArcTemp/".
    std::string ArcTemp() const { return path_.empty() ? std::string() : path_ + "ArcTemp/"; }

  private:
    std::string path_;
    std::string error_;
};

// Makes `dir` a private folder of ours: created with 0700 when missing; an
// existing one must be a real directory owned by the caller, and gets its
// group and other bits cleared. False (with `error`) otherwise.
bool EnsurePrivateFolder(const std::string& dir, std::string* error);

}  // namespace sonfara::files
