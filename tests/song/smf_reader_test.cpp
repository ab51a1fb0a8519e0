// The reader's rules and every way a file can be refused.
#include "player/song/smf_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/support_code/smf_bytes.h"

namespace sonfara {
namespace {

using test::AppendChunk;
using test::Bytes;
using test::Header;
using test::Smf;
using test::Track;

song::LoadStatus LoadBytes(song::SongTable& s, const Bytes& f, song::LoadOptions o = {}) {
    if (o.songFileName.empty()) o.songFileName = "song.mid";
    return song::LoadSMFBytes(f, s, o);
}

std::string MessageOf(const Bytes& f) {
    song::SongTable s;
    song::LoadStatus r = LoadBytes(s, f);
    EXPECT_FALSE(r.ok());
    return r.Message();
}

Bytes WithBody(const Bytes& body, int format = 1, int ntracks = 1, int division = 480) {
    Bytes f = Header(format, ntracks, division);
    AppendChunk(f, "MTrk", body);
    return f;
}

TEST(SmfReader, ChannelEventsRunningStatusAndLengths) {
    song::SongTable s;
    Track t;
    t.Msg(0, {0x90, 60, 100})
        .Raw({0, 64, 90})  // running status
        .Msg(10, {0xC3, 5})
        .Raw({1, 6})  // one data byte, running
        .Msg(0, {0xE0, 0, 64})
        .End();
    ASSERT_TRUE(LoadBytes(s, Smf(1, 480, {t})).ok());
    ASSERT_EQ(s.EventCount(1), 6);
    EXPECT_EQ(s.Event(1, 2).status, 0x90);
    EXPECT_EQ(s.Event(1, 2).data1, 64);
    EXPECT_EQ(s.Event(1, 2).Length(), 2);
    EXPECT_EQ(s.Event(1, 4).status, 0xC3);
    EXPECT_EQ(s.Event(1, 4).data1, 6);
    EXPECT_EQ(s.Event(1, 4).Length(), 1);
    EXPECT_EQ(s.Event(1, 4).tick, 11);
}

// Tracks of several MiB have their event array made present ahead of the
// decoder by a helper thread; every event still arrives intact.
TEST(SmfReader, LargeTrackLoadsWhole) {
    Track t;
    t.Msg(0, {0x90, 60, 100});
    constexpr int kEvents = 2'000'000;  // 6 MB of running-status notes
    for (int i = 1; i < kEvents; ++i)
        t.Raw({1, static_cast<uint8_t>(i % 128), static_cast<uint8_t>(i % 100 + 1)});
    t.End();
    song::SongTable s;
    ASSERT_TRUE(LoadBytes(s, Smf(1, 480, {t})).ok());
    ASSERT_EQ(s.EventCount(1), kEvents + 1);
    int wrong = 0;
    for (int e = 2; e <= kEvents; ++e) {  // the first is the note with its status
        const song::EventView ev = s.Event(1, e);
        wrong += ev.tick != e - 1 || ev.data1 != (e - 1) % 128 || ev.status != 0x90;
    }
    EXPECT_EQ(wrong, 0);
}

// The loader reports on the calling thread until the end, and stops when
// told to; the table is then empty.
TEST(SmfReader, ProgressReachesTheEndOrCancels) {
    Track t;
    t.Msg(0, {0x90, 60, 100});
    for (int i = 1; i < 1'000'000; ++i) t.Raw({1, 60, static_cast<uint8_t>(i % 100 + 1)});
    const Bytes song = Smf(1, 480, {t.End(), Track().Msg(0, {0x91, 1, 1}).End()});
    const auto caller = std::this_thread::get_id();
    std::vector<double> seen;
    bool elsewhere = false;
    song::LoadOptions o;
    o.progress = [&](double f) {
        seen.push_back(f);
        elsewhere |= std::this_thread::get_id() != caller;
        return true;
    };
    song::SongTable s;
    ASSERT_TRUE(LoadBytes(s, song, o).ok());
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 1.0);
    EXPECT_FALSE(elsewhere);

