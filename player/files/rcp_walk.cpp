// One Recomposer track played through as the sequencer plays it: loops and
// same-measure references expanded, notes with their gates, the commands
// turned into MIDI messages, tempo and key changes handed to the conductor.
#include <algorithm>

#include "player/files/rcp_internal.h"
#include "player/platform/midi.h"

namespace sonfara::files::rcp {
namespace {

using namespace midi;  // status nibbles, manufacturers

constexpr char kEox = static_cast<char>(kSysExEnd);
constexpr uint8_t kMks7Message = 0x32;
constexpr uint8_t kYamahaDefaultDevice = kYamahaParameterChange;  // device 0

// Recomposer commands.
enum Command : uint8_t {
    kUserExclusive1 = 0x90,
    kUserExclusive8 = 0x97,
    kTrackExclusive = 0x98,
    kYamahaFirst = 0xC0,  // C0..CF: DX, TX, FB-01 parameter messages
    kYamahaLast = 0xCF,
    kYamahaBase = 0xD0,
    kYamahaDevice = 0xD1,
    kYamahaParameter = 0xD2,
    kXgParameter = 0xD3,
    kMks7 = 0xDC,
    kRolandBase = 0xDD,
    kRolandParameter = 0xDE,
    kRolandDevice = 0xDF,
    kBankProgram = 0xE2,
    kMidiChannel = 0xE6,
    kTempo = 0xE7,
    kAfterTouch = 0xEA,
    kControl = 0xEB,
    kProgram = 0xEC,
    kPolyAfterTouch = 0xED,
    kPitch = 0xEE,
    kKeySignature = 0xF5,
    kComment = 0xF6,
    kContinuation = 0xF7,
    kLoopEnd = 0xF8,
    kLoopStart = 0xF9,
    kSameMeasure = 0xFC,
    kMeasureEnd = 0xFD,
    kTrackEnd = 0xFE,
};

// Yamaha parameter messages of C0..CF: F0 43 (10+ch) <sub> p1 p2 F7; two are
// shaped differently (C6 and the TX81Z system pages CA, CB).
struct YamahaForm {
    uint8_t cmd;
    uint8_t sub[2];
    uint8_t subLen;
};
constexpr YamahaForm kYamahaForms[] = {
    {0xC0, {0x08}, 1},       {0xC1, {0x00}, 1},       {0xC2, {0x04}, 1}, {0xC3, {0x11}, 1},
    {0xC5, {0x15}, 1},       {0xC7, {0x12}, 1},       {0xC8, {0x13}, 1}, {0xC9, {0x10}, 1},
    {0xCA, {0x10, 0x7B}, 2}, {0xCB, {0x10, 0x7C}, 2}, {0xCC, {0x1B}, 1}, {0xCD, {0x18}, 1},
    {0xCE, {0x19}, 1},       {0xCF, {0x1A}, 1},
};
constexpr uint8_t kFb01System = 0xC6;

// Key+ is 7-bit signed: 0x0C one octave up, 0x74 one octave down.
int SignedKey(uint8_t k) {
    return (k & 0x40) ? k - 0x80 : k;
}

std::string Bytes7(std::initializer_list<int> bytes) {
    std::string s;
    for (int b : bytes) s += static_cast<char>(b & 0x7F);
    s += kEox;
    return s;
}

class Walker {
  public:
    Walker(const Header& h, const Track& t, WalkShared& s, TrackResult& out)
        : h_(h), t_(t), ev_(t.events), shared_(s), out_(out), smf_(out.smf) {}

    RcpProblem Run();

  private:
    struct Loop {
        size_t start;
        uint32_t done;
    };
    struct Reference {
        size_t first = 0;   // event
        size_t stride = 0;  // events between the places the field cannot tell apart
        uint32_t number = 0;
        uint32_t numberSpan = 0;
    };

