#include "player/song/event_list.h"

#include <algorithm>
#include <cstdio>

#include "player/platform/midi.h"
#include "player/platform/rounding.h"

namespace sonfara::song {
namespace {

std::string Hex(unsigned v) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", v);
    return buf;
}

const char* ControllerLabel(int c) {
    switch (c) {
        case 0:
            return "バンクセレクト(MSB)  Bank=";
        case 32:
            return "バンクセレクト(LSB)  Bank=";
        case 1:
            return "モジュレーション(MSB)  Depth=";
        case 33:
            return "モジュレーション(LSB)  Depth=";
        case 2:
            return "ブレスコントロール(MSB)  Value=";
        case 34:
            return "ブレスコントロール(LSB)  Value=";
        case 4:
            return "フットコントロール(MSB)  Value=";
        case 36:
            return "フットコントロール(LSB)  Value=";
        case 5:
            return "ポルタメントタイム(MSB)  Value=";
        case 37:
            return "ポルタメントタイム(LSB)  Value=";
        case 6:
            return "データエントリ(MSB)  Value=";
        case 38:
            return "データエントリ(LSB)  Value=";
        case 7:
            return "メインボリューム(MSB)  Volume=";
        case 39:
            return "メインボリューム(LSB)  Volume=";
        case 8:
            return "バランスコントロール(MSB)  Value=";
        case 40:
            return "バランスコントロール(LSB)  Value=";
        case 10:
            return "パン(MSB)  Value=";
        case 42:
            return "パン(LSB)  Value=";
        case 11:
            return "エクスプレッション(MSB)  Value=";
        case 43:
            return "エクスプレッション(LSB)  Value=";
        case 91:
            return "リバーブ  Value=";
        case 93:
            return "コーラス  Value=";
        case 64:
            return "ホールド１（ダンパメダル）Value=";
        case 65:
            return "ポルタメント（ダンパメダル）Value=";
        case 66:
            return "ソステヌート（コードホールド）Value=";
        case 67:
            return "ソフトペダル　Value=";
        case 69:
            return "ホールド２（フリーズ）Value=";
        case 70:
            return "メモリバッチセレクト　Value=";
        default:
            return nullptr;
    }
}

std::string Quoted(const SongTable& song, int extIndex, int32_t length) {
    if (length < 2) return "\"\"";
    auto row = song.ExtRow(extIndex);
    std::string_view text(reinterpret_cast<const char*>(row.data()) + 1, row.size() - 1);
    return "\"" + song.TextCodePage().ToUtf8(text) + "\"";
}

std::string MetaText(const SongTable& song, const EventView& ev) {
    const int x = ev.ExtIndex();
    const uint8_t type = song.ExtendedData(x, 1);
    auto q = [&] { return Quoted(song, x, ev.Length()); };
    switch (type) {
        case 0x00:
            return platform::Localized("シーケンス番号");
        case 0x01:
            return platform::Localized("テキスト ") + q();
        case 0x02:
            return "Copyright " + q();
        case 0x03:
            return platform::Localized("トラック名 ") + q();
        case 0x04:
            return platform::Localized("楽器名 ") + q();
        case 0x05:
            return platform::Localized("歌詞 ") + q();
        case 0x06:
            return platform::Localized("マーカ") + q();
        case 0x07:
            return platform::Localized("キューポイント") + q();
        case 0x20:
            return platform::Localized("MIDIチャンネルプリフィックス");
        case 0x21:
            return platform::Localized("出力ポート変更 Port:") +
                   std::to_string(song.ExtendedData(x, 2));
        case 0x2F:
            return "End of Track";
        case 0x51: {
            int32_t tempo = (song.ExtendedData(x, 2) << 16) | (song.ExtendedData(x, 3) << 8) |
                            song.ExtendedData(x, 4);
            int bpm = tempo > 0 ? platform::RoundHalfEven(60000000.0 / tempo) : 0;
            return platform::Localized("セットテンポ ") + std::to_string(bpm);
        }
        case 0x54:
            return platform::Localized("SMPTEオフセット");
        case 0x58: {
            int dd = song.ExtendedData(x, 3);
            // An exponent that does not fit the display shows as written.
            std::string den = dd < 31 ? std::to_string(1u << dd) : "2^" + std::to_string(dd);
            return platform::Localized("拍子 ") + std::to_string(song.ExtendedData(x, 2)) + "/" +
                   den;
        }
        case 0x59:
            return platform::Localized("調号");
        default:
            return "Unknown Meta Event";
    }
}

}  // namespace

