// Writes the bundled demo song "Sonfara Demo ～ 夜明けの序曲", an original piece
// composed here in code. It exercises what the player shows: CP932 texts,
// lyrics, markers, a tempo map with a ritardando, GS display messages and
// the usual controllers on every part.
//
// Usage: sonfara-make-demo OUTDIR   (writes OUTDIR/sonfara-demo.mid)
#include <iconv.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kDivision = 480;
constexpr int kEighth = kDivision / 2;
constexpr int kSixteenth = kDivision / 4;
constexpr int kBar = 4 * kDivision;
// Parts set up after the GS reset has had time to settle (a quarter at 120 BPM).
constexpr int kSetupTick = 240;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "sonfara-make-demo: %s\n", what.c_str());
    std::exit(1);
}

// Song texts are stored as CP932 bytes, like the songs the player is made for.
std::string ToCp932(std::string_view utf8) {
    iconv_t cd = iconv_open("CP932", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) Fail("iconv has no CP932");
    std::string in(utf8);
    std::string out(in.size() * 2 + 4, '\0');
    char* ip = in.data();
    char* op = out.data();
    size_t il = in.size();
    size_t ol = out.size();
    const bool ok = iconv(cd, &ip, &il, &op, &ol) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok || il != 0) Fail("cannot encode text in CP932: " + in);
    out.resize(out.size() - ol);
    return out;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> parts;
    while (!s.empty()) {
        const size_t p = s.find(sep);
        std::string_view head = s.substr(0, p);
        if (!head.empty()) parts.push_back(head);
        if (p == std::string_view::npos) break;
        s.remove_prefix(p + 1);
    }
    return parts;
}

// Small xorshift generator: fixed seed, so every build writes the same bytes.
class Rng {
  public:
    int Jitter(int range) {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return static_cast<int>(state_ % static_cast<uint32_t>(2 * range + 1)) - range;
    }

  private:
    uint32_t state_ = 0x2545F491u;
};

// ---------------------------------------------------------------------------
// SMF writer

void PutVlq(Bytes& out, uint32_t v) {
    uint8_t buf[5];
    int n = 0;
    buf[n++] = v & 0x7F;
    while (v >>= 7) buf[n++] = static_cast<uint8_t>(0x80 | (v & 0x7F));
    while (n) out.push_back(buf[--n]);
}

