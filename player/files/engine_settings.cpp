#include "player/files/engine_settings.h"

namespace sonfara::files {

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
    if (v.MTimer >= 1 && v.MTimer <= 1000) p.MTimer = v.MTimer;
    p.EasyDeltaTime = v.EasyDeltaTime;
    p.RepeatMode = v.RepeatMode;
    p.SendSysEX = v.SendSysEX;
    p.SendBankSelect = v.SendBankSelect;
    p.EffectReverb = v.EffectReverb;
    p.EffectChorus = v.EffectChorus;
    // The stored name selects the port only when it is still present.
    p.MIDIOutPort = v.OutDevice >= 0 ? v.MIDIOutPort : std::string(kMidiMapper);
    return p;
}

SoundShaping SoundShapingFromValues(const SettingsValues& v, const ShapingCatalog& catalog) {
    return MakeSoundShaping(catalog, v.ArrMode, v.EqActive ? v.EqItem : 0);
}

FileSettings FileSettingsFromValues(const SettingsValues& v) {
    FileSettings f;
    f.FileSort = v.FileSort;
    f.DefDir = v.DefDir;
    f.MIDIEmulate = v.MIDIEmulate;
    f.MIDIEmuGSCFG = v.MIDIEmuGSCFG;
    f.MIDIEmuXGCFG = v.MIDIEmuXGCFG;
    f.SMFKBank = v.SMFKBank;
    f.SMFKRythm = v.SMFKRythm;
    // An endless loop plays at least once; beyond 99 a song never ends.
    f.RcpLoopCount = v.RcpLoopCount >= 1 && v.RcpLoopCount <= 99 ? v.RcpLoopCount : 2;
    return f;
}

}  // namespace sonfara::files
