#include "player/song/lyrics.h"

#include <algorithm>
#include <string_view>

#include "player/platform/midi.h"
#include "player/song/event_list.h"

namespace sonfara::song {
namespace {

constexpr uint8_t kMetaText = 0x01;
constexpr uint8_t kMetaLyric = 0x05;

// A song without line marks breaks its lines at pauses this long (from one
// syllable to the next), so a lyrics window never gets the whole song as
// one line.
constexpr int kPauseQuarters = 3;

struct TextEvent {
    EventView ev;
    std::string_view bytes;  // the payload, code-page bytes as stored
};

// The meta events of one type in track t, in file order.
std::vector<TextEvent> MetaTexts(const SongTable& song, int t, uint8_t type) {
    std::vector<TextEvent> out;
    // Only the track's SysEx and meta events: a huge song is mostly channel
    // events, and reading them through would hold the windows up.
    const TrackEventRange events = song.TrackEvents(t);
    for (const uint32_t i : song.ExtEventsOf(t)) {
        const EventView ev = events[i];
        if (ev.status != midi::kMetaEvent) continue;
        const auto row = song.ExtRow(ev.ExtIndex());
        if (row.empty() || row[0] != type) continue;
        out.push_back({ev, {reinterpret_cast<const char*>(row.data()) + 1, row.size() - 1}});
    }
    return out;
}

bool IsMark(char c) {
    return c == '/' || c == '\\' || c == '<' || c == '\r' || c == '\n';
}

// Anything but blanks, controls and marks. Bytes are tested one by one: a
// double-byte character's lead byte is never one of these.
bool HasVisibleText(std::string_view b) {
    return std::any_of(b.begin(), b.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u > 0x20 && u != 0x7F && c != '^' && !IsMark(c);
    });
}

bool IsHeaderLine(std::string_view b) {
    return !b.empty() && b[0] == '@';
}

// The track whose lyric events carry the most text; 0 when none does.
int LyricEventTrack(const SongTable& song) {
    int best = 0;
    size_t bestCount = 0;
    for (int t = 1; t <= song.NTracks; ++t) {
        const auto texts = MetaTexts(song, t, kMetaLyric);
        const size_t n = std::count_if(texts.begin(), texts.end(),
                                       [](const TextEvent& e) { return HasVisibleText(e.bytes); });
        if (n > bestCount) {
            best = t;
            bestCount = n;
        }
    }
    return best;
}

// The words track of a karaoke file: text events that start lines or pages
// with "/" and "\", or follow "@T"/"@L" header lines, or a file marked
// "@KMIDI". Copyright lines and comments in text events have none of these.
int KaraokeWordsTrack(const SongTable& song) {
    struct Score {
        int syllables = 0;
        int marked = 0;
        bool header = false;
    };
    std::vector<Score> scores(song.NTracks + 1);
    bool kmidi = false;
    for (int t = 1; t <= song.NTracks; ++t) {
        for (const TextEvent& e : MetaTexts(song, t, kMetaText)) {
            Score& s = scores[t];
            if (IsHeaderLine(e.bytes)) {
                kmidi = kmidi || e.bytes.starts_with("@KMIDI");
                s.header = s.header || e.bytes.starts_with("@T") || e.bytes.starts_with("@L");
            } else if (!e.bytes.empty()) {
                ++s.syllables;
                if (e.bytes[0] == '/' || e.bytes[0] == '\\') ++s.marked;
            }
        }
    }
    int best = 0;
    for (int t = 1; t <= song.NTracks; ++t) {
        const Score& s = scores[t];
        const bool words =
            s.syllables > 0 && (s.marked >= 2 || s.header || (kmidi && s.marked >= 1));
        if (!words) continue;
        const Score& b = scores[best];
        if (best == 0 || s.marked > b.marked || (s.marked == b.marked && s.syllables > b.syllables))
            best = t;
    }
    return best;
}

bool IsBlank(std::string_view s) {
    return s.find_first_not_of(' ') == std::string_view::npos;
}

// A header line's text without control characters and outer blanks.
std::string HeaderText(std::string_view s) {
    std::string t;
    for (char c : s) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) t += c;
    }
    const size_t first = t.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return t.substr(first, t.find_last_not_of(' ') - first + 1);
}

// Every syllable in the one code page decided for the whole song.
std::vector<std::string> DecodeAll(const std::vector<TextEvent>& events,
                                   const platform::CodePage& cp) {
    std::vector<std::string> texts;
    texts.reserve(events.size());
    for (const TextEvent& e : events) texts.push_back(cp.ToUtf8(e.bytes));
    return texts;
}

struct MarkUse {
    bool any = false;     // some line or page mark at all
    bool loneCr = false;  // a carriage return without a line feed after it
    bool loneLf = false;  // a line feed without a carriage return before it
};

// Marks are looked for in decoded text: in code-page bytes "\" is also the
// second byte of many double-byte characters.
MarkUse MarksOf(const std::vector<std::string>& texts, const std::vector<size_t>& sung) {
    MarkUse m;
    for (size_t i : sung) {
        const std::string& t = texts[i];
        for (size_t k = 0; k < t.size(); ++k) {
            m.any = m.any || IsMark(t[k]);
            m.loneCr = m.loneCr || (t[k] == '\r' && (k + 1 == t.size() || t[k + 1] != '\n'));
            m.loneLf = m.loneLf || (t[k] == '\n' && (k == 0 || t[k - 1] != '\r'));
        }
    }
    return m;
}

}  // namespace

