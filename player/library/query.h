// The library's search language: words (each must occur somewhere in a
// song's title, track names, texts, lyrics or path; folded as text_fold.h
// folds) and filters:
//   module:gs|xg|gm|none     length:<3:00  length:>=90  length:2:00-4:30
//   has:lyrics|wrd|doc|loop|error|missing  program:N (0..127, as the
//   program change carries it: 19 is the church organ)
//   folder:TEXT (part of the folder or archive path)  sort:COLUMN or sort:-COLUMN
// Anything else with a colon is a word.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "player/library/messages.h"
#include "player/library/song_record.h"

namespace sonfara::library {

enum class SortColumn {
    kTitle,
    kLength,
    kModule,
    kFolder,
    kFormat,
    kTracks,
    kTempo,
    kNotes,
    kTime
};
// "title", "length", "module", "folder", "format", "tracks", "tempo", "notes", "time".
std::optional<SortColumn> SortColumnNamed(std::string_view name);

struct LibraryQuery {
    std::vector<std::string> words;  // folded, never empty or with spaces
    std::optional<SongModule> module;
    std::optional<int32_t> minMs;  // inclusive
    std::optional<int32_t> maxMs;  // inclusive
    bool withLyrics = false;
    bool withWrd = false;
    bool withDoc = false;
    bool withLoop = false;
    bool failed = false;
    bool missing = false;
    std::vector<int> programs;         // all of them
    std::vector<std::string> folders;  // any of them
    SortColumn sort = SortColumn::kTitle;
    bool descending = false;
};

// Parses the text the user typed. A filter with a value it cannot take is
// kBadQuery with that filter as the detail.
LibraryStatus ParseQuery(std::string_view text, LibraryQuery& query);

// The full-text expression of the words ("" when there are none).
std::string MatchExpression(const std::vector<std::string>& words);

// "m:ss", "h:mm:ss" or plain seconds, as milliseconds; nullopt otherwise.
std::optional<int32_t> ParseDuration(std::string_view text);

}  // namespace sonfara::library
