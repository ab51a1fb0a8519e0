#include "player/library/song_record.h"

#include <algorithm>
#include <cmath>
#include <string_view>

#include "player/files/paths.h"
#include "player/files/song_reader.h"
#include "player/platform/midi.h"
#include "player/song/event_list.h"
#include "player/song/lyrics.h"
#include "player/song/module_detect.h"
#include "player/song/song_table.h"

namespace sonfara::library {
namespace {

// Meta event types the library keeps as the song's texts. Track names
// (0x03) and lyrics (0x05) are kept apart.
constexpr uint8_t kMetaText = 0x01;
constexpr uint8_t kMetaCopyright = 0x02;
constexpr uint8_t kMetaInstrument = 0x04;
constexpr uint8_t kMetaMarker = 0x06;
constexpr uint8_t kMetaCue = 0x07;

constexpr int32_t kMicrosPerMinute = 60'000'000;

bool IsKeptText(uint8_t type) {
    return type == kMetaText || type == kMetaCopyright || type == kMetaInstrument ||
           type == kMetaMarker || type == kMetaCue;
}

// Cuts UTF-8 at a character boundary at or below `limit` bytes.
void CutText(std::string& s, size_t limit = kMaxTextBytes) {
    if (s.size() <= limit) return;
    size_t n = limit;
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80) --n;
    s.resize(n);
}

// The GM System On message as a Standard MIDI File stores it.
bool HasGmSystemOn(std::span<const uint8_t> b) {
    static constexpr uint8_t kGmOn[] = {midi::kSysExStart, 0x05, midi::kUniversalNonRealtime};
    for (size_t i = 0; i + 6 < b.size(); ++i) {
        if (b[i] == kGmOn[0] && b[i + 1] == kGmOn[1] && b[i + 2] == kGmOn[2] && b[i + 4] == 0x09 &&
            b[i + 5] == 0x01)
            return true;
    }
    return false;
}

SongModule ModuleOf(std::span<const uint8_t> raw) {
    switch (song::DetectModuleBytes(raw)) {
        case song::kModuleGS:
            return SongModule::kGs;
        case song::kModuleXG:
            return SongModule::kXg;
        default:
            return HasGmSystemOn(raw) ? SongModule::kGm : SongModule::kNone;
    }
}

// Track names and the kept text events, as code-page bytes in file order
// (repeats dropped).
void CollectTexts(const song::SongTable& song, std::vector<std::string>& names,
                  std::vector<std::string>& texts) {
    for (int t = 1; t <= song.NTracks; ++t) {
        if (!song.TrackName(t).empty()) names.push_back(song.TrackName(t));
        const song::TrackEventRange events = song.TrackEvents(t);
        for (const uint32_t i : song.ExtEventsOf(t)) {
            const song::EventView ev = events[i];
            if (ev.status != midi::kMetaEvent) continue;
            const auto row = song.ExtRow(ev.ExtIndex());
            if (row.size() < 2 || !IsKeptText(row[0])) continue;
            std::string text(reinterpret_cast<const char*>(row.data()) + 1, row.size() - 1);
            if (std::find(texts.begin(), texts.end(), text) == texts.end())
                texts.push_back(std::move(text));
        }
    }
}

std::string JoinLines(std::vector<std::string>::const_iterator from,
                      std::vector<std::string>::const_iterator to) {
    std::string out;
    for (auto it = from; it != to; ++it) {
        if (!out.empty()) out += '\n';
        out += *it;
    }
    CutText(out);
    return out;
}

void CountEvents(const song::SongTable& song, SongRecord& r) {
    for (int t = 1; t <= song.NTracks; ++t) {
        for (const song::SongEvent& e : song.TrackEvents(t).Stored()) {
            const uint8_t kind = midi::StatusKind(e.status);
            if (kind == midi::kNoteOn && e.data2 > 0) ++r.notes;
            if (kind == midi::kProgramChange && midi::ChannelOf(e.status) != midi::kDrumChannel &&
                e.data1 <= midi::kMaxDataByte)
                r.programs[e.data1 >> 6] |= uint64_t{1} << (e.data1 & 63);
        }
    }
}

void TempoRange(const song::SongTable& song, SongRecord& r) {
    int32_t slow = 0, fast = 0;
    for (int i = 1; i <= song.TempoCount(); ++i) {
        const int32_t us = song.Tempo(i).tempo;
        // A tempo replaced at the same tick (the default at 0) never plays.
        if (us <= 0 || (i < song.TempoCount() && song.Tempo(i + 1).tick == song.Tempo(i).tick))
            continue;
        if (slow == 0 || us > slow) slow = us;
        if (fast == 0 || us < fast) fast = us;
    }
    if (slow == 0) slow = fast = 500000;  // the SMF default, 120 BPM
    auto bpm100 = [](int32_t us) {
        return static_cast<int32_t>(std::lround(100.0 * kMicrosPerMinute / us));
    };
    r.tempoMin = bpm100(slow);
    r.tempoMax = bpm100(fast);
}

}  // namespace