void PutBe(Bytes& out, uint32_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// Events at one tick go out in this order, so a note ends before the same key
// starts again and controllers reach a note before it sounds.
enum Order { kBeforeNoteOff = 0, kNoteOff = 1, kNormal = 2, kNoteOn = 3 };

class Track {
  public:
    explicit Track(int channel) : ch_(static_cast<uint8_t>(channel)) {}

    void Meta(int tick, uint8_t type, std::string_view data) {
        Bytes b{0xFF, type};
        PutVlq(b, static_cast<uint32_t>(data.size()));
        b.insert(b.end(), data.begin(), data.end());
        Add(tick, std::move(b));
    }
    void Text(int tick, uint8_t type, std::string_view utf8) { Meta(tick, type, ToCp932(utf8)); }
    // body: the message after F0, ending with F7.
    void SysEx(int tick, const Bytes& body) {
        Bytes b{0xF0};
        PutVlq(b, static_cast<uint32_t>(body.size()));
        b.insert(b.end(), body.begin(), body.end());
        Add(tick, std::move(b));
    }
    void Cc(int tick, int cc, int value, Order order = kNormal) {
        Add(tick, Msg(0xB0, cc, std::clamp(value, 0, 127)), order);
    }
    void Program(int tick, int program) { Add(tick, Msg(0xC0, program)); }
    // value: -8192..8191, 0 is the centre.
    void Bend(int tick, int value) {
        const int v = std::clamp(value + 8192, 0, 16383);
        Add(tick, Msg(0xE0, v & 0x7F, v >> 7));
    }
    void Note(int tick, int length, int key, int velocity) {
        if (length > 0) notes_.push_back({tick, tick + length, key, std::clamp(velocity, 1, 127)});
    }
    // A ramp of one controller in equal steps, ending on `to` at tick + length.
    void Ramp(int tick, int length, int cc, int from, int to, int steps) {
        for (int i = 0; i <= steps; ++i)
            Cc(tick + length * i / steps, cc, from + (to - from) * i / steps);
    }

    // The track chunk's data; End of Track at endTick (or the last event).
    Bytes Encode(int endTick) const {
        std::vector<Event> events = events_;
        std::vector<NoteSpan> notes = notes_;
        std::stable_sort(notes.begin(), notes.end(), [](const NoteSpan& a, const NoteSpan& b) {
            return a.key != b.key ? a.key < b.key : a.tick < b.tick;
        });
        for (size_t i = 0; i < notes.size(); ++i) {
            NoteSpan n = notes[i];
            // A key struck again ends its previous note: no overlaps on one channel.
            if (i + 1 < notes.size() && notes[i + 1].key == n.key)
                n.end = std::min(n.end, notes[i + 1].tick);
            if (n.end <= n.tick) continue;
            events.push_back({n.tick, kNoteOn, Msg(0x90, n.key, n.velocity)});
            events.push_back({n.end, kNoteOff, Msg(0x80, n.key, 64)});
        }
        std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
            return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
        });
        Bytes out;
        int last = 0;
        uint8_t running = 0;
        for (const Event& e : events) {
            PutVlq(out, static_cast<uint32_t>(e.tick - last));
            last = e.tick;
            const uint8_t status = e.bytes[0];
            const bool sameStatus = status < 0xF0 && status == running;
            out.insert(out.end(), e.bytes.begin() + (sameStatus ? 1 : 0), e.bytes.end());
            running = status < 0xF0 ? status : 0;  // meta and SysEx cancel running status
        }
        PutVlq(out, static_cast<uint32_t>(std::max(endTick, last) - last));
        out.insert(out.end(), {0xFF, 0x2F, 0x00});
        return out;
    }

  private:
    struct Event {
        int tick;
        int order;
        Bytes bytes;
    };
    struct NoteSpan {
        int tick, end, key, velocity;
    };
    // A channel message on this track's channel; d2 < 0: one data byte.
    Bytes Msg(int status, int d1, int d2 = -1) const {
        Bytes b{static_cast<uint8_t>(status | ch_), static_cast<uint8_t>(d1)};
        if (d2 >= 0) b.push_back(static_cast<uint8_t>(d2));
        return b;
    }
    void Add(int tick, Bytes bytes, Order order = kNormal) {
        events_.push_back({tick, order, std::move(bytes)});
    }

    uint8_t ch_;
    std::vector<Event> events_;
    std::vector<NoteSpan> notes_;
};

class SmfWriter {
  public:
    Track& AddTrack(int channel) { return tracks_.emplace_back(channel); }

    Bytes Build(int endTick) const {
        Bytes out{'M', 'T', 'h', 'd'};
        PutBe(out, 6, 4);
        PutBe(out, 1, 2);  // format 1
        PutBe(out, static_cast<uint32_t>(tracks_.size()), 2);
        PutBe(out, kDivision, 2);
        for (const Track& t : tracks_) {
            const Bytes data = t.Encode(endTick);
            out.insert(out.end(), {'M', 'T', 'r', 'k'});
            PutBe(out, static_cast<uint32_t>(data.size()), 4);
            out.insert(out.end(), data.begin(), data.end());
        }
        return out;
    }

  private:
    std::deque<Track> tracks_;  // deque: references stay valid while adding
};

// Roland DT1 message to a GS device: address, data and checksum.
Bytes RolandDt1(uint8_t model, std::array<uint8_t, 3> address, const Bytes& data) {
    Bytes b{0x41, 0x10, model, 0x12, address[0], address[1], address[2]};
    b.insert(b.end(), data.begin(), data.end());
    int sum = 0;
    for (size_t i = 4; i < b.size(); ++i) sum += b[i];
    b.push_back(static_cast<uint8_t>((128 - sum % 128) % 128));
    b.push_back(0xF7);
    return b;
}