    o.progress = [](double) { return false; };
    EXPECT_EQ(LoadBytes(s, song, o).Message(), "ErrorNo 12");
    EXPECT_FALSE(s.Loaded);
}

// Everything a load yields that a reader can see, as text.
std::string Everything(const song::SongTable& s, const song::LoadStatus& r) {
    if (!r.ok()) return r.Message();
    std::ostringstream o;
    o << s.TotalMs << ' ' << s.SongTitle << ' ' << int{s.BeatNumerator} << ' ' << s.TempoCount()
      << ' ' << s.Loop.startMs << ' ' << s.Loop.endMs << '\n';
    for (int t = 1; t <= s.NTracks; ++t) {
        o << "track " << s.TrackName(t) << '\n';
        for (const song::EventView ev : s.TrackEvents(t)) {
            o << ev.tick << ' ' << ev.TimeMs() << ' ' << int{ev.status} << ' ' << int{ev.data1}
              << ' ' << int{ev.data2} << ' ' << ev.Length() << ' ' << ev.ExtIndex() << ':';
            if (ev.IsExtended())
                for (uint8_t b : s.ExtRow(ev.ExtIndex())) o << ' ' << int{b};
            o << '\n';
        }
    }
    for (int k = 1; k <= s.ListsInUse(); ++k) {
        o << "list " << k << ':';
        for (int i = 1; i <= s.ListCount(k); ++i) o << ' ' << s.ListAt(k, i).event;
        o << '\n';
    }
    return o.str();
}

// A long track is decoded in two parts at once, the second from a guessed
// event boundary in the middle, taken over where the first meets it (here
// at every few bytes, so the parts may meet at any kind of event; on one
// or two threads): every load, and every error, comes out as the whole
// track read in one go gives it.
TEST(SmfReader, ALongTrackInTwoPartsLoadsAsWhole) {
    auto bars = [](Track& t, int from, int to) -> Track& {
        for (int i = from; i < to; ++i) {
            const auto v = static_cast<uint8_t>(i);
            t.Msg(i % 3, {static_cast<uint8_t>(0x90 | (i % 16)), 60, 100})
                .Raw({5, 62, 90})          // running status
                .Raw({0x81, 0x40, 64, 0})  // a two-byte delta, still running
                .Msg(0, {0xC2, v})
                .Raw({1, 7})  // running, one data byte
                .Msg(0, {0xB1, 111, v})
                .Msg(0, {0xE5, 0, v})
                .Raw({0, 0xF0, 3, 0x43, v, 0x10})  // a SysEx in packets: F0, then F7 ...
                .Raw({2, 0xF7, 2, 0x4C, v})
                .Raw({1, 0xF7, 2, 0x00, 0xF7})  // ... the last one ends it
                .Tempo(3, 400000 + i * 1000);
            if (i % 9 == 4) t.Meta(0, 0x06, i < 20 ? "loopStart" : "loopEnd");
        }
        return t;
    };
    auto start = [](size_t pad = 0) {
        Track t;
        t.Meta(0, 0x03, "lead").Meta(0, 0x01, "title" + std::string(pad, '.'));
        return t.Raw({0, 0xFF, 0x58, 4, 3, 2, 24, 8});
    };
    Track body = start();
    bars(body, 0, 40);
    Bytes cut = body.Data();
    cut.pop_back();                // the last event runs past the chunk
    body.End().Raw({0x12, 0x34});  // bytes after the end are not read
    Track afterSysEx = start();    // in the first part: a data byte where a status must be
    bars(afterSysEx, 0, 8).SysEx(0, {1, 0xF7}).Raw({0, 0x3C, 0x40});
    bars(afterSysEx, 8, 40).End();
    Track badStatus = start();  // in the second part
    bars(badStatus, 0, 30).Msg(0, {0xF4, 0, 0});
    bars(badStatus, 30, 40).End();
    Track conductor;
    conductor.Meta(0, 0x03, "conductor").Tempo(0, 600000).End();

    std::vector<Bytes> songs = {Smf(0, 96, {body}), Smf(1, 96, {conductor, body}), WithBody(cut, 0),
                                Smf(0, 96, {afterSysEx}), Smf(0, 96, {badStatus})};
    // The second part starts at a guessed event: inside a text whose bytes
    // look like events, and at every byte of a bar.
    std::string text;
    for (int i = 0; i < 300; ++i) text += "\x20\x83\x20\xF0";
    Track inText = start();
    bars(inText, 0, 20).Meta(0, 0x01, text);
    songs.push_back(Smf(0, 96, {bars(inText, 20, 40).End()}));
    // Also where it takes SysEx bytes for a program change that ends where
    // the SysEx does: both parts stand on that byte, but only one of them
    // may read the next event with running status.
    for (size_t pad = 0; pad < 48; ++pad) {
        Track t = start(pad);
        songs.push_back(Smf(0, 96, {bars(t, 0, 40).End()}));
        Track u = start();
        bars(u, 0, 20).Raw({0, 0xF0, 3, 0x11, 0xC3, 0x3C, 0, 0x3D});
        songs.push_back(Smf(0, 96, {bars(u, 20, 40).Meta(0, 0x01, std::string(pad, '.')).End()}));
    }
    for (size_t n = 0; n < songs.size(); ++n) {
        song::SongTable whole;
        const std::string expected = Everything(whole, LoadBytes(whole, songs[n]));
        for (size_t step : {1, 2, 5, 13, 200}) {
            for (int threads : {1, 2}) {
                song::LoadOptions o;
                o.threads = threads;
                o.splitStepBytes = step;
                song::SongTable s;
                const song::LoadStatus r = LoadBytes(s, songs[n], o);
                EXPECT_EQ(Everything(s, r), expected) << "song " << n << ", meeting points " << step
                                                      << " bytes apart, " << threads << " threads";
            }
        }
    }
    EXPECT_EQ(MessageOf(songs[2]), "ErrorNo 5");
    // Row 37: 3 opening metas, 8 bars of 4 rows, a marker, then this SysEx.
    EXPECT_EQ(MessageOf(songs[3]), "Event Error:F0 0 25 3C");
    EXPECT_EQ(MessageOf(songs[4]), "SYSEX Error");

    song::LoadOptions o;
    o.threads = 2;
    o.splitStepBytes = 3;
    o.progress = [](double) { return false; };
    song::SongTable s;
    EXPECT_EQ(LoadBytes(s, songs[0], o).Message(), "ErrorNo 12");
}

// A track of tempo changes by the hundred thousand, with texts and SysEx
// among them: its rows and tempo map fill arrays reserved once the track
// proves dense, and come out the same read whole or in two parts (met
// early or late), with every text found and the map timed exactly.
TEST(SmfReader, ATrackDenseWithTempoChangesLoadsWholeOrInParts) {
    constexpr int kChanges = 640'000;  // 4.5 MB: large enough to be prefaulted
    Track t;
    t.Meta(0, 0x03, "tempi");
    for (int i = 0; i < kChanges; ++i) {
        t.Tempo(1, 400000 + static_cast<uint32_t>(i) * 7919u % 200000u);
        if (i % 50000 == 7) t.Meta(0, 0x05, "la" + std::to_string(i));
        if (i % 70000 == 3) t.SysEx(0, {0x7E, 0x7F, 0x09, 0x01, 0xF7});
    }
    const Bytes song = Smf(0, 480, {t.End()});
    auto digest = [&](const song::LoadOptions& o) {
        song::SongTable s;
        const song::LoadStatus r = LoadBytes(s, song, o);
        std::ostringstream d;
        d << Everything(s, r);
        for (int i = 1; i <= s.TempoCount(); ++i) {
            const song::TempoEntry& e = s.Tempo(i);
            d << e.tick << ' ' << e.tempo << ' ' << e.timeMs << '\n';
        }
        for (std::string_view text : s.MetaTexts(SIZE_MAX)) d << text << '\n';
        return d.str();
    };
    song::LoadOptions whole;
    whole.threads = 1;
    const std::string expected = digest(whole);

    song::SongTable s;
    ASSERT_TRUE(LoadBytes(s, song, whole).ok());
    ASSERT_EQ(s.TempoCount(), kChanges + 1);
    EXPECT_EQ(s.ExtCount(), 1 + kChanges + 13 + 10 + 1);
    EXPECT_EQ(s.MetaTexts(SIZE_MAX).size(), 14u);  // the name and 13 lyrics
    EXPECT_EQ(s.MetaTexts(SIZE_MAX)[13], "la600007");
    // Every segment in order, each timed from the one before.
    int32_t wrong = 0;
    for (int i = 2; i <= s.TempoCount(); ++i) {
        const song::TempoEntry& a = s.Tempo(i - 1);
        const song::TempoEntry& b = s.Tempo(i);
        const double ms = (b.tick - a.tick) / 480.0 * a.tempo / 1000.0 + a.timeMs;
        wrong += b.tick != i - 1 || b.timeMs != static_cast<int32_t>(std::nearbyint(ms));
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(s.TotalMs, s.Tempo(s.TempoCount()).timeMs);

    for (size_t step : {size_t{0}, size_t{5000}}) {
        song::LoadOptions parts;
        parts.threads = 2;
        parts.splitStepBytes = step;
        EXPECT_TRUE(digest(parts) == expected) << "meeting points " << step << " bytes apart";
    }
}

TEST(SmfReader, LongSysExIsStoredWhole) {
    for (size_t n : {200u, 16384u, 40000u}) {
        Bytes body(n, 0x11);
        body.back() = 0xF7;
        song::SongTable s;
        ASSERT_TRUE(LoadBytes(s, Smf(1, 480, {Track().SysEx(0, body).End()})).ok()) << n;
        const song::EventView e = s.Event(1, 1);
        EXPECT_EQ(e.Length(), static_cast<int32_t>(n));  // beyond 16 bits kept, not wrapped
        auto row = s.ExtRow(e.ExtIndex());
        ASSERT_EQ(row.size(), n);
        EXPECT_EQ(row.back(), 0xF7);
    }
}

TEST(SmfReader, BytesAfterEndOfTrackAreIgnored) {
    song::SongTable s;
    Track t;
    t.Msg(0, {0x90, 60, 1}).End().Raw({0x00, 0x37, 0xFF, 0xFF});  // garbage after the end
    ASSERT_TRUE(LoadBytes(s, Smf(1, 480, {t})).ok());
    EXPECT_EQ(s.EventCount(1), 2);
}

TEST(SmfReader, FormatZeroListsByChannelWithMetaInListOne) {
    song::SongTable s;
    Track t;
    t.Meta(0, 0x03, "solo")
        .Msg(0, {0x90, 60, 1})
        .Msg(0, {0x91, 60, 1})
        .Msg(0, {0x99, 36, 1})
        .Msg(0, {0x80, 60, 0})
        .SysEx(0, Bytes{0x7E, 0x7F, 0x09, 0x01, 0xF7})
        .End();
    ASSERT_TRUE(LoadBytes(s, Smf(0, 480, {t})).ok());
    EXPECT_EQ(s.ListsInUse(), 16);
    EXPECT_EQ(s.ListCount(1), 5);  // name, ch1 on, ch1 off, SysEx, end
    EXPECT_EQ(s.ListCount(2), 1);
    EXPECT_EQ(s.ListCount(10), 1);
    EXPECT_EQ(s.ListCount(3), 0);
    EXPECT_EQ(s.ListAt(1, 1).event, 1);
    EXPECT_EQ(s.ListAt(1, 2).event, 2);
    EXPECT_EQ(s.ListAt(1, 3).event, 5);
    EXPECT_EQ(s.ListAt(10, 1).event, 4);
    EXPECT_EQ(s.ListEvent(2, 1).status, 0x91);

    song::SongTable f1;
    ASSERT_TRUE(
        LoadBytes(f1, Smf(1, 480, {Track().End(), Track().Msg(0, {0x95, 1, 1}).End()})).ok());
    EXPECT_EQ(f1.ListCount(2), 2);  // lists mirror tracks
    EXPECT_EQ(f1.ListEvent(2, 1).status, 0x95);
}

TEST(SmfReader, TitleIsTheFirstFillInParseOrder) {
    song::SongTable s;
    ASSERT_TRUE(
        LoadBytes(s, Smf(1, 480,
                         {Track().End(),
                          Track().Meta(0, 0x03, "Piano").Meta(0, 0x01, "Real title").End()}))
            .ok());
    EXPECT_EQ(s.SongTitle, "Real title");
    EXPECT_EQ(s.TrackName(2), "Piano");

    song::SongTable named;
    ASSERT_TRUE(
        LoadBytes(named, Smf(1, 480, {Track().Meta(0, 0x03, "").Meta(0, 0x03, "Conductor").End()}))
            .ok());
    EXPECT_EQ(named.SongTitle, "Conductor");  // empty names do not count

    song::SongTable none;
    song::LoadOptions o;
    o.songFileName = "ソング.mid";
    ASSERT_TRUE(LoadBytes(none, Smf(1, 480, {Track().End()}), o).ok());
    EXPECT_EQ(none.SongTitle, "\x83\x5C\x83\x93\x83\x4F.mid");  // code-page bytes
}

TEST(SmfReader, TimeSignatureAndLabels) {
    song::SongTable s;
    song::LoadOptions o;
    ASSERT_TRUE(
        LoadBytes(s, Smf(1, 480, {Track().Meta(0, 0x58, Bytes{6, 3, 24, 8}).End()}), o).ok());
    EXPECT_EQ(s.BeatNumerator, 6);
    EXPECT_EQ(s.BeatDenominator, 8);
    EXPECT_EQ(s.BeatQuarters, 3);
    EXPECT_EQ(s.FileKindLabel, "SMF Format 1");

    o.fileKindLabel = "RMI Format ";
    ASSERT_TRUE(LoadBytes(s, Smf(0, 480, {Track().End()}), o).ok());
    EXPECT_EQ(s.FileKindLabel, "RMI Format 0");
    o.fileKindLabel = "RCP";  // a converter's label stays as it is
    ASSERT_TRUE(LoadBytes(s, Smf(2, 480, {Track().End()}), o).ok());
    EXPECT_EQ(s.FileKindLabel, "RCP");
}

TEST(SmfReader, SysExThatLooksLikeMetaIsOnlyStored) {
    song::SongTable s;
    Track t;
    t.SysEx(0, Bytes{0x58, 0x06, 0x03, 0xF7})
        .SysEx(0, Bytes{0x2F, 0x00, 0xF7})
        .Msg(0, {0x90, 1, 1})
        .End();
    ASSERT_TRUE(LoadBytes(s, Smf(1, 480, {t})).ok());
    EXPECT_EQ(s.EventCount(1), 4);
    EXPECT_EQ(s.BeatNumerator, 4);
}

TEST(SmfReader, AlienChunksArePassedOver) {
    Bytes f = Header(1, 2, 480);
    AppendChunk(f, "MTrk", Track().Meta(0, 0x03, "one").End().Data());
    AppendChunk(f, "XFIH", Bytes{1, 2, 3, 0x90});
    AppendChunk(f, "MTrk", Track().Msg(0, {0x90, 1, 1}).End().Data());
    song::SongTable s;
    ASSERT_TRUE(LoadBytes(s, f).ok());
    EXPECT_EQ(s.NTracks, 2);
    EXPECT_EQ(s.Event(2, 1).status, 0x90);
}

TEST(SmfReader, NamedFailures) {
    EXPECT_EQ(MessageOf(Bytes{}), "Header Error");
    EXPECT_EQ(MessageOf(Bytes{'R', 'I', 'F', 'F', 0, 0, 0, 0}), "Header Error");
    for (uint8_t st : {0xF1, 0xF2, 0xF4, 0xF6, 0xF8, 0xFE}) {
        EXPECT_EQ(MessageOf(Smf(1, 480, {Track().Msg(0, {st, 0, 0}).End()})), "SYSEX Error");
    }
    // A data byte where a status is required: previous event's bytes and the byte.
    EXPECT_EQ(MessageOf(WithBody(
                  Track().Msg(0, {0x90, 0x3C, 0x40}).Meta(0, 0x01, "ab").Raw({0, 0x3C, 1}).Data())),
              "Event Error:FF 0 1 3C");
    EXPECT_EQ(MessageOf(WithBody(Track().Raw({0, 0x3C, 0x40}).Data())), "Event Error:0 0 0 3C");
    Track afterSysEx;
    afterSysEx.Msg(0, {0x90, 0x3C, 0x40}).SysEx(0, Bytes{1, 0xF7}).Raw({0, 0x3C, 0x40});
    EXPECT_EQ(MessageOf(WithBody(afterSysEx.Data())), "Event Error:F0 0 1 3C");
}

TEST(SmfReader, MalformedFilesAreRefusedWithErrorNumbers) {
    auto code = [](const Bytes& f) { return MessageOf(f); };
    Bytes shortHeader = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0};
    EXPECT_EQ(code(shortHeader), "ErrorNo 10");
    // Chunk length past the end of the file.
    Bytes past = Header(1, 1, 480);
    AppendChunk(past, "MTrk", Track().End().Data());
    past[21] += 10;
    EXPECT_EQ(code(past), "ErrorNo 3");
    // Chunk length beyond 31 bits.
    Bytes huge = past;
    huge[18] = 0x80;
    EXPECT_EQ(code(huge), "ErrorNo 3");
    // Fewer chunks than the header says.
    Bytes missing = Header(1, 3, 480);
    AppendChunk(missing, "MTrk", Track().End().Data());
    EXPECT_EQ(code(missing), "ErrorNo 8");
    EXPECT_EQ(code(Header(1, 65, 480)), "ErrorNo 8");  // 65 tracks are fine, but none follow
    EXPECT_EQ(code(Header(1, 0, 480)), "ErrorNo 6");
    EXPECT_EQ(code(Smf(1, 0, {Track().End()})), "ErrorNo 9");
    // Delta time beyond 31 bits, and a tick sum overflowing.
    EXPECT_EQ(code(WithBody(Track().Raw({0xFF, 0xFF, 0xFF, 0xFF, 0x7F, 0x90, 1, 1}).Data())),
              "ErrorNo 4");
    EXPECT_EQ(code(WithBody(Track()
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({0x90, 1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Raw(test::Vlq(0x0FFFFFFF))
                                .Raw({1, 1})
                                .Data())),
              "ErrorNo 4");
    // Event data past the chunk end, a dangling delta, a payload past the end.
    EXPECT_EQ(code(WithBody(Bytes{0x00, 0x90, 0x3C})), "ErrorNo 5");
    EXPECT_EQ(code(WithBody(Bytes{0x00, 0x90, 0x3C, 0x40, 0x00})), "ErrorNo 5");
    EXPECT_EQ(code(WithBody(Bytes{0x00, 0x90, 0x3C, 0x40, 0x81})), "ErrorNo 5");
    EXPECT_EQ(code(WithBody(Bytes{0x00, 0xFF, 0x01, 0x05, 'a'})), "ErrorNo 5");
    EXPECT_EQ(code(WithBody(Bytes{0x00, 0xF0, 0x85})), "ErrorNo 5");
    EXPECT_EQ(code(WithBody(Bytes{0x00, 0xFF})), "ErrorNo 5");
}

TEST(SmfReader, MoreThan32767ExtendedEventsKeepTheirRows) {
    Track many;
    for (int i = 0; i < 32767; ++i) many.Meta(0, 0x01, "");
    song::SongTable s;
    ASSERT_TRUE(LoadBytes(s, Smf(1, 480, {many.End()})).ok());  // once refused with "ErrorNo 7"
    EXPECT_EQ(s.Event(1, 32767).ExtIndex(), 32767);
    EXPECT_EQ(s.Event(1, 32768).ExtIndex(), 32768);
    EXPECT_EQ(s.ExtendedData(32768, 1), 0x2F);
}

struct Recorder : song::LoadObserver {
    std::vector<std::string> calls;
    void OnLoadStarted() override { calls.push_back("started"); }
    void OnLoadFailed(const std::string& cap, const std::string&) override { calls.push_back(cap); }
    void OnLoadCompleted(const song::SongTable& s) override {
        calls.push_back("completed " + s.SongTitle);
    }
    void OnLoadNotice(const std::string& n) override {
        calls.push_back(platform::SystemCodePage().ToUtf8(n));
    }
};

TEST(SmfReader, ObserversSeeTheLoadInOrder) {
    Recorder rec;
    song::LoadOptions o;
    o.observers = {&rec};
    o.songFileName = "x.mid";
    song::SongTable s;
    ASSERT_TRUE(song::LoadSMFBytes(Smf(1, 480, {Track().Meta(0, 0x03, "Tune").End()}), s, o).ok());
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0], "started");
    EXPECT_EQ(rec.calls[1], "completed Tune");
    EXPECT_EQ(rec.calls[2], "あっ、\\nTune\\nって曲が再生されるみたい。\\uそうか。");

    rec.calls.clear();
    EXPECT_FALSE(song::LoadSMF("/nonexistent/dir/song.mid", s, o).ok());
    ASSERT_EQ(rec.calls.size(), 2u);
    EXPECT_EQ(rec.calls[1], "読み込みエラー（ErrorNo 1）");
    EXPECT_FALSE(s.Loaded);
}

TEST(SmfReader, LoadsFromDiskWithNonAsciiPath) {
    auto dir = std::filesystem::temp_directory_path() / "sonfara-reader-test";
    std::filesystem::create_directories(dir);
    auto path = dir / "曲 ♪.mid";
    Bytes f = Smf(1, 480, {Track().Msg(0, {0x90, 60, 1}).End(96)});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
    song::SongTable s;
    song::LoadOptions o;
    o.songFileName = path.filename().string();
    song::LoadStatus r = song::LoadSMF(path.string(), s, o);
    EXPECT_TRUE(r.ok()) << r.Message();
    EXPECT_EQ(s.EventCount(1), 2);
    std::filesystem::remove_all(dir);
}

// A file above the limit, or one that is no song, is refused by its size
// and first bytes before it is read (sparse files: nothing goes to disk).
TEST(SmfReader, LargeFilesAreRefusedUnread) {
    auto dir = std::filesystem::temp_directory_path() / "sonfara-reader-large";
    std::filesystem::create_directories(dir);
    const auto path = dir / "large.mid";
    Bytes f = Smf(1, 480, {Track().Msg(0, {0x90, 60, 1}).End(96)});
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(f.data()), f.size());
    std::filesystem::resize_file(path, song::kMaxSmfFileBytes + 1);
    song::SongTable s;
    song::LoadStatus r = song::LoadSMF(path.string(), s, song::LoadOptions{});
    EXPECT_EQ(r.Message(), "ErrorNo 11");
    EXPECT_EQ(r.code(), song::LoadError::kFileTooLarge);
    EXPECT_FALSE(s.Loaded);
    EXPECT_EQ(std::filesystem::file_size(path), song::kMaxSmfFileBytes + 1);

