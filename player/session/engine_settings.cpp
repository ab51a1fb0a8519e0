#include "player/session/engine_settings.h"

namespace sonfara {

SettingsMenus MenusFor(const ShapingCatalog& catalog, std::vector<std::string> ports) {
    SettingsMenus m;
    m.arrangements = catalog.ArrangementCaptions();
    m.eq_presets = catalog.EqCaptions();
    m.ports = std::move(ports);
    return m;
}

PlaybackSettings PlaybackSettingsFromValues(const SettingsValues& v) {
    PlaybackSettings p;
    // A period of 0 or less would make the timer spin; a hand-edited file
    // must not freeze playback.
    p.MTimer = SettingWithinRange("MTimer", v.MTimer);
    p.EasyDeltaTime = v.EasyDeltaTime;
    p.RepeatMode = v.RepeatMode;
    p.SendSysEX = v.SendSysEX;
    p.SendBankSelect = v.SendBankSelect;
    p.EffectReverb = v.EffectReverb;
    p.EffectChorus = v.EffectChorus;
    // The stored name selects the port only when it is still present.
    p.MIDIOutPort = v.OutDevice >= 0 ? v.MIDIOutPort : std::string(kMidiMapper);
    p.LoopCount = SettingWithinRange("LoopCount", v.LoopCount);
    p.LoopFadeSeconds = SettingWithinRange("LoopFade", v.LoopFade);
    return p;
}

SoundShaping SoundShapingFromValues(const SettingsValues& v, const ShapingCatalog& catalog) {
    return MakeSoundShaping(catalog, v.ArrMode, v.EqActive ? v.EqItem : 0);
}

files::FileSettings FileSettingsFromValues(const SettingsValues& v) {
    files::FileSettings f;
    f.FileSort = v.FileSort;
    f.DefDir = v.DefDir;
    f.Emulation = v.Emulation;
    f.RcpLoopCount = SettingWithinRange("RcpLoopCount", v.RcpLoopCount);
    return f;
}

}  // namespace sonfara
