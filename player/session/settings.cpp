#include "player/platform/priority.h"
#include "player/session/engine_settings.h"
#include "player/session/session.h"

namespace sonfara {

namespace {
// The fields the sound shaping is built from; a change sends the programs again.
bool ShapingChanged(const SettingsValues& a, const SettingsValues& b) {
    return a.ArrMode != b.ArrMode || a.EqActive != b.EqActive || a.EqItem != b.EqItem ||
           a.SendBankSelect != b.SendBankSelect;
}
}  // namespace

const SettingsValues& SessionSettings::Values() const {
    return s_.values_;
}

// One path for every change: the dialog, the menus, the port and the
// window places. Only what changed is applied, so a menu toggle does not
// restart the timer or send the programs again.
void SessionSettings::Edit(const std::function<void(SettingsValues&)>& change) {
    PlaybackSession::StateChange stateChange(s_);
    const SettingsValues before = s_.values_;
    change(s_.values_);
    const SettingsValues& now = s_.values_;
    Player& player = s_.player_;
    const PlaybackSettings playback = files::PlaybackSettingsFromValues(now);
    if (playback != files::PlaybackSettingsFromValues(before)) player.ApplySettings(playback);
    if (now.EffectReverb != before.EffectReverb || now.EffectChorus != before.EffectChorus)
        player.RefreshEffects();
    if (ShapingChanged(before, now)) s_.ApplyShaping();
    if (now.SynthBufferFrames != before.SynthBufferFrames) ApplySynthBuffer(now.SynthBufferFrames);
    if (now.ThreadMode != before.ThreadMode && s_.env_.priority)
        ApplyThreadMode(*s_.env_.priority, now.ThreadMode);  // a refused change is ignored
    s_.library_.fileOp_.Settings() = files::FileSettingsFromValues(now);
    if (now.TextEncoding != before.TextEncoding) s_.ApplyTextEncoding();
    s_.RefreshInfo();
    s_.ForEachObserver([&](SessionObserver* o) { o->OnSettingsChanged(now); });
}

// The open port opens again with the new buffer; playback goes on where it was.
void SessionSettings::ApplySynthBuffer(int frames) {
    s_.env_.ports.SetSynthBufferFrames(frames);
    const OutputLayer& out = s_.player_.Output();
    if (!out.PortOpen()) return;
    const PlaybackStatus opened = s_.player_.Seq().ChangeOutputPort(out.OutDevice());
    if (!opened.ok()) s_.env_.notifier.Error(opened.Message());
}

}  // namespace sonfara