const char* ModuleName(SongModule m) {
    switch (m) {
        case SongModule::kGs:
            return "GS";
        case SongModule::kXg:
            return "XG";
        case SongModule::kGm:
            return "GM";
        case SongModule::kNone:
            break;
    }
    return "";
}

std::vector<std::string> DecodeSongTexts(const std::vector<std::string>& bytes,
                                         const platform::CodePage& cp) {
    // Each text as the event list shows it, in the code page decided for the song.
    std::vector<std::string> out;
    out.reserve(bytes.size());
    for (const std::string& b : bytes) out.push_back(cp.ToUtf8(b));
    return out;
}

void DescribeSong(const song::SongTable& song, std::span<const uint8_t> raw,
                  const platform::CodePage& cp, SongRecord& r) {
    std::vector<std::string> names, texts;
    CollectTexts(song, names, texts);
    // One decision for all of the song's texts: the title goes first.
    std::vector<std::string> all;
    all.reserve(1 + names.size() + texts.size());
    all.push_back(song.SongTitle);
    all.insert(all.end(), names.begin(), names.end());
    all.insert(all.end(), texts.begin(), texts.end());
    const std::vector<std::string> utf8 = DecodeSongTexts(all, song.TextCodePage());
    if (!song.SongTitle.empty()) r.title = utf8[0];
    r.trackNames = JoinLines(utf8.begin() + 1, utf8.begin() + 1 + names.size());
    r.texts = JoinLines(utf8.begin() + 1 + names.size(), utf8.end());

    const song::Lyrics lyrics = song::Lyrics::FromSong(song);
    r.hasLyrics = !lyrics.Empty();
    r.lyrics = lyrics.Text();
    CutText(r.lyrics);

    r.module = ModuleOf(raw);
    r.format = song.FileKindLabel;
    r.tracks = song.NTracks;
    r.lengthMs = song.TotalMs;
    r.timeSignature =
        std::to_string(song.BeatNumerator) + "/" + std::to_string(song.BeatDenominator);
    r.hasLoop = song.Loop.Valid();
    TempoRange(song, r);
    CountEvents(song, r);
}

void DescribeSongBytes(std::span<const uint8_t> bytes, const std::string& fileName,
                       const platform::CodePage& cp, SongRecord& r) {
    files::ReadSongOptions options;
    options.load.codePage = &cp;
    options.load.threads = 1;  // the scan loads one song per core already
    song::SongTable song;
    const files::SongRead read = files::ReadSong(bytes, fileName, song, options);
    if (!read.ok()) {
        // The record keeps the SMF reader's bare reason; a conversion names the file.
        r.error = read.load.ok() ? read.status.Message() + ": " + files::PathFileName(fileName)
                                 : read.load.Message();
        if (r.error.empty()) r.error = "?";
        return;
    }
    DescribeSong(song, read.SmfIn(bytes), cp, r);
}

}  // namespace sonfara::library
