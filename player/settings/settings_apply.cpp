#include "player/settings/settings_apply.h"

#include "player/platform/priority.h"

namespace sonfara {

void StoredSettingsApplier::ApplyThreadMode(int32_t threadMode) {
    values_.ThreadMode = threadMode;
    if (priority_) sonfara::ApplyThreadMode(*priority_, threadMode);
}

void StoredSettingsApplier::ApplyTimers(int32_t mTimer, int32_t gTimer, int32_t wrdTimer) {
    values_.MTimer = mTimer;
    values_.GTimer = gTimer;
    values_.MWRDTimer = wrdTimer;
}

void StoredSettingsApplier::ApplyOptions(const SettingsValues& v) {
    values_.SSTP = v.SSTP;
    values_.ShowWRD = v.ShowWRD;
    values_.EasyDeltaTime = v.EasyDeltaTime;
    values_.AlwaysMove = v.AlwaysMove;
    values_.MIDIEmulate = v.MIDIEmulate;
    values_.MIDIEmuGSCFG = v.MIDIEmuGSCFG;
    values_.MIDIEmuXGCFG = v.MIDIEmuXGCFG;
    values_.SMFKBank = v.SMFKBank;
    values_.SMFKRythm = v.SMFKRythm;
}

void ApplySettingsInOrder(SettingsApplier& applier, ShellIntegration& shell,
                          const SettingsValues& edited,
                          const std::array<bool, kAssociableCount>& selected) {
    applier.ApplyOsReturn(edited.OSRetrun);
    applier.ApplyThreadMode(edited.ThreadMode);
    applier.ApplyTaskType(edited.TaskType);
    applier.ApplyTimers(edited.MTimer, edited.GTimer, edited.MWRDTimer);
    applier.ApplyOptions(edited);
    std::array<std::string, kAssociableCount> executable = applier.Values().Executable;
    ApplyAssociations(shell, selected, executable);
    applier.ApplyExecutables(executable);
}

bool ParseTimerText(const std::string& text, TimerRange range, int32_t& out) {
    int32_t v = 0;
    if (!ParseNumberText(text, v) || v < range.min || v > range.max) return false;
    out = v;
    return true;
}

}  // namespace sonfara