// ---------------------------------------------------------------------------
// Music

// Pitch class of a note letter with an optional accidental; advances s.
int PitchClass(std::string_view& s) {
    static constexpr std::string_view kLetters = "CDEFGAB";
    static constexpr int kPc[] = {0, 2, 4, 5, 7, 9, 11};
    const size_t i =
        s.empty() ? std::string_view::npos : kLetters.find(static_cast<char>(s[0] & ~0x20));
    if (i == std::string_view::npos) Fail("bad note name: " + std::string(s));
    int pc = kPc[i];
    s.remove_prefix(1);
    if (!s.empty() && (s[0] == '#' || s[0] == 'b')) {
        pc += s[0] == '#' ? 1 : 11;
        s.remove_prefix(1);
    }
    return pc % 12;
}

struct Chord {
    int root = 0;
    int bass = 0;            // pitch class of the lowest note
    std::vector<int> tones;  // intervals above the root
};

// "C", "Am", "Dm7", "Fmaj7", "Gsus4", "Cadd9", "G/B".
Chord ParseChord(std::string_view name) {
    Chord c;
    c.root = PitchClass(name);
    c.bass = c.root;
    if (const size_t slash = name.find('/'); slash != std::string_view::npos) {
        std::string_view bass = name.substr(slash + 1);
        c.bass = PitchClass(bass);
        name = name.substr(0, slash);
    }
    static const std::pair<std::string_view, std::vector<int>> kQualities[] = {
        {"", {0, 4, 7}},         {"m", {0, 3, 7}},    {"m7", {0, 3, 7, 10}},
        {"maj7", {0, 4, 7, 11}}, {"sus4", {0, 5, 7}}, {"add9", {0, 4, 7, 14}}};
    for (const auto& [quality, tones] : kQualities)
        if (quality == name) c.tones = tones;
    if (c.tones.empty()) Fail("unknown chord quality: " + std::string(name));
    return c;
}

// The lowest key at or above `lo` with pitch class pc.
int KeyAbove(int lo, int pc) {
    return lo + ((pc - lo) % 12 + 12) % 12;
}

// Chord tones laid out within one octave from `lo`.
std::vector<int> Voicing(const Chord& c, int lo) {
    std::vector<int> keys;
    for (int iv : c.tones) keys.push_back(KeyAbove(lo, (c.root + iv) % 12));
    std::sort(keys.begin(), keys.end());
    keys.erase(std::unique(keys.begin(), keys.end()), keys.end());
    return keys;
}

// E1..D#2, the range of a bass guitar's lowest strings.
int BassKey(const Chord& c) {
    return KeyAbove(28, c.bass);
}

enum class Style { kCountIn, kIntro, kVerse, kPreChorus, kChorus, kInterlude, kOutro };

struct Section {
    Style style;
    const char* marker;  // UTF-8; nullptr: none
    int bpm;             // 0 keeps the tempo
    const char* chords;  // one token per bar; "X,Y" splits a bar
    const char* melody;  // "<note><octave>/<eighths>" or "r/<eighths>"
    const char* lyrics;  // one syllable per melody note, space separated
};

constexpr int kFastBpm = 132;
constexpr const char* kChorusMelody =
    "c5/1 d5/1 e5/2 f5/3 e5/1  d5/2 g5/4 d5/2  e5/1 f5/1 g5/2 b5/3 a5/1  a5/6 r/2 "
    "f5/2 e5/2 d5/2 c5/2  b4/2 c5/2 d5/2 g5/2  e5/3 d5/1 c5/10 r/2";
constexpr const char* kChorusLyrics =
    "あ た ら し い ひ か り か ぜ に の せ て よ あ け の そ ら へ と と ど け";

