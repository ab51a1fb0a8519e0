// Writes the karaoke demo "Lantern Song", an original eight-bar tune composed
// here, as a .kar file: an info track with the "@KMIDI" header lines, a words
// track with one text event per sung syllable ("\" opens a page, "/" a line),
// a melody and a piano part. The lyrics window and `sonfara-cli lyrics` are
// shown and tested with it.
//
// Usage: sonfara-make-karaoke OUTDIR   (writes OUTDIR/sonfara-karaoke.kar)
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "player/platform/midi.h"

namespace {

using namespace sonfara;

using Bytes = std::vector<uint8_t>;

constexpr int kDivision = 480;
constexpr int kBar = 4 * kDivision;
constexpr int kTempo = 600000;  // 100 beats per minute
constexpr int kCountIn = kBar;
using midi::kMetaText;
using midi::kMetaTrackName;
constexpr uint8_t kFlute = 73;
constexpr uint8_t kGrandPiano = 0;
constexpr int kMelodyChannel = 0;
constexpr int kPianoChannel = 1;

// Per line: two bars of melody as "<note><octave>/<quarters>", the syllables
// in the same order (a leading "\" or "/" is the karaoke mark), and a chord
// per bar as three keys.
struct Line {
    const char* melody;
    const char* syllables;
    int chords[2][3];
};

constexpr Line kSong[] = {
    {"e4/1 e4/1 g4/1 a4/1 g4/1 e4/1 c4/2",
     "\\Light |a |lan|tern |in |the |rain,",
     {{60, 64, 67}, {57, 60, 64}}},
    {"d4/1 e4/1 f4/1 d4/1 e4/1 d4/1 c4/2",
     "/car|ry |it |a|long |the |lane.",
     {{62, 65, 69}, {60, 64, 67}}},
    {"g4/1 g4/1 a4/1 g4/1 e4/1 g4/1 a4/2",
     "\\Ev|ery |win|dow, |ev|ery |door,",
     {{60, 64, 67}, {57, 60, 64}}},
    {"g4/1 f4/1 e4/1 d4/1 e4/1 d4/1 c4/2",
     "/sings |the |song |we |sang |be|fore.",
     {{55, 59, 65}, {60, 64, 67}}},
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "sonfara-make-karaoke: %s\n", what.c_str());
    std::exit(1);
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    for (size_t p; (p = s.find(sep)) != std::string_view::npos; s.remove_prefix(p + 1))
        if (p > 0) parts.push_back(s.substr(0, p));
    if (!s.empty()) parts.push_back(s);
    return parts;
}

