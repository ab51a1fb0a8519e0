#include "player/session/settings.h"

#include "player/platform/priority.h"
#include "player/session/engine_settings.h"

namespace sonfara::session {

namespace {
// The fields the sound shaping is built from; a change sends the programs again.
bool ShapingChanged(const settings::SettingsValues& a, const settings::SettingsValues& b) {
    return a.arrangementItem != b.arrangementItem || a.eqActive != b.eqActive ||
           a.eqItem != b.eqItem || a.sendBankSelect != b.sendBankSelect;
}
}  // namespace

SessionSettings::SessionSettings(SessionCore& core) : core_(core) {
    core_.SetEditor(*this);
}

const settings::SettingsValues& SessionSettings::Values() const {
    return core_.Values();
}

// One path for every change: the dialog, the menus, the port and the
// window places. Only what changed is applied, so a menu toggle does not
// restart the timer or send the programs again.
void SessionSettings::Edit(const std::function<void(settings::SettingsValues&)>& change) {
    SessionCore::StateChange stateChange(core_);
    const settings::SettingsValues before = core_.Values();
    change(core_.Values());
    const settings::SettingsValues& now = core_.Values();
    sequencer::Player& player = core_.GetPlayer();
    const sequencer::PlaybackSettings playback = PlaybackSettingsFromValues(now);
    if (playback != PlaybackSettingsFromValues(before)) player.ApplySettings(playback);
    if (now.effectReverb != before.effectReverb || now.effectChorus != before.effectChorus)
        player.RefreshEffects();
    if (ShapingChanged(before, now)) core_.ApplyShaping();
    if (now.synthBufferFrames != before.synthBufferFrames) ApplySynthBuffer(now.synthBufferFrames);
    if (now.threadMode != before.threadMode && core_.Env().priority)
        platform::ApplyThreadMode(*core_.Env().priority,
                                  now.threadMode);  // a refused change is ignored
    core_.ValuesChanged(before, now);               // the file switches, the text encoding
    core_.RefreshInfo();
    core_.ForEachObserver([&](SessionObserver* o) { o->OnSettingsChanged(now); });
}

// The open port opens again with the new buffer; playback goes on where it was.
void SessionSettings::ApplySynthBuffer(int frames) {
    const SessionEnv& env = core_.Env();
    env.ports.SetSynthBufferFrames(frames);
    sequencer::Player& player = core_.GetPlayer();
    const sequencer::OutputLayer& out = player.Output();
    if (!out.PortOpen()) return;
    const sequencer::PlaybackStatus opened = player.Seq().ChangeOutputPort(out.OutDevice());
    if (!opened.ok()) env.notifier.Error(opened.Message());
}

}  // namespace sonfara::session
