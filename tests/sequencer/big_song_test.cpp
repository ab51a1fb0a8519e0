// Songs past the limits the song table once had (64 tracks, 32 767 SysEx
// and meta events) load, and play every event in order; songs with more
// notes than the port can take lose note-ons, never note-offs.
#include <gtest/gtest.h>

#include <array>
#include <map>

#include "tests/sequencer/rig.h"

namespace sonfara {
namespace {

using test::BuildSmf;
using test::Rig;
using test::TrackBuilder;

struct Played {
    std::vector<int> keys;        // note-on keys in the order sent
    std::vector<int> sysexOrder;  // the counter each SysEx carries, in order
    int64_t lastNoteUs = 0;
};

Played PlayToEnd(Rig& r) {
    r.RunMs(r.player->Song().TotalMs + 50);
    Played p;
    for (const auto& m : r.Port().Messages()) {
        if (m.isReset || m.bytes.empty()) continue;
        if ((m.bytes[0] & 0xF0) == 0x90 && m.bytes[2] > 0) {
            p.keys.push_back(m.bytes[1]);
            p.lastNoteUs = m.us;
        }
        if (m.bytes[0] == 0xF0 && m.bytes.size() == 6 && m.bytes[1] == 0x7D)
            p.sysexOrder.push_back(m.bytes[2] << 14 | m.bytes[3] << 7 | m.bytes[4]);
    }
    return p;
}

sequencer::PlaybackSettings Once() {
    sequencer::PlaybackSettings s;
    s.repeatMode = platform::RepeatMode::kStopAtEnd;
    return s;
}

bool Ascending(const std::vector<int>& v) {
    return std::is_sorted(v.begin(), v.end());
}

TEST(BigSongs, PastTheOldLimitsLoadAndPlayInOrder) {
    {  // 65 tracks, one note each, a tick apart: the last track plays last.
        std::vector<TrackBuilder> tracks(65);
        for (int t = 0; t < 65; ++t) {
            const auto ch = static_cast<uint8_t>(t % 16);
            tracks[t].Ev(10 * t, {static_cast<uint8_t>(0x90 | ch), static_cast<uint8_t>(t), 64});
            tracks[t].Ev(10 * t + 5, {static_cast<uint8_t>(0x80 | ch), static_cast<uint8_t>(t), 0});
        }
        Rig r(Once());
        r.Start(BuildSmf(1, tracks));
        ASSERT_EQ(r.player->Song().NTracks, 65);
        const Played p = PlayToEnd(r);
        ASSERT_EQ(p.keys.size(), 65u);
        EXPECT_TRUE(Ascending(p.keys));
        EXPECT_EQ(r.player->Song().ListsInUse(), 65);
        EXPECT_GT(r.player->Cursors().ListNext(65), 1) << "list 65 follows playback";
    }
    {  // 70 000 tempo events, 1 a tick, alternately slower and faster than 120 BPM.
        TrackBuilder tempo, notes;
        for (int i = 0; i < 70000; ++i) {
            const int t = i % 2 ? 400000 : 600000;
            tempo.Meta(i, 0x51, {uint8_t(t >> 16), uint8_t(t >> 8), uint8_t(t)});
        }
        for (int k = 0; k < 70; ++k) notes.Ev(1000 * k, {0x90, uint8_t(k), 64});
        Rig r(Once());
        r.Start(BuildSmf(1, {tempo, notes}));
        const song::SongTable& s = r.player->Song();
        ASSERT_EQ(s.TempoCount(), 70001);
        // 35 000 ticks at 1.2 ms and 35 000 at 0.8 ms (division 500).
        EXPECT_EQ(s.TotalMs, s.TickToMs(69999));
        EXPECT_NEAR(s.TotalMs, 70000, 2);
        const Played p = PlayToEnd(r);
        ASSERT_EQ(p.keys.size(), 70u);
        EXPECT_TRUE(Ascending(p.keys));
        EXPECT_NEAR((p.lastNoteUs - r.Seq().SpeedBase() * int64_t{1000}) / 1000.0,
                    s.TickToMs(69000), 2.0);
    }
    {  // 70 000 SysEx events, ten a tick, each with its number.
        TrackBuilder sx;
        for (int i = 0; i < 70000; ++i)
            sx.SysEx(i / 10,
                     {0x7D, uint8_t(i >> 14), uint8_t(i >> 7 & 0x7F), uint8_t(i & 0x7F), 0xF7});
        Rig r(Once());
        r.Start(BuildSmf(1, {sx}));
        ASSERT_EQ(r.player->Song().ExtCount(), 70001);  // with the End of Track
        const Played p = PlayToEnd(r);
        ASSERT_EQ(p.sysexOrder.size(), 70000u);
        EXPECT_TRUE(Ascending(p.sysexOrder));
        EXPECT_EQ(p.sysexOrder.back(), 69999);
    }
}

struct DropNotices : sequencer::OutputObserver {
    std::vector<std::string> texts;
    void OnNotesDropped(const std::string& text) override { texts.push_back(text); }
};

TEST(ManyNotes, AFullPortDropsTheOldestNoteOnsOnlyAndSaysSoOnce) {
    // 400 notes of 20 ms within 200 ms on 16 channels: 2 400 bytes where a
    // cable takes about 600.
    std::vector<std::multimap<int, std::array<uint8_t, 3>>> byChannel(16);
    for (int i = 0; i < 400; ++i) {
        const auto ch = static_cast<uint8_t>(i % 16);
        const auto key = static_cast<uint8_t>(30 + i / 16);
        byChannel[ch].insert({i / 2, {static_cast<uint8_t>(0x90 | ch), key, 100}});
        byChannel[ch].insert({i / 2 + 20, {static_cast<uint8_t>(0x80 | ch), key, 0}});
    }
    std::vector<TrackBuilder> tracks(16);
    for (int ch = 0; ch < 16; ++ch)
        for (const auto& [tick, m] : byChannel[ch]) tracks[ch].Ev(tick, {m[0], m[1], m[2]});
    tracks[0].Ev(3000, {0xB0, 0x07, 100});  // the song goes on while the port catches up
    DropNotices notices;                    // outlives the player, which tells it at shutdown
    Rig r;
    r.Out().AddObserver(&notices);
    r.Start(BuildSmf(1, tracks));
    r.Port().SetByteBudget(3125, 48);
    const int resets = r.Port().ResetCount();
    r.RunMs(2500);
    ASSERT_EQ(r.Port().ResetCount(), resets);
    int ons = 0, offs = 0;
    bool lastSent = false;        // the newest note-on outlives the older ones
    std::map<int, int> sounding;  // (channel, key): note-ons sent without their note-off yet
    for (const auto& m : r.Port().Messages()) {
        if (m.isReset || m.bytes.size() != 3) continue;
        const int note = (m.bytes[0] & 0x0F) << 8 | m.bytes[1];
        if ((m.bytes[0] & 0xF0) == 0x90) {
            ++ons;
            ++sounding[note];
            lastSent |= note == (15 << 8 | 54);
        } else if ((m.bytes[0] & 0xF0) == 0x80) {
            ++offs;
            if (sounding[note] > 0) --sounding[note];
        }
    }
    EXPECT_EQ(offs, 400) << "no note-off is dropped";
    EXPECT_LT(ons, 400) << "the port could not take them all";
    EXPECT_GT(ons, 0);
    EXPECT_EQ(ons + r.Out().DroppedNoteOns(), 400);
    EXPECT_TRUE(lastSent);
    EXPECT_TRUE(r.Port().NotesOn().empty()) << "every note-on sent got its note-off";
    for (const auto& [note, n] : sounding) EXPECT_EQ(n, 0) << note;
    ASSERT_EQ(notices.texts.size(), 1u);
    EXPECT_EQ(notices.texts[0], sequencer::msg::kNotesDropped);
}

}  // namespace
}  // namespace sonfara