const Section kSong[] = {
    {Style::kCountIn, nullptr, 120, "C", "", ""},
    {Style::kIntro, "イントロ", 0, "Fmaj7 G Em7 Am", "", ""},
    {Style::kVerse, "Aメロ", 0, "C G/B Am Em/G F C/E Dm7 G",
     "e4/2 g4/2 c5/3 b4/1  d5/2 c5/2 b4/2 g4/2  a4/2 c5/2 e5/3 d5/1  b4/6 r/2 "
     "a4/2 a4/1 c5/1 f5/2 e5/2  e5/2 d5/2 c5/2 g4/2  a4/2 c5/2 d5/3 c5/1  d5/6 r/2",
     "よ る の お わ り に ま ど を あ け た ひ か り の い と が そ ら に ひ ろ が る"},
    {Style::kPreChorus, "Bメロ", kFastBpm, "Am F G C Am F Dm7 Gsus4,G",
     "r/1 e4/1 a4/1 b4/1 c5/2 b4/1 a4/1  c5/2 a4/2 f4/4  r/1 d4/1 g4/1 a4/1 b4/2 a4/1 g4/1 "
     "e4/2 g4/4 r/2  r/1 e4/1 a4/1 b4/1 c5/2 d5/1 e5/1  f5/2 e5/2 c5/4 "
     "r/1 d5/1 c5/1 d5/1 f5/2 e5/1 d5/1  d5/2 g5/4 r/2",
     "ね む る ま ち の や ね を こ え て は こ ぶ う た "
     "ま だ み え な い あ さ の ひ か り を め ざ し て"},
    {Style::kChorus, "サビ", 0, "F G Em7 Am Dm7 G C C", kChorusMelody, kChorusLyrics},
    {Style::kInterlude, "間奏", 0, "Dm7 Em7 F Gsus4,G",
     "a5/2 g5/1 f5/1 e5/2 d5/2  g5/2 f5/1 e5/1 d5/2 b4/2  c5/2 d5/1 e5/1 f5/2 a5/2  g5/8", ""},
    {Style::kChorus, "ラストサビ", 0, "F G Em7 Am Dm7 G C C", kChorusMelody, kChorusLyrics},
    {Style::kOutro, "エンディング", 0, "Fmaj7 G Em7 Am F,G Cadd9",
     "c5/1 d5/1 e5/2 f5/3 e5/1  d5/2 g5/4 d5/2  e5/1 f5/1 g5/2 b5/3 a5/1  a5/6 g5/2 "
     "f5/4 d5/4  e5/8",
     ""},
};

// The ritardando: from the fourth bar of the ending, slowing beat by beat.
constexpr int kRitBar = 3;
constexpr int kRitBeats = 8;
constexpr int kRitToBpm = 84;
constexpr int kFinalBpm = 72;

struct Span {
    int tick;
    int length;
    Chord chord;
    const Section* sec;
    int bar;       // index of its bar within the section
    int barCount;  // bars in the section
    bool LastBar() const { return bar == barCount - 1; }
};

struct Timeline {
    std::vector<Span> spans;
    std::vector<int> sectionTick;  // where each section starts, then the end
    int end = 0;
};

Timeline Lay() {
    Timeline t;
    int tick = 0;
    for (const Section& s : kSong) {
        t.sectionTick.push_back(tick);
        const auto tokens = Split(s.chords, ' ');
        const int count = static_cast<int>(tokens.size());
        for (int b = 0; b < count; ++b) {
            const auto names = Split(tokens[b], ',');
            const int len = kBar / static_cast<int>(names.size());
            for (size_t k = 0; k < names.size(); ++k)
                t.spans.push_back(
                    {tick + len * static_cast<int>(k), len, ParseChord(names[k]), &s, b, count});
            tick += kBar;
        }
    }
    t.sectionTick.push_back(tick);
    t.end = tick;
    return t;
}

// ---------------------------------------------------------------------------
// Parts

