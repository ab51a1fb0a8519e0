#include <algorithm>

#include "player/platform/midi.h"
#include "player/session/engine_settings.h"
#include "player/session/session.h"

namespace sonfara {

namespace {
// A menu caption by 1-based item, empty for none.
std::string CaptionAt(const std::vector<std::string>& captions, int item) {
    return item >= 1 && static_cast<size_t>(item) <= captions.size() ? captions[item - 1]
                                                                     : std::string();
}

// 1-based position of a caption, 0 when it is empty or gone.
int IndexOf(const std::vector<std::string>& captions, const std::string& caption) {
    const auto it = std::find(captions.begin(), captions.end(), caption);
    return caption.empty() || it == captions.end() ? 0
                                                   : static_cast<int>(it - captions.begin()) + 1;
}

constexpr int kEffectItems = 3;
}  // namespace

PlaybackStatus SessionOutput::ChangePort(int device) {
    OutputLayer& out = s_.player_.Output();
    if (out.PortOpen() && out.OutDevice() == device) return {};
    PlaybackStatus opened = s_.player_.Seq().ChangeOutputPort(device);
    if (!opened.ok()) s_.library_.lastError_ = opened.Message();
    const std::vector<std::string>& names = s_.portNames_;
    s_.settings_.Edit([&](SettingsValues& v) {
        v.OutDevice = device;
        v.MIDIOutPort = device >= 0 && static_cast<size_t>(device) < names.size()
                            ? names[device]
                            : std::string(kMidiMapper);
    });
    return opened;
}

void SessionOutput::SetChannelEnabled(int channel, bool enabled) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    s_.player_.SwitchChannel(channel, enabled);
}

void SessionOutput::ToggleSolo(int channel) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    if (solo_ == channel - 1) {
        solo_ = -1;
        s_.player_.SwitchChannels(0xFFFF);
    } else {
        solo_ = channel - 1;
        s_.player_.SwitchChannels(static_cast<uint16_t>(1u << (channel - 1)));
    }
    s_.RefreshInfo();
}

void SessionOutput::ChangeProgram(int channel, int program) {
    s_.player_.SendProgramChange(channel, program);
}

// A refresh of the files, not a change of the user's choice: the values
// follow the captions and the shaping is built again from the new files.
void SessionOutput::ReloadShapingCatalog() {
    SettingsValues& v = s_.values_;
    const std::string arr = CaptionAt(s_.catalog_.ArrangementCaptions(), v.ArrMode);
    const std::string eq = v.EqActive ? CaptionAt(s_.catalog_.EqCaptions(), v.EqItem) : "";
    s_.catalog_ = PlaybackSession::LoadCatalog(s_.env_.shapingFolders);
    v.ArrMode = IndexOf(s_.catalog_.ArrangementCaptions(), arr);
    v.ArrModeCap = v.ArrMode ? arr : std::string();
    v.EqItem = IndexOf(s_.catalog_.EqCaptions(), eq);
    v.EqActive = v.EqItem != 0;
    s_.ApplyShaping();
    s_.ForEachObserver([](SessionObserver* o) { o->OnCatalogChanged(); });
}

void SessionOutput::SelectArrangement(int item) {
    const auto captions = s_.catalog_.ArrangementCaptions();
    if (item < 0 || static_cast<size_t>(item) > captions.size()) return;
    s_.settings_.Edit([&](SettingsValues& v) {
        v.ArrMode = item;
        v.ArrModeCap = CaptionAt(captions, item);
    });
}

void SessionOutput::SelectEq(int item) {
    const auto captions = s_.catalog_.EqCaptions();
    if (item < 0 || static_cast<size_t>(item) > captions.size()) return;
    s_.settings_.Edit([&](SettingsValues& v) {
        v.EqItem = item;
        v.EqActive = item != 0;
        v.EqMode = CaptionAt(captions, item);
    });
}

void SessionOutput::SelectReverb(int item) {
    if (item < 0 || item >= kEffectItems) return;
    s_.settings_.Edit([item](SettingsValues& v) { v.EffectReverb = EffectValueForItem(item); });
}

void SessionOutput::SelectChorus(int item) {
    if (item < 0 || item >= kEffectItems) return;
    s_.settings_.Edit([item](SettingsValues& v) { v.EffectChorus = EffectValueForItem(item); });
}

const ShapingCatalog& SessionOutput::Catalog() const {
    return s_.catalog_;
}

const std::vector<std::string>& SessionOutput::PortNames() const {
    return s_.portNames_;
}

const ChannelState& SessionOutput::Channel(int channel) const {
    return s_.player_.Output().Channel(std::clamp(channel, 1, midi::kChannelCount));
}

OutputLayer& SessionOutput::Layer() {
    return s_.player_.Output();
}

}  // namespace sonfara
