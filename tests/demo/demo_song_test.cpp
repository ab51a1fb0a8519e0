// The bundled demo song, as written by the build, carries what the player's
// features are shown with: GS set-up, CP932 texts, lyrics, a tempo map and
// well-formed notes on every part.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "player/platform/codepage.h"
#include "player/song/lyrics.h"
#include "player/song/module_detect.h"
#include "player/song/smf_reader.h"
#include "player/song/song_table.h"

namespace sonfara {
namespace {

class DemoSong : public ::testing::Test {
  protected:
    void SetUp() override {
        song::LoadOptions options;
        options.codePage = &cp_;
        const song::LoadStatus r = song::LoadSMF(SONFARA_DEMO_SONG, song_, options);
        ASSERT_TRUE(r.ok()) << r.Message();
    }

    // Payload of a SysEx or meta event; meta rows start with the type.
    std::span<const uint8_t> Payload(const song::EventView e) const {
        return song_.ExtRow(e.ExtIndex());
    }
    bool IsMeta(const song::EventView e, uint8_t type) const {
        return e.status == 0xFF && !Payload(e).empty() && Payload(e)[0] == type;
    }

    platform::CodePage cp_{"CP932"};
    song::SongTable song_;
};

TEST_F(DemoSong, IsAGsFormat1SongWithACp932Title) {
    EXPECT_EQ(song_.Format, 1);
    EXPECT_GE(song_.NTracks, 8);
    EXPECT_EQ(song_.Division, 480);
    EXPECT_EQ(song::DetectModule(SONFARA_DEMO_SONG), song::kModuleGS);
    EXPECT_EQ(cp_.ToUtf8(song_.SongTitle), "Sonfara Demo ～ 夜明けの序曲");
    for (int t = 1; t <= song_.NTracks; ++t) EXPECT_FALSE(song_.TrackName(t).empty()) << t;
    EXPECT_EQ(cp_.ToUtf8(song_.TrackName(2)), "メロディ");
    EXPECT_EQ(song_.BeatNumerator, 4);
    EXPECT_EQ(song_.BeatDenominator, 4);
}

TEST_F(DemoSong, LastsAboutNinetySecondsWithATempoChangeAndARitardando) {
    EXPECT_GE(song_.TotalMs, 85000);
    EXPECT_LE(song_.TotalMs, 95000);
    ASSERT_GE(song_.TempoCount(), 3);
    EXPECT_EQ(song_.Tempo(1).tempo, 500000);
    bool faster = false;
    for (int i = 1; i <= song_.TempoCount(); ++i) {
        const song::TempoEntry& e = song_.Tempo(i);
        faster |= e.tempo < 500000 && e.timeMs > 10000 && e.timeMs < song_.TotalMs - 20000;
    }
    EXPECT_TRUE(faster) << "no speed-up midway";
    const song::TempoEntry& last = song_.Tempo(song_.TempoCount());
    EXPECT_GT(last.tempo, 500000) << "the ending does not slow down";
    EXPECT_GT(last.timeMs, song_.TotalMs - 15000);
}

TEST_F(DemoSong, GsMessagesHaveCorrectRolandChecksums) {
    bool reset = false, text = false, dots = false;
    for (int t = 1; t <= song_.NTracks; ++t) {
        for (const song::EventView e : song_.TrackEvents(t)) {
            if (e.status != 0xF0) continue;
            const auto p = Payload(e);
            ASSERT_GE(p.size(), 6u);
            ASSERT_EQ(p.back(), 0xF7);
            if (p[0] != 0x41 || p[3] != 0x12) continue;  // only Roland DT1
            int sum = 0;
            for (size_t i = 4; i + 1 < p.size(); ++i) sum += p[i];  // address, data, checksum
            EXPECT_EQ(sum % 128, 0) << "bad checksum in track " << t;
            reset |= p[2] == 0x42 && p[4] == 0x40 && p[5] == 0x00 && p[6] == 0x7F && e.tick == 0;
            if (p[2] == 0x45 && p[4] == 0x10 && p[5] == 0x00 && p[6] == 0x00) {
                text = true;
                EXPECT_LE(p.size() - 9, 32u) << "display text longer than 32 characters";
            }
            if (p[2] == 0x45 && p[4] == 0x10 && p[5] == 0x01 && p[6] == 0x00) {
                dots = true;
                EXPECT_EQ(p.size() - 9, 64u);
            }
        }
    }
    EXPECT_TRUE(reset);
    EXPECT_TRUE(text);
    EXPECT_TRUE(dots);
}

TEST_F(DemoSong, MelodyTrackCarriesOneLyricPerNote) {
    int lyricTrack = 0;
    for (int t = 1; t <= song_.NTracks && !lyricTrack; ++t) {
        for (const song::EventView e : song_.TrackEvents(t))
            if (IsMeta(e, 0x05)) lyricTrack = t;
    }
    ASSERT_NE(lyricTrack, 0);
    std::vector<int32_t> lyricTicks, noteTicks;
    for (const song::EventView e : song_.TrackEvents(lyricTrack)) {
        if (IsMeta(e, 0x05)) {
            EXPECT_GT(Payload(e).size(), 1u) << "empty lyric at tick " << e.tick;
            lyricTicks.push_back(e.tick);
        }
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) noteTicks.push_back(e.tick);
    }
    EXPECT_GE(lyricTicks.size(), 50u);
    // Every lyric starts a note (the solo and the ending are sung without words).
    for (int32_t tick : lyricTicks)
        EXPECT_TRUE(std::binary_search(noteTicks.begin(), noteTicks.end(), tick)) << tick;
}

// Note-ons and note-offs pair up per channel and key over the whole song, no
// key is struck while still sounding, and the song ends with its last note-off.
TEST_F(DemoSong, EveryNoteIsReleasedAndNoneOverlap) {
    struct NoteEvent {
        int32_t tick;
        bool on;
        int channel, key;
    };
    std::vector<NoteEvent> notes;
    int32_t lastEnd = 0;
    for (int t = 1; t <= song_.NTracks; ++t) {
        const auto events = song_.TrackEvents(t);
        ASSERT_FALSE(events.empty());
        EXPECT_TRUE(IsMeta(events.back(), 0x2F)) << "track " << t << " lacks End of Track";
        lastEnd = std::max(lastEnd, events.back().tick);
        for (const song::EventView e : events) {
            const int kind = e.status & 0xF0;
            if (kind == 0x90 || kind == 0x80)
                notes.push_back({e.tick, kind == 0x90 && e.data2 > 0, e.status & 0x0F, e.data1});
        }
    }
    std::stable_sort(notes.begin(), notes.end(), [](const NoteEvent& a, const NoteEvent& b) {
        return a.tick != b.tick ? a.tick < b.tick : !a.on && b.on;
    });
    std::set<std::pair<int, int>> sounding;
    int32_t lastOff = 0;
    for (const NoteEvent& n : notes) {
        const auto key = std::make_pair(n.channel, n.key);
        if (n.on) {
            EXPECT_TRUE(sounding.insert(key).second)
                << "ch " << n.channel + 1 << " key " << n.key << " struck again at " << n.tick;
        } else {
            EXPECT_EQ(sounding.erase(key), 1u)
                << "ch " << n.channel + 1 << " key " << n.key << " released unheld at " << n.tick;
            lastOff = n.tick;
        }
    }
    EXPECT_TRUE(sounding.empty()) << sounding.size() << " notes never released";
    EXPECT_EQ(lastOff, lastEnd) << "silence or stray events after the last note";
}

TEST_F(DemoSong, EachPartHasItsOwnChannelAndSetUp) {
    std::map<int, int> trackOfChannel;
    for (int t = 2; t <= song_.NTracks; ++t) {
        std::set<int> channels, controllers;
        bool program = false, bend = false;
        int32_t firstNote = -1, programTick = -1;
        for (const song::EventView e : song_.TrackEvents(t)) {
            if (e.status >= 0xF0) continue;
            channels.insert(e.status & 0x0F);
            const int kind = e.status & 0xF0;
            if (kind == 0xB0) controllers.insert(e.data1);
            if (kind == 0xE0) bend = true;
            if (kind == 0xC0 && !program) program = true, programTick = e.tick;
            if (kind == 0x90 && firstNote < 0) firstNote = e.tick;
        }
        ASSERT_EQ(channels.size(), 1u) << "track " << t;
        const int ch = *channels.begin();
        EXPECT_TRUE(trackOfChannel.emplace(ch, t).second) << "channel shared by track " << t;
        EXPECT_TRUE(program && programTick <= firstNote) << "no program change before notes";
        for (int cc : {7, 10, 11, 91, 93}) EXPECT_TRUE(controllers.count(cc)) << t << " CC" << cc;
        const std::string name = cp_.ToUtf8(song_.TrackName(t));
        if (name == "ピアノ") {
            EXPECT_TRUE(controllers.count(64)) << "no sustain pedal";
        }
        if (name == "メロディ") {
            EXPECT_TRUE(bend);
            EXPECT_TRUE(controllers.count(1));
        }
    }
    // Drums on channel 10, with General MIDI percussion keys only.
    ASSERT_TRUE(trackOfChannel.count(9));
    for (const song::EventView e : song_.TrackEvents(trackOfChannel[9])) {
        if ((e.status & 0xF0) == 0x90) {
            EXPECT_GE(e.data1, 35);
            EXPECT_LE(e.data1, 81);
        }
    }
}

TEST_F(DemoSong, ConductorMarksTheSections) {
    int markers = 0;
    bool copyright = false;
    for (const song::EventView e : song_.TrackEvents(1)) {
        EXPECT_GE(e.status, 0xF0) << "channel event in the conductor track";
        markers += IsMeta(e, 0x06);
        copyright |= IsMeta(e, 0x02);
    }
    EXPECT_GE(markers, 5);
    EXPECT_TRUE(copyright);
}

// The karaoke demo reads as a .kar file: two pages of two lines, each
// syllable on a note of the melody.
TEST(KaraokeDemo, WordsTrackSingsOneSyllablePerMelodyNote) {
    const platform::CodePage cp("CP932");
    song::SongTable song;
    song::LoadOptions options;
    options.codePage = &cp;
    ASSERT_TRUE(song::LoadSMF(SONFARA_KARAOKE_DEMO, song, options).ok());
    EXPECT_EQ(song.SongTitle, "Lantern Song");
    const song::Lyrics lyrics = song::Lyrics::FromSong(song);
    EXPECT_EQ(lyrics.Source(), song::LyricsSource::kKaraokeText);
    EXPECT_EQ(lyrics.Title(), "Lantern Song");
    ASSERT_EQ(lyrics.Lines().size(), 4u);
    EXPECT_EQ(lyrics.Lines()[0].Text(), "Light a lantern in the rain,");
    EXPECT_TRUE(lyrics.Lines()[2].newPage);
    std::vector<int32_t> noteTicks;
    for (const song::EventView e : song.TrackEvents(3))
        if ((e.status & 0xF0) == 0x90 && e.data2 > 0) noteTicks.push_back(e.tick);
    ASSERT_EQ(noteTicks.size(), static_cast<size_t>(lyrics.SyllableCount()));
    for (int i = 0; i < lyrics.SyllableCount(); ++i)
        EXPECT_EQ(lyrics.AtTick(noteTicks[i]).index, i) << noteTicks[i];
}

}  // namespace
}  // namespace sonfara