const platform::MessageTranslations& EventListTranslations() {
    static const platform::MessageTranslations table{
        {"バンクセレクト(MSB)  Bank=", "Bank Select (MSB)  Bank="},
        {"バンクセレクト(LSB)  Bank=", "Bank Select (LSB)  Bank="},
        {"モジュレーション(MSB)  Depth=", "Modulation (MSB)  Depth="},
        {"モジュレーション(LSB)  Depth=", "Modulation (LSB)  Depth="},
        {"ブレスコントロール(MSB)  Value=", "Breath Control (MSB)  Value="},
        {"ブレスコントロール(LSB)  Value=", "Breath Control (LSB)  Value="},
        {"フットコントロール(MSB)  Value=", "Foot Control (MSB)  Value="},
        {"フットコントロール(LSB)  Value=", "Foot Control (LSB)  Value="},
        {"ポルタメントタイム(MSB)  Value=", "Portamento Time (MSB)  Value="},
        {"ポルタメントタイム(LSB)  Value=", "Portamento Time (LSB)  Value="},
        {"データエントリ(MSB)  Value=", "Data Entry (MSB)  Value="},
        {"データエントリ(LSB)  Value=", "Data Entry (LSB)  Value="},
        {"メインボリューム(MSB)  Volume=", "Main Volume (MSB)  Volume="},
        {"メインボリューム(LSB)  Volume=", "Main Volume (LSB)  Volume="},
        {"バランスコントロール(MSB)  Value=", "Balance (MSB)  Value="},
        {"バランスコントロール(LSB)  Value=", "Balance (LSB)  Value="},
        {"パン(MSB)  Value=", "Pan (MSB)  Value="},
        {"パン(LSB)  Value=", "Pan (LSB)  Value="},
        {"エクスプレッション(MSB)  Value=", "Expression (MSB)  Value="},
        {"エクスプレッション(LSB)  Value=", "Expression (LSB)  Value="},
        {"リバーブ  Value=", "Reverb  Value="},
        {"コーラス  Value=", "Chorus  Value="},
        {"ホールド１（ダンパメダル）Value=", "Hold 1 (Damper Pedal) Value="},
        {"ポルタメント（ダンパメダル）Value=", "Portamento Value="},
        {"ソステヌート（コードホールド）Value=", "Sostenuto Value="},
        {"ソフトペダル　Value=", "Soft Pedal Value="},
        {"ホールド２（フリーズ）Value=", "Hold 2 (Freeze) Value="},
        {"メモリバッチセレクト　Value=", "Memory Patch Select Value="},
        {"シーケンス番号", "Sequence Number"},
        {"テキスト ", "Text "},
        {"トラック名 ", "Track Name "},
        {"楽器名 ", "Instrument "},
        {"歌詞 ", "Lyric "},
        {"マーカ", "Marker "},
        {"キューポイント", "Cue Point "},
        {"MIDIチャンネルプリフィックス", "MIDI Channel Prefix"},
        {"出力ポート変更 Port:", "Port Change Port:"},
        {"セットテンポ ", "Set Tempo "},
        {"SMPTEオフセット", "SMPTE Offset"},
        {"拍子 ", "Time Signature "},
        {"調号", "Key Signature"},
    };
    return table;
}

std::string NoteName(int note) {
    static const char* const kNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                           "F#", "G",  "G#", "A",  "A#", "B"};
    note &= 0xFF;
    std::string s = std::string(kNames[note % 12]) + std::to_string(note / 12 + 1);
    if (s.size() == 2) s += ' ';
    return s;
}

std::string PositionText(int32_t tick, int32_t tpq) {
    if (tpq <= 0) tpq = 1;
    int64_t measure = tick / (4 * int64_t{tpq});
    int64_t beat = tick / tpq - 4 * measure + 1;
    int64_t rest = tick - tpq * (beat - 1 + 4 * measure);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%4lld.%2lld.%4lld", static_cast<long long>(measure),
                  static_cast<long long>(beat), static_cast<long long>(rest));
    return buf;
}

std::string SysExDumpText(const SongTable& song, int extIndex) {
    auto row = song.ExtRow(extIndex);
    std::string s = "F0";
    const size_t shown = std::min<size_t>(row.size(), 14);
    char buf[8];
    for (size_t k = 0; k < shown; ++k) {
        std::snprintf(buf, sizeof buf, " %02X", row[k]);
        s += buf;
    }
    if (row.size() < 14) {
        if (row.empty() || row.back() != 0xF7) s += " F7";
    } else if (row[13] != 0xF7) {
        s += " ...";
    }
    return s;
}

