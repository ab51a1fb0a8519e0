#include "player/session/output.h"

#include <algorithm>

#include "player/platform/midi.h"
#include "player/session/engine_settings.h"

namespace sonfara::session {

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

SessionOutput::SessionOutput(SessionCore& core) : core_(core) {
    core_.AddPart(*this);
}

void SessionOutput::FillInfo(SessionInfo& info) const {
    info.soloChannel = solo_;
}

// Captions read in a new encoding: the menus are read again.
void SessionOutput::ValuesChanged(const settings::SettingsValues& before,
                                  const settings::SettingsValues& now) {
    if (now.textEncoding != before.textEncoding) ReloadShapingCatalog();
}

sequencer::PlaybackStatus SessionOutput::ChangePort(int device) {
    sequencer::OutputLayer& out = core_.GetPlayer().Output();
    if (out.PortOpen() && out.OutDevice() == device) return {};
    sequencer::PlaybackStatus opened = core_.GetPlayer().Seq().ChangeOutputPort(device);
    if (!opened.ok()) core_.SetLastError(opened.Message());
    const std::vector<std::string>& names = core_.PortNames();
    core_.Editor().Edit([&](settings::SettingsValues& v) {
        v.outDevice = device;
        v.midiOutPort = device >= 0 && static_cast<size_t>(device) < names.size()
                            ? names[device]
                            : std::string(settings::kMidiMapper);
    });
    return opened;
}

void SessionOutput::SetChannelEnabled(int channel, bool enabled) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    core_.GetPlayer().SwitchChannel(channel, enabled);
}

void SessionOutput::ToggleSolo(int channel) {
    if (channel < 1 || channel > midi::kChannelCount) return;
    if (solo_ == channel - 1) {
        solo_ = -1;
        core_.GetPlayer().SwitchChannels(0xFFFF);
    } else {
        solo_ = channel - 1;
        core_.GetPlayer().SwitchChannels(static_cast<uint16_t>(1u << (channel - 1)));
    }
    core_.RefreshInfo();
}

void SessionOutput::ChangeProgram(int channel, int program) {
    core_.GetPlayer().SendProgramChange(channel, program);
}

// A refresh of the files, not a change of the user's choice: the values
// follow the captions and the shaping is built again from the new files.
void SessionOutput::ReloadShapingCatalog() {
    settings::SettingsValues& v = core_.Values();
    files::ShapingCatalog& catalog = core_.Catalog();
    const std::string arr = CaptionAt(catalog.ArrangementCaptions(), v.arrangementItem);
    const std::string eq = v.eqActive ? CaptionAt(catalog.EqCaptions(), v.eqItem) : "";
    catalog = SessionCore::LoadCatalog(core_.Env().shapingFolders);
    v.arrangementItem = IndexOf(catalog.ArrangementCaptions(), arr);
    v.arrangementCaption = v.arrangementItem ? arr : std::string();
    v.eqItem = IndexOf(catalog.EqCaptions(), eq);
    v.eqActive = v.eqItem != 0;
    core_.ApplyShaping();
    core_.ForEachObserver([](SessionObserver* o) { o->OnCatalogChanged(); });
}

void SessionOutput::SelectArrangement(int item) {
    const auto captions = core_.Catalog().ArrangementCaptions();
    if (item < 0 || static_cast<size_t>(item) > captions.size()) return;
    core_.Editor().Edit([&](settings::SettingsValues& v) {
        v.arrangementItem = item;
        v.arrangementCaption = CaptionAt(captions, item);
    });
}

void SessionOutput::SelectEq(int item) {
    const auto captions = core_.Catalog().EqCaptions();
    if (item < 0 || static_cast<size_t>(item) > captions.size()) return;
    core_.Editor().Edit([&](settings::SettingsValues& v) {
        v.eqItem = item;
        v.eqActive = item != 0;
        v.eqCaption = CaptionAt(captions, item);
    });
}

void SessionOutput::SelectReverb(int item) {
    if (item < 0 || item >= kEffectItems) return;
    core_.Editor().Edit([item](settings::SettingsValues& v) {
        v.effectReverb = settings::EffectValueForItem(item);
    });
}

void SessionOutput::SelectChorus(int item) {
    if (item < 0 || item >= kEffectItems) return;
    core_.Editor().Edit([item](settings::SettingsValues& v) {
        v.effectChorus = settings::EffectValueForItem(item);
    });
}

const files::ShapingCatalog& SessionOutput::Catalog() const {
    return core_.Catalog();
}

const std::vector<std::string>& SessionOutput::PortNames() const {
    return core_.PortNames();
}

const sequencer::ChannelState& SessionOutput::Channel(int channel) const {
    return core_.GetPlayer().Output().Channel(std::clamp(channel, 1, midi::kChannelCount));
}

sequencer::OutputLayer& SessionOutput::Layer() {
    return core_.GetPlayer().Output();
}

}  // namespace sonfara::session
