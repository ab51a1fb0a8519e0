#include "player/session/engine_settings.h"

namespace sonfara::session {

settings::SettingsMenus MenusFor(const files::ShapingCatalog& catalog,
                                 std::vector<std::string> ports) {
    settings::SettingsMenus m;
    m.arrangements = catalog.ArrangementCaptions();
    m.eq_presets = catalog.EqCaptions();
    m.ports = std::move(ports);
    return m;
}

sequencer::PlaybackSettings PlaybackSettingsFromValues(const settings::SettingsValues& v) {
    sequencer::PlaybackSettings p;
    // A period of 0 or less would make the timer spin; a hand-edited file
    // must not freeze playback.
    p.mainTimerMs = settings::SettingWithinRange("MTimer", v.mainTimerMs);
    p.easyDeltaTime = v.easyDeltaTime;
    p.repeatMode = v.repeatMode;
    p.sendSysEx = v.sendSysEx;
    p.sendBankSelect = v.sendBankSelect;
    p.effectReverb = v.effectReverb;
    p.effectChorus = v.effectChorus;
    // The stored name selects the port only when it is still present.
    p.midiOutPort = v.outDevice >= 0 ? v.midiOutPort : std::string(settings::kMidiMapper);
    p.loopCount = settings::SettingWithinRange("LoopCount", v.loopCount);
    p.loopFadeSeconds = settings::SettingWithinRange("LoopFade", v.loopFadeSeconds);
    return p;
}

sequencer::SoundShaping SoundShapingFromValues(const settings::SettingsValues& v,
                                               const files::ShapingCatalog& catalog) {
    return files::MakeSoundShaping(catalog, v.arrangementItem, v.eqActive ? v.eqItem : 0);
}

files::FileSettings FileSettingsFromValues(const settings::SettingsValues& v) {
    files::FileSettings f;
    f.fileSort = v.fileSort;
    f.lastFolder = v.lastFolder;
    f.moduleEmulation = v.moduleEmulation;
    f.rcpLoopCount = settings::SettingWithinRange("RcpLoopCount", v.rcpLoopCount);
    return f;
}

}  // namespace sonfara::session