void SetUpPart(Track& t, std::string_view name, int program, int volume, int pan, int reverb,
               int chorus) {
    t.Text(0, 0x03, name);
    t.Program(kSetupTick, program);
    t.Cc(kSetupTick, 7, volume);
    t.Cc(kSetupTick, 10, pan);
    t.Cc(kSetupTick, 11, 127);
    t.Cc(kSetupTick, 91, reverb);
    t.Cc(kSetupTick, 93, chorus);
}

void WriteConductor(Track& t, const Timeline& tl) {
    t.Text(0, 0x03, "Sonfara Demo ～ 夜明けの序曲");
    t.Text(0, 0x02, "Copyright (C) 2026 Sonfara Project");
    t.SysEx(0, {0x41, 0x10, 0x42, 0x12, 0x40, 0x00, 0x7F, 0x00, 0x41, 0xF7});  // GS reset
    t.Meta(0, 0x58, std::string{4, 2, 24, 8});                                 // 4/4
    t.Meta(0, 0x59, std::string{0, 0});                                        // C major
    const std::string_view title = "Sonfara Demo - Yoake no Jokyoku";
    t.SysEx(kSetupTick / 2, RolandDt1(0x45, {0x10, 0x00, 0x00}, Bytes(title.begin(), title.end())));

    // A sun rising over the sea, for the GS dot display.
    static constexpr std::array<std::string_view, 16> kPicture = {
        "................", ".......##.......", "..#....##....#..", "...#........#...",
        "......####......", "....########....", "...##########...", "##.##########.##",
        "..############..", "################", "................", "..############..",
        "................", "....########....", "................", "......####......"};
    Bytes dots(64, 0);
    for (int row = 0; row < 16; ++row) {
        for (int col = 0; col < 16; ++col) {
            if (kPicture[row][col] == '#')
                dots[(col / 5) * 16 + row] |= static_cast<uint8_t>(0x10 >> (col % 5));
        }
    }
    t.SysEx(tl.sectionTick[1], RolandDt1(0x45, {0x10, 0x01, 0x00}, dots));

    auto tempo = [&t](int tick, double bpm) {
        const auto us = static_cast<uint32_t>(std::lround(60e6 / bpm));
        t.Meta(tick, 0x51,
               std::string{static_cast<char>(us >> 16), static_cast<char>(us >> 8),
                           static_cast<char>(us)});
    };
    for (size_t i = 0; i < std::size(kSong); ++i) {
        const Section& s = kSong[i];
        if (s.bpm) tempo(tl.sectionTick[i], s.bpm);
        if (s.marker) t.Text(tl.sectionTick[i], 0x06, s.marker);
    }
    const int ritTick = tl.sectionTick[std::size(kSong) - 1] + kRitBar * kBar;
    for (int beat = 1; beat <= kRitBeats; ++beat)
        tempo(ritTick + (beat - 1) * kDivision,
              kFastBpm + (kRitToBpm - kFastBpm) * static_cast<double>(beat) / kRitBeats);
    tempo(tl.end - kBar, kFinalBpm);
}