// Turns the texts of one track, with their marks, into lines and pages.
class LyricsBuilder {
  public:
    // lfIsPage: line feeds part pages (where carriage returns end lines).
    LyricsBuilder(bool lfIsPage, int32_t pauseTicks)
        : lfIsPage_(lfIsPage), pauseTicks_(pauseTicks) {}

    void Feed(std::string_view text, int32_t tick, int32_t ms);
    Lyrics Finish(LyricsSource source, std::string title);

  private:
    enum Break { kNone, kLine, kPage };
    void Mark(Break b);
    void Add(std::string piece, int32_t tick, int32_t ms);
    void CloseLine();

    const bool lfIsPage_;
    const int32_t pauseTicks_;  // 0: no line breaks at pauses
    std::vector<LyricLine> lines_;
    LyricLine current_;
    Break pending_ = kNone;
};

void LyricsBuilder::Feed(std::string_view text, int32_t tick, int32_t ms) {
    std::string piece;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        Break b = kNone;
        if (c == '/') {
            b = kLine;
        } else if (c == '\r') {
            b = kLine;
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else if (c == '\n') {
            b = lfIsPage_ ? kPage : kLine;
        } else if (c == '\\' || c == '<') {
            b = kPage;
        }
        if (b != kNone) {
            Add(std::move(piece), tick, ms);
            piece.clear();
            Mark(b);
        } else if (c == '^' || c == '\t') {
            piece += ' ';
        } else if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) {
            piece += c;
        }
    }
    Add(std::move(piece), tick, ms);
}

void LyricsBuilder::Mark(Break b) {
    if (!current_.syllables.empty()) CloseLine();
    pending_ = std::max(pending_, b);
}

void LyricsBuilder::Add(std::string piece, int32_t tick, int32_t ms) {
    if (piece.empty()) return;
    auto& syllables = current_.syllables;
    if (IsBlank(piece)) {
        // A space between words belongs to the word before it.
        if (!syllables.empty()) syllables.back().text += piece;
        return;
    }
    if (pauseTicks_ > 0 && !syllables.empty() && tick - syllables.back().tick >= pauseTicks_)
        Mark(kLine);
    if (syllables.empty()) {
        current_.newPage = pending_ == kPage && !lines_.empty();
        pending_ = kNone;
        piece.erase(0, piece.find_first_not_of(' '));
    }
    syllables.push_back({tick, ms, std::move(piece)});
}

void LyricsBuilder::CloseLine() {
    std::string& last = current_.syllables.back().text;
    last.erase(last.find_last_not_of(' ') + 1);
    lines_.push_back(std::move(current_));
    current_ = {};
}

Lyrics LyricsBuilder::Finish(LyricsSource source, std::string title) {
    if (!current_.syllables.empty()) CloseLine();
    Lyrics l;
    l.source_ = lines_.empty() ? LyricsSource::kNone : source;
    l.title_ = std::move(title);
    for (const LyricLine& line : lines_) {
        l.lineStart_.push_back(static_cast<int>(l.ms_.size()));
        for (const LyricSyllable& s : line.syllables) {
            l.ms_.push_back(s.ms);
            l.ticks_.push_back(s.tick);
        }
    }
    l.lines_ = std::move(lines_);
    return l;
}

std::string LyricLine::Text() const {
    std::string s;
    for (const LyricSyllable& y : syllables) s += y.text;
    return s;
}

Lyrics Lyrics::FromSong(const SongTable& song) {
    const platform::CodePage& cp = song.TextCodePage();
    LyricsSource source = LyricsSource::kLyricEvents;
    int track = LyricEventTrack(song);
    if (track == 0) {
        source = LyricsSource::kKaraokeText;
        track = KaraokeWordsTrack(song);
    }
    if (track == 0) return {};
    const bool karaoke = source == LyricsSource::kKaraokeText;
    const auto events = MetaTexts(song, track, karaoke ? kMetaText : kMetaLyric);
    const std::vector<std::string> texts = DecodeAll(events, cp);

    std::string title;
    std::vector<size_t> sung;
    for (size_t i = 0; i < events.size(); ++i) {
        if (!karaoke || !IsHeaderLine(events[i].bytes))
            sung.push_back(i);
        else if (title.empty() && events[i].bytes.starts_with("@T"))
            title = HeaderText(std::string_view(texts[i]).substr(2));
    }
    const MarkUse marks = MarksOf(texts, sung);
    LyricsBuilder builder(marks.loneCr && marks.loneLf,
                          marks.any ? 0 : kPauseQuarters * song.TicksPerQuarter());
    for (size_t i : sung) builder.Feed(texts[i], events[i].ev.tick, events[i].ev.TimeMs());
    return builder.Finish(source, std::move(title));
}

LyricPosition Lyrics::PositionOf(int index) const {
    if (index < 0) return {};
    const auto line =
        std::upper_bound(lineStart_.begin(), lineStart_.end(), index) - lineStart_.begin() - 1;
    return {index, static_cast<int>(line), index - lineStart_[line]};
}

LyricPosition Lyrics::AtMs(int32_t ms) const {
    return PositionOf(static_cast<int>(std::upper_bound(ms_.begin(), ms_.end(), ms) - ms_.begin()) -
                      1);
}

LyricPosition Lyrics::AtTick(int32_t tick) const {
    return PositionOf(
        static_cast<int>(std::upper_bound(ticks_.begin(), ticks_.end(), tick) - ticks_.begin()) -
        1);
}

std::string Lyrics::Text() const {
    std::string s;
    for (const LyricLine& line : lines_) {
        if (!s.empty()) s += line.newPage ? "\n\n" : "\n";
        s += line.Text();
    }
    return s;
}

}  // namespace sonfara::song
