// sonfara-cli convert: Recomposer songs saved as Standard MIDI Files, one
// file or a whole folder, with a progress bar when stderr is a terminal.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <set>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/files/file_op.h"
#include "player/files/paths.h"
#include "player/files/recomposer.h"

namespace sonfara::cli {
namespace {

constexpr int kBarWidth = 30;

class Progress {
  public:
    explicit Progress(size_t total) : total_(total), tty_(isatty(STDERR_FILENO)) {}
    void Show(size_t done, const std::string& name) const {
        if (!tty_) return;
        const size_t filled = total_ ? done * kBarWidth / total_ : kBarWidth;
        std::cerr << "\r\033[K[" << std::string(filled, '#') << std::string(kBarWidth - filled, '.')
                  << "] " << done << "/" << total_ << ' ' << name << std::flush;
    }
    // A message between bar updates gets a line of its own.
    void Say(const std::string& text) const {
        std::cerr << (tty_ ? "\r\033[K" : "") << text << "\n";
    }
    void Finish() const {
        if (tty_) std::cerr << "\r\033[K";
    }

  private:
    size_t total_;
    bool tty_;
};

// Converts one song; messages go through `say`.
template <typename Say>
bool ConvertOne(const std::string& src, const std::string& out, int loops, Say say) {
    const files::RcpConversion c = files::ConvertRecomposerFile(src, loops);
    if (!c.Ok()) {
        say(files::RcpProblemText(c.problem, src));
        return false;
    }
    if (!c.missingControlFiles.empty()) say(files::RcpControlNotice(c.missingControlFiles));
    if (const files::FileStatus written = files::WriteFileReplacing(out, c.smf); !written.ok()) {
        say(written.Message());
        return false;
    }
    return true;
}

std::string StemOf(const std::string& name) {
    const size_t dot = name.rfind('.');
    return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

int ConvertFolder(const std::string& src, const std::string& out, int loops) {
    std::vector<std::string> songs;
    for (const std::string& p : files::ScanFolder(src, true)) {
        if (files::IsRecomposerKind(files::UpperTail(p, 3))) songs.push_back(p);
    }
    if (songs.empty()) {
        std::cerr << "sonfara-cli convert: no Recomposer songs in " << src << "\n";
        return 1;
    }
    std::error_code ec;
    std::filesystem::create_directories(out, ec);
    if (!files::FolderExists(out)) {
        std::cerr << "sonfara-cli convert: cannot make the folder " << out << "\n";
        return 1;
    }
    Progress bar(songs.size());
    std::set<std::string> used;  // song.rcp and song.g36 must not share song.mid
    size_t ok = 0;
    for (size_t i = 0; i < songs.size(); ++i) {
        const std::string name = files::PathFileName(songs[i]);
        bar.Show(i, name);
        std::string target = StemOf(name) + ".mid";
        if (!used.insert(files::Upper(target)).second) target = name + ".mid";
        used.insert(files::Upper(target));
        ok += ConvertOne(songs[i], platform::JoinPath(out, target), loops,
                         [&bar](const std::string& t) { bar.Say(t); });
    }
    bar.Show(songs.size(), "");
    bar.Finish();
    std::cerr << "converted " << ok << " of " << songs.size() << " songs into " << out << "\n";
    return ok == songs.size() ? 0 : 1;
}

}  // namespace

int RunConvert(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"o", "loops", "codepage"}, {});
    const auto out = a.Value("o");
    if (!a.error.empty() || a.positional.size() != 1 || !out) {
        std::cerr << "usage: sonfara-cli convert SONG.rcp -o SONG.mid | convert FOLDER -o FOLDER "
                     "[--loops N]\n";
        return 2;
    }
    const auto loops = LoopsOption(a);
    if (!loops) return 2;
    const std::string& src = a.positional[0];
    if (files::FolderExists(src)) return ConvertFolder(src, *out, *loops);
    if (!files::FileExists(src)) {
        std::cerr << platform::Localized(files::msg::kFileNotFound) << ": " << src << "\n";
        return 1;
    }
    if (!files::IsRecomposerKind(files::UpperTail(src, 3))) {
        std::cerr << platform::Localized(files::msg::kUnsupported) << ": " << src << "\n";
        return 1;
    }
    const std::string target =
        files::FolderExists(*out)
            ? platform::JoinPath(*out, StemOf(files::PathFileName(src)) + ".mid")
            : *out;
    return ConvertOne(src, target, *loops, [](const std::string& t) { std::cerr << t << "\n"; })
               ? 0
               : 1;
}

}  // namespace sonfara::cli