void WriteLead(Track& t, const Timeline& tl, Rng& rng) {
    SetUpPart(t, "メロディ", 80, 100, 64, 40, 24);
    // Pitch bend range: two semitones, then the null RPN.
    const std::pair<int, int> kBendRange[] = {{101, 0}, {100, 0},   {6, 2},
                                              {38, 0},  {101, 127}, {100, 127}};
    for (auto [cc, v] : kBendRange) t.Cc(kSetupTick, cc, v);
    for (size_t i = 0; i < std::size(kSong); ++i) {
        const Section& s = kSong[i];
        const auto lyrics = Split(s.lyrics, ' ');
        size_t syllable = 0;
        int tick = tl.sectionTick[i];
        for (std::string_view tok : Split(s.melody, ' ')) {
            const size_t slash = tok.find('/');
            if (slash == std::string_view::npos) Fail("bad melody token: " + std::string(tok));
            const int len = std::atoi(std::string(tok.substr(slash + 1)).c_str()) * kEighth;
            std::string_view name = tok.substr(0, slash);
            if (name != "r") {
                const int pc = PitchClass(name);
                const int key = 12 * (name[0] - '0' + 1) + pc;
                if (!lyrics.empty()) {
                    if (syllable >= lyrics.size()) Fail("too few lyrics for the melody");
                    t.Text(tick, 0x05, lyrics[syllable++]);
                }
                const int gate = len - std::min(len / 8, 60);
                const bool strong = (tick % kDivision) == 0;
                t.Note(tick, gate, key, 92 + (strong ? 8 : 0) + rng.Jitter(5));
                // Long notes in the chorus and the solo scoop up into pitch
                // and bloom into vibrato.
                const bool expressive = s.style == Style::kChorus || s.style == Style::kInterlude ||
                                        s.style == Style::kOutro;
                if (expressive && len >= 3 * kEighth) {
                    for (int step = 0; step <= 8; ++step)
                        t.Bend(tick + step * 12, -2048 + step * 256);
                }
                if (len >= 4 * kEighth) {
                    t.Ramp(tick + gate / 2, gate / 2 - 20, 1, 0, 64, 4);
                    t.Cc(tick + gate, 1, 0, kBeforeNoteOff);
                }
            }
            tick += len;
        }
        if (syllable != lyrics.size()) Fail("lyrics and melody differ in length");
        if (tick != tl.sectionTick[i] && tick != tl.sectionTick[i + 1])
            Fail("melody does not fill its section");
    }
}

void WritePiano(Track& t, const Timeline& tl, Rng& rng) {
    SetUpPart(t, "ピアノ", 0, 92, 50, 48, 0);
    for (const Span& sp : tl.spans) {
        const Style st = sp.sec->style;
        if (st == Style::kCountIn) continue;
        const int end = sp.tick + sp.length;
        // Change the pedal with the harmony: up as the chord changes, down just after.
        t.Cc(sp.tick, 64, 0);
        t.Cc(sp.tick + 40, 64, 127);
        const std::vector<int> v = Voicing(sp.chord, 55);
        const int low = BassKey(sp.chord) + 12;
        if (st == Style::kIntro || st == Style::kInterlude || st == Style::kOutro) {
            std::vector<int> keys{low};
            keys.insert(keys.end(), v.begin(), v.end());
            keys.push_back(v.front() + 12);
            for (size_t k = 0; k < keys.size(); ++k) {
                const int at = sp.tick + 36 * static_cast<int>(k);  // rolled
                t.Note(at, end - at, keys[k], 64 + 3 * static_cast<int>(k) + rng.Jitter(4));
            }
        } else if (st == Style::kVerse) {
            const int pattern[] = {-1, 0, 1, 2, 3, 2, 1, 0};  // -1: the bass note
            const int steps = sp.length / kEighth;
            for (int i = 0; i < steps; ++i) {
                const int idx = pattern[i % 8];
                const int key = idx < 0                            ? low
                                : idx < static_cast<int>(v.size()) ? v[idx]
                                                                   : v[0] + 12;
                t.Note(sp.tick + i * kEighth, kEighth - 20, key, (i % 2 ? 58 : 70) + rng.Jitter(4));
            }
        } else {
            const std::vector<int> hi = Voicing(sp.chord, 60);
            for (int beat = 0; beat < sp.length / kDivision; ++beat) {
                const int at = sp.tick + beat * kDivision;
                const int vel = (beat % 2 ? 70 : 86) + (st == Style::kChorus ? 6 : 0);
                if (beat % 2 == 0) t.Note(at, kDivision - 40, low, vel);
                for (int key : hi) t.Note(at, kDivision - 40, key, vel + rng.Jitter(4));
            }
        }
    }
}