EventLine FormatEvent(const SongTable& song, const EventView& ev, const platform::CodePage& cp) {
    EventLine line;
    line.position = PositionText(ev.tick, song.TicksPerQuarter());
    const uint8_t kind = midi::StatusKind(ev.status);
    if (kind == midi::kSystem) {
        line.channel = "--";
    } else {
        line.channel = std::to_string(midi::ChannelOf(ev.status) + 1);
        if (line.channel.size() == 1) line.channel += ' ';
    }
    switch (kind) {
        case midi::kNoteOn:
            if (ev.data2 != 0) {
                line.name = "NoteOn";
                line.param = "KEY=" + NoteName(ev.data1) + "  VEL=" + std::to_string(ev.data2);
                line.colour = kColourNoteOn;
                break;
            }
            [[fallthrough]];
        case midi::kNoteOff:
            line.name = "NoteOff";
            line.param = "KEY=" + NoteName(ev.data1);
            line.colour = kColourNoteOff;
            break;
        case midi::kPolyPressure:
            line.name = "AfterTouch(Key)";
            line.param = "KEY=" + NoteName(ev.data1) + "  VEL=" + std::to_string(ev.data2);
            line.colour = kColourControl;
            break;
        case midi::kControlChange: {
            line.name = "Control Change(#" + Hex(ev.data1) + ")";
            const char* label = ControllerLabel(ev.data1);
            line.param = label ? platform::Localized(label) + std::to_string(ev.data2)
                               : "Unknown Control(#" + Hex(ev.data1) +
                                     ") Value = " + std::to_string(ev.data2);
            line.colour = kColourControl;
            break;
        }
        case midi::kProgramChange:
            line.name = "Program Change";
            line.param = "Program=" + std::to_string(ev.data1);
            line.colour = kColourProgram;
            break;
        case midi::kChannelPressure:
            line.name = "AfterTouch(Channel)";
            line.param = "VEL=" + std::to_string(ev.data1);
            line.colour = kColourControl;
            break;
        case midi::kPitchBend:
            line.name = "PitchBend";
            line.param = "Data=" + std::to_string(ev.data2 * 127 + ev.data1);
            line.colour = kColourControl;
            break;
        default:
            if (ev.status == midi::kSysExStart) {
                line.name = "SystemExclusive";
                line.param = SysExDumpText(song, ev.ExtIndex());
            } else if (ev.status == midi::kMetaEvent) {
                line.name = "MetaEvent";
                line.param = MetaText(song, ev);
            } else {
                line.name = "Unknown Event";
            }
            break;
    }
    line.channelBytes = static_cast<int>(cp.FromUtf8(line.channel).size());
    line.paramBytes = static_cast<int>(cp.FromUtf8(line.param).size());
    return line;
}

EventPage RenderPage(const SongTable& song, int k, int32_t entry, const platform::CodePage& cp) {
    EventPage page{};
    const int32_t count = song.ListCount(k);
    const int32_t start = (entry / kLinesPerPage) * kLinesPerPage;
    for (int i = 0; i < kLinesPerPage; ++i) {
        const int32_t n = start + i + 1;  // 1-based entry
        if (n <= count) page[i] = FormatEvent(song, song.ListEvent(k, n), cp);
    }
    return page;
}

namespace {

// The scroll bar's end maps to entry ListCount, one past the last: that
// would show a blank page (a whole one when the count is a multiple of 17)
// with the marker under the list.
int32_t LastEntryAtMost(int32_t count, int32_t entry) {
    return std::max(0, std::min(entry, count - 1));
}

int32_t PageStart(int32_t entry) {
    return (entry / kLinesPerPage) * kLinesPerPage;
}

class NothingPlays final : public ListPlayback {
  public:
    int32_t ListNext(int) const override { return 0; }
};

}  // namespace

const ListPlayback& NoPlayback() {
    static const NothingPlays none;
    return none;
}

void EventListView::OnLoadCompleted(const SongTable& song) {
    pageCache_.assign(static_cast<size_t>(std::max(kMinCachedLists, song.ListsInUse() + 2)), -1);
    if (currentList_ == 0) currentList_ = 1;
    lastRenderedList_ = kNoListRendered;
    if (song.NTracks < currentList_) currentList_ = 1;
    force_ = true;
    lastMarkerEntry_ = -1;
    userEntry_ = -1;
    scroll_.value = lastSetScroll_ = 0;
    FillEventList();
}

