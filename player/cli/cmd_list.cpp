// sonfara-cli list: the play-list entries that opening the paths would make.
#include <iostream>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/json.h"
#include "player/files/file_op.h"
#include "player/files/paths.h"
#include "player/files/play_list.h"
#include "player/files/song_title.h"
#include "player/platform/text_decoding.h"

namespace sonfara::cli {

int RunList(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage"}, {"json", "sort", "titles"});
    if (!a.error.empty() || a.positional.empty()) {
        std::cerr
            << "usage: sonfara-cli list PATH... [--json] [--sort] [--titles] [--codepage NAME]\n";
        return 2;
    }
    const bool titles = a.Flag("titles");
    files::StderrNotifier notifier;
    const files::FileContext ctx{notifier, std::string(), CliCodePage(a)};
    std::vector<std::string> empty;
    const std::vector<std::string> paths = files::WithFolderSongs(a.positional, ctx, &empty);
    for (const std::string& f : empty) std::cerr << "sonfara-cli list: no songs in " << f << "\n";
    std::vector<files::FileEntry> added = files::ExpandPaths(paths, ctx);
    if (a.Flag("sort")) files::SortEntries(added, ctx.cp);
    // The list that opening would make: the play list's cap and its message.
    files::PlayList list;
    if (list.Replace(std::move(added)) > 0) notifier.Error(files::msg::kListFull);
    const std::vector<files::FileEntry>& entries = list.Entries();
    // As the player shows it: the song's own title, else its file name.
    // Archive members are not extracted for this. The title is the one
    // text read, so the encoding is decided on it alone.
    auto titleOf = [](const files::FileEntry& e) {
        std::string t;
        if (e.ArchiveName.empty())
            t = files::SongFileTitle(platform::JoinPath(e.Folder, e.FileName));
        return t.empty() ? e.FileName : platform::DecideTextEncoding(t).ToUtf8(t);
    };

    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginArray();
        for (const auto& e : entries) {
            j.BeginObject();
            j.Key("FileName");
            j.String(e.FileName);
            j.Key("Folder");
            j.String(e.Folder);
            j.Key("ArchiveName");
            j.String(e.ArchiveName);
            j.Key("ListFile");
            j.String(e.ListFile);
            if (titles) {
                j.Key("Title");
                j.String(titleOf(e));
            }
            j.EndObject();
        }
        j.EndArray();
        std::cout << j.Text() << "\n";
    } else {
        // Names from archives and list files may hold control characters
        // (terminal escapes among them): shown as '?'.
        auto shown = [](std::string s) {
            for (char& c : s) {
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
            }
            return s;
        };
        for (const auto& e : entries) {
            std::cout << shown(e.FileName) << '\t' << shown(e.Folder) << '\t'
                      << shown(e.ArchiveName) << '\t' << shown(e.ListFile);
            if (titles) std::cout << '\t' << shown(titleOf(e));
            std::cout << '\n';
        }
    }
    return entries.empty() ? 1 : 0;
}

}  // namespace sonfara::cli
