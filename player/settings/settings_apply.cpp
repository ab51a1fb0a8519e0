#include "player/settings/settings_apply.h"

namespace sonfara {

void ApplyDialogSettings(SettingsEditor& editor, ShellIntegration& shell,
                         const SettingsValues& edited,
                         const std::array<bool, kAssociableCount>& selected) {
    std::array<std::string, kAssociableCount> executable = editor.Values().Executable;
    ApplyAssociations(shell, selected, executable);
    editor.Edit([&](SettingsValues& v) {
        v.OSRetrun = edited.OSRetrun;
        v.ThreadMode = edited.ThreadMode;
        v.TaskType = edited.TaskType;
        v.MTimer = edited.MTimer;
        v.GTimer = edited.GTimer;
        v.MWRDTimer = edited.MWRDTimer;
        v.SSTP = edited.SSTP;
        v.ShowWRD = edited.ShowWRD;
        v.EasyDeltaTime = edited.EasyDeltaTime;
        v.SynthBufferFrames = edited.SynthBufferFrames;
        v.AlwaysMove = edited.AlwaysMove;
        v.Language = edited.Language;
        v.TextEncoding = edited.TextEncoding;
        v.Emulation = edited.Emulation;
        v.Executable = executable;
    });
}

bool ParseTimerText(const std::string& text, SettingRange range, int32_t& out) {
    int32_t v = 0;
    if (!ParseNumberText(text, v) || !range.Contains(v)) return false;
    out = v;
    return true;
}

}  // namespace sonfara
