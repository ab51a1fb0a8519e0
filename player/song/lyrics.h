// The sung lyrics of a song: lines of timed syllables with page breaks, read
// from lyric events or from the text events of a karaoke (.kar) file. Built
// from a loaded song on the thread that loaded it; read-only afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "player/song/song_table.h"

namespace sonfara::song {

enum class LyricsSource {
    kNone,
    kLyricEvents,  // FF 05, with the karaoke marks of Japanese songs
    kKaraokeText,  // FF 01 in the words track of a .kar file
};

struct LyricSyllable {
    int32_t tick = 0;
    int32_t ms = 0;    // song time of its event, as playback times it
    std::string text;  // UTF-8; never empty or blank
};

struct LyricLine {
    std::vector<LyricSyllable> syllables;  // at least one
    bool newPage = false;                  // a page break comes before it (never the first line)

    std::string Text() const;
};

// Where a song position falls: the syllable sung last (flat index over the
// whole song, and its line and place in the line); -1 before the first.
struct LyricPosition {
    int index = -1;
    int line = -1;
    int syllable = -1;
};

class Lyrics {
  public:
    // Texts are read in the song's TextCodePage().
    static Lyrics FromSong(const SongTable& song);

    bool Empty() const { return lines_.empty(); }
    LyricsSource Source() const { return source_; }
    const std::vector<LyricLine>& Lines() const { return lines_; }
    // The first "@T" header line of a karaoke file, UTF-8; empty otherwise.
    const std::string& Title() const { return title_; }
    int SyllableCount() const { return static_cast<int>(ms_.size()); }

    // The syllable sung at a song time or tick (its event at or before it).
    LyricPosition AtMs(int32_t ms) const;
    LyricPosition AtTick(int32_t tick) const;

    // Lines joined by "\n", pages parted by an empty line; no final newline.
    std::string Text() const;

  private:
    friend class LyricsBuilder;
    LyricPosition PositionOf(int index) const;

    LyricsSource source_ = LyricsSource::kNone;
    std::vector<LyricLine> lines_;
    std::string title_;
    // Flat views for the binary searches.
    std::vector<int32_t> ms_;
    std::vector<int32_t> ticks_;
    std::vector<int> lineStart_;  // flat index of each line's first syllable
};

}  // namespace sonfara::song
