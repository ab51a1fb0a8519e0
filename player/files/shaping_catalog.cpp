#include "player/files/shaping_catalog.h"

#include <algorithm>
#include <filesystem>

#include "player/platform/text_decoding.h"
#include "player/platform/user_files.h"

namespace sonfara::files {
namespace {

bool EqualsNoCaseAscii(const std::string& a, const char* b) {
    const size_t n = std::char_traits<char>::length(b);
    if (a.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool HasExtension(const std::string& name, const char* ext) {
    const size_t n = std::char_traits<char>::length(ext);
    if (name.size() <= n) return false;
    return EqualsNoCaseAscii(name.substr(name.size() - n), ext);
}

// Files of one folder with the extension, sorted by name bytes: a stable
// order, since directory listings on Linux have none.
std::vector<std::filesystem::path> FilesOf(const std::string& folder, const char* ext) {
    std::vector<std::filesystem::path> out;
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code fe;
        if (!it->is_regular_file(fe)) continue;
        if (HasExtension(it->path().filename().string(), ext)) out.push_back(it->path());
    }
    std::sort(out.begin(), out.end());
    return out;
}

std::string Stem(const std::filesystem::path& p) {
    const std::string name = p.filename().string();
    return name.size() >= 4 ? name.substr(0, name.size() - 4) : std::string();
}

}  // namespace

ShapingFolders DefaultShapingFolders(const std::string& program_folder) {
    ShapingFolders f;
    if (!program_folder.empty()) {
        const std::string shipped = platform::ShippedDataFolder(program_folder);
        f.arr.push_back(platform::JoinPath(shipped, "arr"));
        f.eq.push_back(platform::JoinPath(shipped, "eq"));
    }
    const std::string user = platform::JoinPath(platform::UserDataFolder(), "Sonfara");
    f.arr.push_back(platform::JoinPath(user, "arr"));
    f.eq.push_back(platform::JoinPath(user, "eq"));
    return f;
}

void ShapingCatalog::Load(const ShapingFolders& folders) {
    LoadArrangements(folders.arr);
    LoadEqPresets(folders.eq);
}

void ShapingCatalog::LoadArrangements(const std::vector<std::string>& folders) {
    arrangements_.clear();
    arr_paths_.clear();
    arr_shown_.clear();
    for (const std::string& folder : folders) {
        for (const auto& path : FilesOf(folder, ".arr")) {
            if (arrangements_.size() >= kMaxArrangements) return;
            std::string bytes;
            if (platform::ReadWholeFile(path.string(), bytes, kMaxArrangeFileBytes) !=
                platform::ReadStatus::kOk)
                continue;
            if (auto e = ParseArrangement(bytes)) {
                arr_shown_.push_back(platform::DecideTextEncoding(bytes).ToUtf8(e->ArrangeName));
                arrangements_.push_back(std::move(*e));
                arr_paths_.push_back(path.string());
            }
        }
    }
}

void ShapingCatalog::LoadEqPresets(const std::vector<std::string>& folders) {
    eq_.clear();
    eq_paths_.clear();
    eq_shown_.clear();
    for (const std::string& folder : folders) {
        for (const auto& path : FilesOf(folder, ".meq")) {
            if (eq_.size() >= kMaxEqPresets) return;
            std::error_code ec;
            if (std::filesystem::file_size(path, ec) != kEqFileSize || ec) continue;
            std::string bytes;
            if (platform::ReadWholeFile(path.string(), bytes, kEqFileSize) !=
                platform::ReadStatus::kOk)
                continue;
            // File names are UTF-8 here; captions are code-page bytes like
            // every other text from files.
            if (auto p = ParseEqPreset(bytes, platform::SystemCodePage().FromUtf8(Stem(path)))) {
                eq_.push_back(std::move(*p));
                eq_paths_.push_back(path.string());
                eq_shown_.push_back(Stem(path));
            }
        }
    }
}

std::vector<std::string> ShapingCatalog::ArrangementCaptions() const {
    std::vector<std::string> c;
    for (const auto& e : arrangements_) c.push_back(e.ArrangeName);
    return c;
}

std::vector<std::string> ShapingCatalog::EqCaptions() const {
    std::vector<std::string> c;
    for (const auto& p : eq_) c.push_back(p.name);
    return c;
}

void SelectArrangement(sequencer::SoundShaping& s, const ShapingCatalog& c, int n) {
    if (n >= 1 && static_cast<size_t>(n) <= c.Arrangements().size()) {
        s.arrangementItem = n;
        s.arrangement = c.Arrangements()[n - 1];
    } else {
        s.arrangementItem = 0;
        s.arrangement = sequencer::ArrangeEntry{};
    }
}

void SelectEq(sequencer::SoundShaping& s, const ShapingCatalog& c, int k) {
    if (k >= 1 && static_cast<size_t>(k) <= c.EqPresets().size()) {
        const auto& bands = c.EqPresets()[k - 1].bands;
        for (size_t i = 0; i < bands.size(); ++i) s.eq[i] = bands[i];
        s.eqActive = true;
    } else {
        s.eqActive = false;
    }
}

sequencer::SoundShaping MakeSoundShaping(const ShapingCatalog& c, int arr_mode, int eq_item) {
    sequencer::SoundShaping s;
    SelectArrangement(s, c, arr_mode);
    SelectEq(s, c, eq_item);
    return s;
}

namespace {

// 1-based item whose caption, file stem or number matches; 0 when none.
int FindItem(const std::vector<std::string>& captions, const std::vector<std::string>& shown,
             const std::vector<std::string>& paths, const std::string& wanted) {
    for (size_t i = 0; i < captions.size(); ++i) {
        if (shown[i] == wanted || captions[i] == wanted) return static_cast<int>(i + 1);
    }
    for (size_t i = 0; i < paths.size(); ++i) {
        if (Stem(std::filesystem::path(paths[i])) == wanted) return static_cast<int>(i + 1);
    }
    if (!wanted.empty() &&
        std::all_of(wanted.begin(), wanted.end(), [](char ch) { return ch >= '0' && ch <= '9'; })) {
        const long n = LeadingNumber(wanted);
        if (n >= 1 && static_cast<size_t>(n) <= captions.size()) return static_cast<int>(n);
    }
    return 0;
}

}  // namespace

int FindArrangementItem(const ShapingCatalog& c, const std::string& name) {
    return FindItem(c.ArrangementCaptions(), c.ArrangementMenuCaptions(), c.ArrangementPaths(),
                    name);
}

int FindEqItem(const ShapingCatalog& c, const std::string& name) {
    return FindItem(c.EqCaptions(), c.EqMenuCaptions(), c.EqPaths(), name);
}

files::FileStatus ResolveSoundShaping(const ShapingCatalog& c, const std::string& arrangement,
                                      const std::string& eq, sequencer::SoundShaping& out) {
    using files::FileError;
    out = sequencer::SoundShaping{};
    if (!arrangement.empty()) {
        const int n = FindArrangementItem(c, arrangement);
        if (n == 0) return {FileError::kNoArrangement, arrangement};
        SelectArrangement(out, c, n);
    }
    if (!eq.empty()) {
        const int k = FindEqItem(c, eq);
        if (k == 0) return {FileError::kNoEqPreset, eq};
        SelectEq(out, c, k);
    }
    return {};
}

}  // namespace sonfara::files