    std::ofstream(path, std::ios::binary | std::ios::in).write("RIFF", 4);
    std::filesystem::resize_file(path, song::kMaxSmfFileBytes);
    EXPECT_EQ(song::LoadSMF(path.string(), s, song::LoadOptions{}).Message(), "Header Error");
    std::filesystem::remove_all(dir);
}

TEST(SmfReader, RmiImageStartsAtFirstHeader) {
    Bytes smf = Smf(0, 480, {Track().End()});
    Bytes rmi = {'R', 'I', 'F', 'F', 0,   0,   0, 0, 'R', 'M',
                 'I', 'D', 'd', 'a', 't', 'a', 0, 0, 0,   0};
    rmi.insert(rmi.end(), smf.begin(), smf.end());
    EXPECT_EQ(song::FindSmfStart(rmi), 20u);
    EXPECT_EQ(song::FindSmfStart(Bytes{'M', 'T', 'h'}), static_cast<size_t>(-1));
}

// Real files written by others: each loads or is refused with a message.
TEST(SmfReader, CorpusFilesLoadOrFailCleanly) {
    std::filesystem::path dir = SONFARA_CORPUS_DIR "/smf";
    if (!std::filesystem::exists(dir)) GTEST_SKIP() << "no corpus at " << dir;
    int loaded = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".mid") continue;
        song::SongTable s;
        song::LoadOptions o;
        o.songFileName = entry.path().filename().string();
        song::LoadStatus r = song::LoadSMF(entry.path().string(), s, o);
        const std::string name = entry.path().filename().string();
        if (r.ok()) {
            ++loaded;
            EXPECT_GE(s.NTracks, 1) << name;
            EXPECT_GE(s.TotalMs, 0) << name;
            for (int t = 1; t <= s.NTracks; ++t)
                for (const auto& ev : s.TrackEvents(t))
                    ASSERT_LE(ev.TimeMs(), s.TotalMs) << name << " track " << t;
        } else {
            EXPECT_FALSE(r.Message().empty()) << name;
        }
        if (name == "test-empty-file.mid" || name == "test-not-a-midi-file.mid") {
            EXPECT_EQ(r.Message(), "Header Error") << name;
        }
        if (name.rfind("test-illegal-message-f", 0) == 0) {
            EXPECT_EQ(r.Message(), "SYSEX Error") << name;
        }
        if (name == "test-running-status-metaevent.mid") {
            EXPECT_EQ(r.Message().rfind("Event Error:FF", 0), 0u) << r.Message();
        }
        if (name == "test-non-midi-track.mid" || name.rfind("test-2-tracks-type", 0) == 0) {
            EXPECT_TRUE(r.ok()) << name << ": " << r.Message();
        }
    }
    EXPECT_GT(loaded, 40);
}

}  // namespace
}  // namespace sonfara