    void Begin();
    RcpProblem Flow(const Event& e, size_t& i);
    void Perform(const Event& e, size_t& i);
    RcpProblem SameMeasure(size_t& i);
    Reference ReferenceOf(const Event& e) const;
    bool SameMeasureTarget(const Event& e, size_t& target) const;
    void LoopEnd(const Event& e, size_t& i);
    void MeasureEnd(size_t& i);
    void Note(const Event& e);
    void ChannelCommand(const Event& e);
    void Exclusive(const Event& e, size_t& i);
    void DeviceCommand(const Event& e);
    void YamahaParameter(uint8_t cmd, uint8_t p1, uint8_t p2);
    void SetChannel(uint8_t c);
    std::string Continuation(size_t& i, bool withOwnBytes);
    void Send(std::string body);
    void Msg(uint8_t status, uint8_t d1, uint8_t d2 = 0);
    uint32_t OutTick() const;
    bool Silent() const { return muted_ || off_; }

    const Header& h_;
    const Track& t_;
    const std::vector<Event>& ev_;
    WalkShared& shared_;
    TrackResult& out_;
    SmfTrack& smf_;

    uint64_t tick_ = 0;
    uint8_t ch_ = 0, port_ = 0;
    bool off_ = false, muted_ = false, done_ = false;
    int transpose_ = 0;
    std::vector<Loop> loops_;
    std::vector<int32_t> measureAt_;    // by event: the number of the measure it starts, or -1
    std::vector<size_t> measureIndex_;  // by measure number: its first event
    bool inSame_ = false;
    size_t returnTo_ = 0;
    std::vector<size_t> chain_;
    // The note-off event of each sounding key, by port, channel and key.
    std::vector<int32_t> sounding_ = std::vector<int32_t>(2 * 16 * 128, -1);
    uint8_t rolDev_ = 0x10, rolModel_ = 0x16, rolBase_[2] = {0, 0};
    uint8_t yamDev_ = kYamahaDefaultDevice, yamModel_ = kYamahaXgModel, yamBase_[2] = {0, 0};
};

RcpProblem Walker::Run() {
    Begin();
    const size_t before = smf_.events.size();
    for (size_t i = 0; i < ev_.size() && !done_;) {
        if (++shared_.steps > kMaxSteps) return RcpProblem::kTooManyEvents;
        const Event& e = ev_[i];
        if (e.cmd >= 0xF0) {
            if (RcpProblem p = Flow(e, i); p != RcpProblem::kNone) return p;
            continue;
        }
        Perform(e, i);
        tick_ += e.step;
        if (tick_ > kMaxTick) return RcpProblem::kTooLong;
        if (shared_.events + smf_.events.size() > kMaxEvents ||
            shared_.extEvents + smf_.ExtCount() > kMaxExtEvents) {
            return RcpProblem::kTooManyEvents;
        }
    }
    out_.sounding = smf_.events.size() > before;
    out_.endTick = static_cast<uint32_t>(tick_);
    shared_.events += smf_.events.size();
    shared_.extEvents += smf_.ExtCount();
    return RcpProblem::kNone;
}

void Walker::Begin() {
    smf_.events.reserve(ev_.size() * 2);  // a note makes two
    // A reference is a whole measure of its own, as a measure end closes one:
    // the numbers the references carry count both.
    measureAt_.assign(ev_.size() + 1, -1);
    measureAt_[0] = 0;
    measureIndex_.push_back(0);
    for (size_t i = 0; i < ev_.size(); ++i) {
        if (ev_[i].cmd != kMeasureEnd && ev_[i].cmd != kSameMeasure) continue;
        measureAt_[i + 1] = static_cast<int32_t>(measureIndex_.size());
        measureIndex_.push_back(i + 1);
    }
    muted_ = (t_.mode & 1) != 0;
    const bool rhythm = (t_.rhythm & 0x80) || (t_.key & 0x80);
    transpose_ = rhythm ? 0 : SignedKey(t_.key) + h_.playBias;
    if (!t_.name.empty()) smf_.Meta(0, kMetaTrackName, t_.name);
    SetChannel(t_.channel < 32 ? static_cast<uint8_t>(t_.channel + 1) : 0);
}

// Commands F0..FF steer the walk; their step field is no step.
RcpProblem Walker::Flow(const Event& e, size_t& i) {
    switch (e.cmd) {
        case kLoopStart:
            if (loops_.size() < kMaxLoopDepth) loops_.push_back({i + 1, 0});
            ++i;
            return RcpProblem::kNone;
        case kLoopEnd:
            LoopEnd(e, i);
            return RcpProblem::kNone;
        case kSameMeasure:
            return SameMeasure(i);
        case kMeasureEnd:
            MeasureEnd(i);
            return RcpProblem::kNone;
        case kTrackEnd:
            if (inSame_)
                MeasureEnd(i);
            else
                done_ = true;
            return RcpProblem::kNone;
        case kKeySignature:
            shared_.keys.push_back({static_cast<uint32_t>(tick_), static_cast<uint8_t>(e.step)});
            ++i;
            return RcpProblem::kNone;
        case kComment: {
            const std::string text = Continuation(i, true);
            const std::string shown = HeaderText(std::span<const uint8_t>(
                reinterpret_cast<const uint8_t*>(text.data()), text.size()));
            if (!shown.empty()) smf_.Meta(OutTick(), kMetaText, shown);
            return RcpProblem::kNone;
        }
        default:  // a stray continuation, or nothing the sequencer knew
            ++i;
            return RcpProblem::kNone;
    }
}

void Walker::LoopEnd(const Event& e, size_t& i) {
    if (loops_.empty()) {  // an end without a start: nothing to repeat
        ++i;
        return;
    }
    Loop& l = loops_.back();
    const uint32_t count = h_.gen == Generation::kV2 ? (e.step & 0xFF) : e.step;
    const uint32_t times = count == 0 ? static_cast<uint32_t>(shared_.endlessLoops) : count;
    if (++l.done < times) {
        i = l.start;
    } else {
        loops_.pop_back();
        ++i;
    }
}

// A measure that repeats another: that measure plays up to its end, then
// the walk goes on after the reference. A reference met inside the
// referenced measure is followed too; the walk still returns to the first.
RcpProblem Walker::SameMeasure(size_t& i) {
    size_t target = 0;
    if (!SameMeasureTarget(ev_[i], target)) return RcpProblem::kMissingMeasure;
    if (!inSame_) {
        inSame_ = true;
        returnTo_ = i + 1;
        chain_.clear();
    }
    if (chain_.size() >= kMaxSameMeasureChain ||
        std::find(chain_.begin(), chain_.end(), i) != chain_.end()) {
        return RcpProblem::kSameMeasureLoop;
    }
    chain_.push_back(i);
    i = target;
    return RcpProblem::kNone;
}

// Where a reference points: the event its place field names, and in long
// tracks the events one or more wraps of that field further on (v2: 64 KiB,
// v3: 65536 events); and the measure number, which wraps too (v2: 10 bits).
Walker::Reference Walker::ReferenceOf(const Event& e) const {
    Reference r;
    if (h_.gen == Generation::kV2) {
        int64_t offset = static_cast<int64_t>((e.gate & 0xFCu) | (uint32_t{e.vel} << 8)) - 0x2C;
        if (offset < 0) offset += 0x10000;
        r.first = static_cast<size_t>(offset) / 4;
        r.stride = 0x10000 / 4;
        r.number = (e.step & 0xFFu) | ((e.gate & 3u) << 8);
        r.numberSpan = 1u << 10;
    } else {
        int64_t index = static_cast<int64_t>(e.gate) - 0x30;
        if (index < 0) index += 0x10000;
        r.first = static_cast<size_t>(index);
        r.stride = 0x10000;
        r.number = e.step;
        r.numberSpan = 1u << 16;
    }
    return r;
}

// The place is what the sequencer jumps to: a place that starts the measure
// of the reference's number wins, then any place that starts a measure, then
// the number alone, then a place that is an event at all.
bool Walker::SameMeasureTarget(const Event& e, size_t& target) const {
    const Reference r = ReferenceOf(e);
    size_t anyStart = SIZE_MAX, anyEvent = SIZE_MAX;
    for (size_t p = r.first; p < ev_.size(); p += r.stride) {
        const int32_t m = measureAt_[p];
        if (m >= 0 && static_cast<uint32_t>(m) % r.numberSpan == r.number) {
            target = p;
            return true;
        }
        if (m >= 0 && anyStart == SIZE_MAX) anyStart = p;
        if (anyEvent == SIZE_MAX) anyEvent = p;
    }
    if (anyStart != SIZE_MAX) {
        target = anyStart;
    } else if (r.number < measureIndex_.size() && measureIndex_[r.number] < ev_.size()) {
        target = measureIndex_[r.number];
    } else if (anyEvent != SIZE_MAX) {
        target = anyEvent;
    } else {
        return false;
    }
    return true;
}

// An empty measure (a measure end right after a reference, or two in a row)
// has no length to give a time signature.
void Walker::MeasureEnd(size_t& i) {
    const auto at = static_cast<uint32_t>(tick_);
    if (at > (out_.measureEnds.empty() ? 0 : out_.measureEnds.back()))
        out_.measureEnds.push_back(at);
    if (inSame_) {
        inSame_ = false;
        i = returnTo_;
    } else {
        ++i;
    }
}

void Walker::Perform(const Event& e, size_t& i) {
    if (e.cmd < 0x80) {
        Note(e);
    } else if (e.cmd == kTempo) {
        if (e.gate & 0xFF) {
            shared_.tempos.push_back({OutTick(), static_cast<uint32_t>(shared_.tempos.size()),
                                      static_cast<uint8_t>(e.gate), e.vel});
        }
    } else if (e.cmd == kMidiChannel) {
        SetChannel(static_cast<uint8_t>(e.gate));
    } else if (e.cmd >= kUserExclusive1 && e.cmd <= kTrackExclusive) {
        Exclusive(e, i);
        return;
    } else if (e.cmd >= kAfterTouch || e.cmd == kBankProgram) {
        ChannelCommand(e);
    } else {
        DeviceCommand(e);
    }
    ++i;
}

// A key still sounding in this track is not struck again: its gate runs on
// from here (the sequencer's tie).
void Walker::Note(const Event& e) {
    const int key = e.cmd + transpose_;
    const uint8_t vel = e.vel & 0x7F;
    if (Silent() || e.gate == 0 || vel == 0 || key < 0 || key > 127) return;
    const uint32_t at = OutTick();
    const uint32_t end = at + e.gate;
    int32_t& slot = sounding_[(port_ * 16 + ch_) * 128 + key];
    if (slot >= 0 && smf_.events[static_cast<size_t>(slot)].tick > at) {
        smf_.events[static_cast<size_t>(slot)].tick = end;
        return;
    }
    smf_.Channel(at, kNoteOn | ch_, static_cast<uint8_t>(key), vel);
    slot = static_cast<int32_t>(smf_.Channel(end, kNoteOff | ch_, static_cast<uint8_t>(key)));
}

void Walker::ChannelCommand(const Event& e) {
    const auto p1 = static_cast<uint8_t>(e.gate & 0x7F);
    const auto p2 = static_cast<uint8_t>(e.vel & 0x7F);
    switch (e.cmd) {
        case kBankProgram:
            Msg(kControlChange | ch_, cc::kBankSelect, p2);
            Msg(kProgramChange | ch_, p1);
            break;
        case kAfterTouch:
            Msg(kChannelPressure | ch_, p1);
            break;
        case kControl:
            Msg(kControlChange | ch_, p1, p2);
            break;
        case kProgram:
            Msg(kProgramChange | ch_, p1);
            break;
        case kPolyAfterTouch:
            Msg(kPolyPressure | ch_, p1, p2);
            break;
        case kPitch:
            Msg(kPitchBend | ch_, p1, p2);
            break;
        default:
            break;  // key scan and the like change no sound
    }
}

// User exclusive n (its template from the header) and the track exclusive
// (its data in the continuation events), both with the event's two values.
void Walker::Exclusive(const Event& e, size_t& i) {
    const auto gt = static_cast<uint8_t>(e.gate & 0x7F);
    const auto ve = static_cast<uint8_t>(e.vel & 0x7F);
    if (e.cmd == kTrackExclusive) {
        const std::string data = Continuation(i, false);
        Send(ExpandExclusive({reinterpret_cast<const uint8_t*>(data.data()), data.size()}, gt, ve,
                             ch_));
        return;
    }
    Send(ExpandExclusive(h_.userExclusive[e.cmd - kUserExclusive1], gt, ve, ch_));
    ++i;
}

void Walker::DeviceCommand(const Event& e) {
    const auto p1 = static_cast<uint8_t>(e.gate & 0x7F);
    const auto p2 = static_cast<uint8_t>(e.vel & 0x7F);
    switch (e.cmd) {
        case kRolandDevice:
            rolDev_ = p1;
            rolModel_ = p2;
            break;
        case kRolandBase:
            rolBase_[0] = p1;
            rolBase_[1] = p2;
            break;
        case kRolandParameter: {
            const uint8_t a[4] = {rolBase_[0], rolBase_[1], p1, p2};
            Send(Bytes7({kRoland, rolDev_, rolModel_, kRolandDataSet, a[0], a[1], p1, p2,
                         RolandChecksum(a)}));
            break;
        }
        case kYamahaDevice:
            yamDev_ = p1;
            yamModel_ = p2;
            break;
        case kYamahaBase:
            yamBase_[0] = p1;
            yamBase_[1] = p2;
            break;
        case kYamahaParameter:
            Send(Bytes7({kYamaha, yamDev_, yamModel_, yamBase_[0], yamBase_[1], p1, p2}));
            break;
        case kXgParameter:
            Send(Bytes7(
                {kYamaha, kYamahaDefaultDevice, kYamahaXgModel, yamBase_[0], yamBase_[1], p1, p2}));
            break;
        case kMks7:
            Send(Bytes7({kRoland, kMks7Message, ch_, p1, p2}));
            break;
        default:
            if (e.cmd >= kYamahaFirst && e.cmd <= kYamahaLast) YamahaParameter(e.cmd, p1, p2);
            break;
    }
}

void Walker::YamahaParameter(uint8_t cmd, uint8_t p1, uint8_t p2) {
    if (cmd == kFb01System) {
        Send(Bytes7({kYamaha, 0x75, ch_, 0x10, p1, p2}));  // FB-01 system parameter
        return;
    }
    for (const YamahaForm& f : kYamahaForms) {
        if (f.cmd != cmd) continue;
        std::string m = {static_cast<char>(kYamaha), static_cast<char>(0x10 | ch_)};
        m.append(reinterpret_cast<const char*>(f.sub), f.subLen);
        m += static_cast<char>(p1);
        m += static_cast<char>(p2);
        m += kEox;
        Send(std::move(m));
        return;
    }
}

// 1..16 port A, 17..32 port B, anything else switches the track off. A
// change of port is written as the port meta event.
void Walker::SetChannel(uint8_t c) {
    off_ = c == 0 || c > 32;
    if (off_) return;
    const auto port = static_cast<uint8_t>((c - 1) >> 4);
    ch_ = static_cast<uint8_t>((c - 1) & 15);
    if (port != port_) smf_.Meta(OutTick(), kMetaPort, std::string(1, static_cast<char>(port)));
    port_ = port;
}

// The data of a command and of the continuation events after it: two bytes
// (p1, p2) per v2 event, five per v3 event. Leaves i after them.
std::string Walker::Continuation(size_t& i, bool withOwnBytes) {
    std::string data;
    auto take = [&](const Event& e) {
        if (h_.gen == Generation::kV2) {
            data += static_cast<char>(e.raw[1]);
            data += static_cast<char>(e.raw[2]);
        } else {
            data.append(reinterpret_cast<const char*>(e.raw.data()), e.raw.size());
        }
    };
    if (withOwnBytes) take(ev_[i]);
    for (++i; i < ev_.size() && ev_[i].cmd == kContinuation; ++i) take(ev_[i]);
    return data;
}

void Walker::Send(std::string body) {
    if (Silent() || body.empty()) return;
    smf_.SysEx(OutTick(), std::move(body));
}

void Walker::Msg(uint8_t status, uint8_t d1, uint8_t d2) {
    if (!Silent()) smf_.Channel(OutTick(), status, d1, d2);
}

// St+ moves the whole track; nothing moves before the start.
uint32_t Walker::OutTick() const {
    const int64_t t = static_cast<int64_t>(tick_) + t_.stepShift;
    return static_cast<uint32_t>(std::max<int64_t>(0, t));
}

}  // namespace

RcpProblem WalkTrack(const Header& header, const Track& track, WalkShared& shared,
                     TrackResult& out) {
    return Walker(header, track, shared, out).Run();
}

}  // namespace sonfara::files::rcp