void EventListView::SetCurrentList(int k) {
    if (k < 1 || k > song_.ListsInUse()) return;
    currentList_ = k;
    userEntry_ = -1;
}

int32_t EventListView::PlayingEntry(int k) const {
    const int32_t next = playback_.ListNext(k);
    return next > 0 ? next - 1 : 0;
}

void EventListView::ChooseUserEntry(int32_t entry) {
    userEntry_ = entry;
    playingPageAtChoice_ = PageStart(PlayingEntry(currentList_));
}

int32_t EventListView::ShownPageStart() const {
    return lastRenderedList_ == currentList_ ? std::max(0, ListPageCache(currentList_)) : 0;
}

EventListAction EventListView::FillEventList() {
    if (mouseDown_) return {};
    const int k = currentList_;
    const int32_t count = song_.ListCount(k);
    if (scroll_.value != lastSetScroll_) {
        // The bar moved without a scroll call: the entry it points at, once.
        ChooseUserEntry(LastEntryAtMost(
            count,
            platform::RoundHalfEven(static_cast<double>(count) * scroll_.value / scroll_.maximum)));
        lastSetScroll_ = scroll_.value;
    }
    const int32_t playing = PlayingEntry(k);
    // Playback on another page than at the choice, or on the chosen page
    // itself: following shows what matters now.
    if (userEntry_ >= 0 &&
        (PageStart(playing) != playingPageAtChoice_ || PageStart(playing) == PageStart(userEntry_)))
        userEntry_ = -1;
    const int32_t entry = userEntry_ >= 0 ? userEntry_ : playing;
    const int32_t start = PageStart(entry);
    if (!force_ && k == lastRenderedList_ && start == ListPageCache(k)) {
        if (entry == lastMarkerEntry_) return {};
        lastMarkerEntry_ = entry;
        return {EventListAction::kMoveMarker, entry % kLinesPerPage};
    }
    return Render(k, entry);
}

EventListAction EventListView::EventListScrolled() {
    const int k = currentList_;
    const int32_t count = song_.ListCount(k);
    int32_t entry =
        LastEntryAtMost(count, static_cast<int32_t>(static_cast<int64_t>(count) * scroll_.value /
                                                    std::max(1, scroll_.maximum)));
    ChooseUserEntry(entry);
    return Render(k, entry);
}

EventListAction EventListView::ShowUserEntry(int32_t entry) {
    const int k = currentList_;
    const int32_t count = song_.ListCount(k);
    if (count <= 0) return {};
    entry = LastEntryAtMost(count, entry);
    ChooseUserEntry(entry);
    if (!force_ && k == lastRenderedList_ && PageStart(entry) == ListPageCache(k)) return {};
    return Render(k, entry);
}

EventListAction EventListView::Render(int k, int32_t entry) {
    const int32_t count = song_.ListCount(k);
    page_ = RenderPage(song_, k, entry, cp_);
    const int32_t start = (entry / kLinesPerPage) * kLinesPerPage;
    if (count < kLinesPerPage) {
        scroll_.value = 0;
    } else {
        scroll_.value = platform::RoundHalfEven(static_cast<double>(entry / kLinesPerPage) /
                                                (count / kLinesPerPage) * kScrollMax);
    }
    lastSetScroll_ = scroll_.value;
    if (k != lastRenderedList_ && count > 0) {
        scroll_.enabled = true;
        int step = platform::RoundHalfEven(static_cast<double>(scroll_.maximum) / count * 18);
        if (step >= 1) scroll_.smallStep = step;
    }
    lastRenderedList_ = k;
    if (k >= static_cast<int>(pageCache_.size())) pageCache_.resize(k + 1, -1);
    pageCache_[k] = start;
    force_ = false;
    lastMarkerEntry_ = entry;
    return {EventListAction::kDrawPage, entry % kLinesPerPage};
}

std::string EventListView::EventListCountText(int k) {
    const int32_t count = song_.ListCount(k);
    if (count > 0)
        scroll_.smallStep =
            platform::RoundHalfEven(static_cast<double>(scroll_.maximum) / count * 20);
    return std::to_string(count);
}

std::string EventListView::TrackNumberText() const {
    if (song_.NTracks < 16) return std::to_string(currentList_) + "/16";
    return std::to_string(currentList_) + "/" + std::to_string(song_.NTracks);
}

bool EventListView::ListMenuEntryVisible(int entry) const {
    if (entry < 16) return true;
    return song_.NTracks >= entry + 1;
}

}  // namespace sonfara::song
