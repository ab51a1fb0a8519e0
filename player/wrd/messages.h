// User texts of the WRD presentation (message boxes in the GUI, stderr on the
// command line). Texts are UTF-8.
#pragma once

#include "player/platform/language.h"
#include "player/wrd/compiler.h"

namespace sonfara::wrd {

namespace msg {
inline constexpr const char* kScriptUnreadable = "WRDファイルが読み込めません";
inline constexpr const char* kScriptTooLarge = "WRDファイルが大きすぎるため表示できません";
inline constexpr const char* kLineTooLong = "WRDファイルの行が長すぎるため表示できません";
inline constexpr const char* kTooManyEvents = "WRDファイルの命令が多すぎるため表示できません";
inline const platform::MessageTranslations kEnglish{
    {kScriptUnreadable, "Cannot read the WRD file"},
    {kScriptTooLarge, "The WRD file is too large to show"},
    {kLineTooLong, "A line of the WRD file is too long to show"},
    {kTooManyEvents, "The WRD file has too many commands to show"},
};
}  // namespace msg

// The text that tells the user why a script was refused; empty for kNone.
inline const char* WrdFaultMessage(WrdScriptFault fault) {
    switch (fault) {
        case WrdScriptFault::kTooLarge:
            return msg::kScriptTooLarge;
        case WrdScriptFault::kLineTooLong:
            return msg::kLineTooLong;
        case WrdScriptFault::kTooManyEvents:
            return msg::kTooManyEvents;
        case WrdScriptFault::kNone:
            break;
    }
    return "";
}

}  // namespace sonfara::wrd
