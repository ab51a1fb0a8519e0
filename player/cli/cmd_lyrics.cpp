// sonfara-cli lyrics: the sung lyrics of a song as text, as LRC with each
// line's time, or as enhanced LRC with each syllable's time.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/song/event_list.h"
#include "player/song/lyrics.h"

namespace sonfara::cli {
namespace {

// mm:ss.xx in hundredths, rounded; minutes go past 99 when they must.
std::string LrcTime(int32_t ms) {
    const long long cs = (static_cast<long long>(std::max(ms, 0)) + 5) / 10;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld.%02lld", cs / 6000, cs / 100 % 60, cs % 100);
    return buf;
}

std::string Lrc(const song::Lyrics& lyrics, const std::string& title, bool words) {
    std::string out;
    if (!title.empty()) {
        std::string tag = title;
        std::replace_if(
            tag.begin(), tag.end(), [](unsigned char c) { return c < 0x20; }, ' ');
        out += "[ti:" + tag + "]\n";  // a control character would break the tag's line
    }
    for (const song::LyricLine& line : lyrics.Lines()) {
        out += "[" + LrcTime(line.syllables.front().ms) + "]";
        if (!words) {
            out += line.Text();
        } else {
            for (const song::LyricSyllable& s : line.syllables)
                out += "<" + LrcTime(s.ms) + ">" + s.text;
        }
        out += "\n";
    }
    return out;
}

// A karaoke file's own title, else the song's, but not the file name the
// loader falls back on nor a karaoke header line.
std::string TitleOf(const song::Lyrics& lyrics, const song::SongTable& song,
                    const std::string& path) {
    if (!lyrics.Title().empty()) return lyrics.Title();
    const platform::CodePage& cp = song.TextCodePage();
    if (song.SongTitle.empty() || song.SongTitle[0] == '@' ||
        song.SongTitle == cp.FromUtf8(BaseName(path)))
        return {};
    return cp.ToUtf8(song.SongTitle);
}

}  // namespace

int RunLyrics(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage", "o"}, {"lrc", "words"});
    if (!a.error.empty() || a.positional.size() != 1) {
        if (!a.error.empty()) std::cerr << "sonfara-cli lyrics: " << a.error << "\n";
        std::cerr << "usage: sonfara-cli lyrics SONG [--lrc|--words] [-o FILE] [--codepage NAME]\n";
        return 2;
    }
    const platform::CodePage& cp = CliCodePage(a);
    const std::string& path = a.positional[0];
    song::SongTable song;
    if (!LoadSongForCli(path, song, cp)) return 1;
    const song::Lyrics lyrics = song::Lyrics::FromSong(song);
    if (lyrics.Empty()) {
        std::cerr << "sonfara-cli lyrics: no lyrics in " << path << "\n";
        return 1;
    }
    const bool lrc = a.Flag("lrc") || a.Flag("words");
    const std::string text =
        lrc ? Lrc(lyrics, TitleOf(lyrics, song, path), a.Flag("words")) : lyrics.Text() + "\n";
    const auto out = a.Value("o");
    if (!out) {
        std::cout << text;
        return 0;
    }
    std::ofstream f(*out, std::ios::binary);
    f << text;
    f.close();
    if (!f) {
        std::cerr << "sonfara-cli lyrics: cannot write " << *out << "\n";
        return 1;
    }
    return 0;
}

}  // namespace sonfara::cli