// "c4/2": middle C (key 60) for two quarters.
struct Note {
    int key;
    int ticks;
};
Note ParseNote(std::string_view token) {
    static constexpr int kPitch[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
    if (token.size() != 4 || token[0] < 'a' || token[0] > 'g' || token[2] != '/')
        Fail("bad note " + std::string(token));
    return {12 * (token[1] - '0' + 1) + kPitch[token[0] - 'a'], (token[3] - '0') * kDivision};
}

class Track {
  public:
    void Text(int tick, uint8_t type, std::string_view text) {
        Bytes b{midi::kMetaEvent, type};
        Vlq(b, static_cast<uint32_t>(text.size()));
        b.insert(b.end(), text.begin(), text.end());
        events_.push_back({tick, 1, std::move(b)});
    }
    void Tempo(int tick, int usPerQuarter) {
        events_.push_back(
            {tick,
             1,
             {midi::kMetaEvent, 0x51, 3, static_cast<uint8_t>(usPerQuarter >> 16),
              static_cast<uint8_t>(usPerQuarter >> 8), static_cast<uint8_t>(usPerQuarter)}});
    }
    void Msg(int tick, Bytes bytes) { events_.push_back({tick, 1, std::move(bytes)}); }
    // Note-offs go before other events at their tick, note-ons after them.
    void Note(int ch, int tick, int length, int key, int velocity) {
        events_.push_back({tick,
                           2,
                           {static_cast<uint8_t>(midi::kNoteOn | ch), static_cast<uint8_t>(key),
                            static_cast<uint8_t>(velocity)}});
        events_.push_back(
            {tick + length,
             0,
             {static_cast<uint8_t>(midi::kNoteOff | ch), static_cast<uint8_t>(key), 64}});
    }
    Bytes Encode(int endTick) {
        std::stable_sort(events_.begin(), events_.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        Bytes out;
        int last = 0;
        for (const Event& e : events_) {
            Vlq(out, static_cast<uint32_t>(e.tick - last));
            out.insert(out.end(), e.bytes.begin(), e.bytes.end());
            last = e.tick;
        }
        Vlq(out, static_cast<uint32_t>(std::max(endTick, last) - last));
        out.insert(out.end(), {midi::kMetaEvent, 0x2F, 0x00});
        return out;
    }

  private:
    struct Event {
        int tick;
        int order;
        Bytes bytes;
    };
    static void Vlq(Bytes& out, uint32_t v) {
        uint8_t buf[5];
        int n = 0;
        buf[n++] = v & 0x7F;
        while (v >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
        while (n) out.push_back(buf[--n]);
    }
    std::vector<Event> events_;
};

// The info, words, melody and piano tracks; returns the song's end tick.
int Compose(Track& info, Track& words, Track& melody, Track& piano) {
    info.Text(0, kMetaTrackName, "Lantern Song");  // the title the player shows
    info.Text(0, kMetaText, "@KMIDI KARAOKE FILE");
    info.Text(0, kMetaText, "@V0100");
    info.Text(0, kMetaText, "@ISonfara karaoke demo, an original tune");
    info.Tempo(0, kTempo);
    info.Msg(0, {midi::kMetaEvent, 0x58, 4, 4, 2, 24, 8});  // 4/4
    words.Text(0, kMetaTrackName, "Words");
    for (const char* header : {"@LENGL", "@TLantern Song", "@TSonfara"})
        words.Text(0, kMetaText, header);
    melody.Text(0, kMetaTrackName, "Melody");
    melody.Msg(0, {midi::kProgramChange | kMelodyChannel, kFlute});
    piano.Text(0, kMetaTrackName, "Piano");
    piano.Msg(0, {midi::kProgramChange | kPianoChannel, kGrandPiano});
    piano.Msg(0, {midi::kControlChange | kPianoChannel, midi::cc::kVolume, 80});
    int tick = kCountIn;
    for (const Line& line : kSong) {
        const auto notes = Split(line.melody, ' ');
        const auto syllables = Split(line.syllables, '|');
        if (notes.size() != syllables.size()) Fail("syllables and notes differ in number");
        for (int bar = 0; bar < 2; ++bar)
            for (int key : line.chords[bar])
                piano.Note(kPianoChannel, tick + bar * kBar, kBar - 60, key, 70);
        for (size_t i = 0; i < notes.size(); ++i) {
            const Note n = ParseNote(notes[i]);
            words.Text(tick, kMetaText, syllables[i]);
            melody.Note(kMelodyChannel, tick, n.ticks - 40, n.key, 96);
            tick += n.ticks;
        }
    }
    return tick + kBar;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sonfara-make-karaoke OUTDIR\n");
        return 2;
    }
    Track tracks[4];
    const int end = Compose(tracks[0], tracks[1], tracks[2], tracks[3]);
    Bytes file{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, 4, kDivision >> 8, kDivision & 0xFF};
    for (Track& t : tracks) {
        const Bytes data = t.Encode(end);
        const auto n = static_cast<uint32_t>(data.size());
        file.insert(file.end(), {'M', 'T', 'r', 'k', static_cast<uint8_t>(n >> 24),
                                 static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                                 static_cast<uint8_t>(n)});
        file.insert(file.end(), data.begin(), data.end());
    }
    const std::string path = std::string(argv[1]) + "/sonfara-karaoke.kar";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) Fail("cannot create " + path);
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) Fail("cannot write " + path);
    return 0;
}