void WriteStrings(Track& t, const Timeline& tl) {
    SetUpPart(t, "ストリングス", 48, 96, 80, 72, 32);
    const Section* last = nullptr;
    for (const Span& sp : tl.spans) {
        const Style st = sp.sec->style;
        if (st == Style::kCountIn || (st == Style::kVerse && sp.bar < 4)) continue;
        if (sp.sec != last) {
            t.Ramp(sp.tick, kBar, 11, 64, st == Style::kChorus ? 120 : 104, 8);  // swell in
            last = sp.sec;
        }
        const int vel = st == Style::kChorus ? 88 : 72;
        t.Note(sp.tick, sp.length, KeyAbove(45, sp.chord.bass), vel);
        for (int key : Voicing(sp.chord, 57)) t.Note(sp.tick, sp.length, key, vel);
        if (st == Style::kChorus)
            for (int key : Voicing(sp.chord, 69)) t.Note(sp.tick, sp.length, key, vel - 8);
    }
}

void WritePad(Track& t, const Timeline& tl) {
    SetUpPart(t, "Warm Pad", 89, 84, 40, 80, 64);
    const Section* last = nullptr;
    for (const Span& sp : tl.spans) {
        const Style st = sp.sec->style;
        if (st == Style::kCountIn) continue;
        const bool leading = st == Style::kIntro || st == Style::kInterlude || st == Style::kOutro;
        if (sp.sec != last) {
            t.Cc(sp.tick, 11, leading ? 110 : 72);
            t.Cc(sp.tick, 1, 0);
            if (leading) t.Ramp(sp.tick + kBar, kBar, 1, 0, 48, 8);  // slow shimmer
            last = sp.sec;
        }
        for (int key : Voicing(sp.chord, 52)) t.Note(sp.tick, sp.length, key, leading ? 72 : 60);
    }
}

void WriteArpeggio(Track& t, const Timeline& tl) {
    SetUpPart(t, "Harp Arpeggio", 46, 82, 96, 88, 40);
    for (const Span& sp : tl.spans) {
        const Style st = sp.sec->style;
        if (st == Style::kCountIn || (st == Style::kIntro && sp.bar < 2) ||
            (st == Style::kOutro && sp.bar >= kRitBar))
            continue;
        std::vector<int> keys = Voicing(sp.chord, 67);
        for (int key : Voicing(sp.chord, 79)) keys.push_back(key);
        const int n = static_cast<int>(keys.size());
        const bool fast =
            st == Style::kPreChorus || st == Style::kChorus || st == Style::kInterlude;
        const int step = fast ? kSixteenth : kEighth;
        for (int i = 0; i * step < sp.length; ++i) {
            const int phase = i % (2 * n - 2);  // up, then back down
            const int key = keys[phase < n ? phase : 2 * n - 2 - phase];
            const bool onBeat = (i * step) % kDivision == 0;
            t.Note(sp.tick + i * step, step * 4 / 5, key, onBeat ? 76 : 62);
        }
    }
}

// Per style, one letter per eighth: R root, F fifth, O octave, '-' holds.
constexpr const char* kBassPattern[] = {nullptr,    "R-------", "R--RF-O-", "RRRRRRRR",
                                        "RORORORF", "R---F---", "R-------"};

void WriteBass(Track& t, const Timeline& tl, Rng& rng) {
    SetUpPart(t, "ベース", 33, 104, 64, 24, 0);
    for (const Span& sp : tl.spans) {
        const char* pattern = kBassPattern[static_cast<int>(sp.sec->style)];
        if (!pattern) continue;
        const int root = BassKey(sp.chord);
        const int steps = sp.length / kEighth;
        for (int i = 0; i < steps; ++i) {
            const char c = pattern[i];
            if (c == '-') continue;
            int len = 1;
            while (i + len < steps && pattern[i + len] == '-') ++len;
            const int key = c == 'R'   ? root
                            : c == 'F' ? KeyAbove(root + 1, (sp.chord.root + 7) % 12)
                                       : root + 12;
            // Whole-bar notes run legato into the next chord.
            const int gate = len * kEighth - (len == 8 ? 0 : 30);
            t.Note(sp.tick + i * kEighth, gate, key, (i % 2 ? 84 : 98) + rng.Jitter(4));
        }
    }
}

// Drum bars: "key:grid" over sixteen sixteenths; X accent, x normal, o ghost.
constexpr const char* kTomFill =
    "36:x............... 42:x.x.x.x......... 50:........xx...... 47:..........xx.... "
    "45:............xx.. 38:..............xX";
constexpr const char* kHold = "36:X...............";

// Per style: the groove, and the fill for a section's last bar.
constexpr std::pair<const char*, const char*> kDrumPattern[] = {
    {"37:....x...x...x.x.", "37:....x...x...x.x."},
    {"36:x.......x....... 42:x.x.x.x.x.x.x.x.", kTomFill},
    {"36:X.....x.X....... 37:....x.......x... 42:x.x.x.x.x.x.x.x.",
     "36:X.....x.X....... 37:....x........... 42:x.x.x.x.x.x..... 38:............xxXX"},
    {"36:X.....x.X.x..... 38:....X.......X... 42:x.x.x.x.x.x.x... 46:..............x.",
     "36:X.......X....... 38:....X...oxoxXxXX 42:x.x.x.x........."},
    {"36:X...X...X...X... 38:....X.......X... 42:x...x...x...x... 46:..x...x...x...x.",
     "36:X...X...X....... 38:....X.....xxXxXX 42:x...x...x....... 46:..x...x........."},
    {"36:X.........x..... 38:........X....... 51:x.x.x.x.x.x.x.x.", kTomFill},
    {"36:X.......X....... 38:....x.......x... 51:x...x...x...x...", kHold},
};

const char* DrumBar(const Span& bar) {
    const Style st = bar.sec->style;
    // The intro opens with kicks alone; the ritardando keeps only the downbeats.
    if ((st == Style::kIntro && bar.bar < 2) || (st == Style::kOutro && bar.bar >= kRitBar))
        return kHold;
    const auto& [groove, fill] = kDrumPattern[static_cast<int>(st)];
    return bar.LastBar() ? fill : groove;
}

void WriteDrums(Track& t, const Timeline& tl, Rng& rng) {
    SetUpPart(t, "ドラムス", 0, 100, 64, 40, 0);
    for (const Span& bar : tl.spans) {
        if (bar.tick % kBar != 0) continue;  // a chord change within the bar
        const Style st = bar.sec->style;
        const bool crash =
            st != Style::kCountIn && (bar.bar == 0 || (st == Style::kChorus && bar.bar == 4) ||
                                      (st == Style::kOutro && bar.bar >= kRitBar));
        if (crash) t.Note(bar.tick, kSixteenth, 49, 112);
        for (std::string_view line : Split(DrumBar(bar), ' ')) {
            const int key = std::atoi(std::string(line.substr(0, 2)).c_str());
            const std::string_view grid = line.substr(3);
            for (size_t i = 0; i < grid.size(); ++i) {
                if (grid[i] == '.') continue;
                const int vel = grid[i] == 'X' ? 112 : grid[i] == 'x' ? 88 : 56;
                const int at = bar.tick + static_cast<int>(i) * kSixteenth;
                t.Note(at, kSixteenth / 2, key, vel + rng.Jitter(6));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: sonfara-make-demo OUTDIR\n");
        return 2;
    }
    const Timeline tl = Lay();
    Rng rng;
    SmfWriter smf;
    WriteConductor(smf.AddTrack(0), tl);
    WriteLead(smf.AddTrack(0), tl, rng);
    WritePiano(smf.AddTrack(1), tl, rng);
    WriteStrings(smf.AddTrack(2), tl);
    WritePad(smf.AddTrack(3), tl);
    WriteArpeggio(smf.AddTrack(4), tl);
    WriteBass(smf.AddTrack(5), tl, rng);
    WriteDrums(smf.AddTrack(9), tl, rng);
    const Bytes file = smf.Build(tl.end);

    const std::string path = std::string(argv[1]) + "/sonfara-demo.mid";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) Fail("cannot create " + path);
    const bool ok = std::fwrite(file.data(), 1, file.size(), f) == file.size();
    if (std::fclose(f) != 0 || !ok) Fail("cannot write " + path);
    return 0;
}
