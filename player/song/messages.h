// Failures of the SMF reader and their texts: the reason the title label
// shows inside "読み込みエラー（…）". One table; the loader, the player and
// the command line take the texts from here.
#pragma once

#include <string>

#include "player/platform/language.h"
#include "player/platform/result.h"

namespace sonfara::song {

// Why a load failed. The numbered ones are shown as "ErrorNo N" and are
// stable: users quote them in reports. The format's own faults are named
// in their text instead.
enum class LoadError : int {
    kNone = 0,
    kCannotRead = 1,        // file cannot be opened or read
    kOutOfMemory = 2,       // allocation failed
    kChunkPastEnd = 3,      // a chunk length runs past the end of the file
    kNumberTooLarge = 4,    // a variable-length value or a tick beyond 32 bits
    kEventPastChunk = 5,    // an event's bytes run past the end of its chunk
    kTrackCount = 6,        // NTracks is 0
    kTooManyExtEvents = 7,  // no longer raised (was: more than 32767 SysEx and meta events)
    kMissingChunks = 8,     // the file ends before NTracks chunks
    kBadDivision = 9,       // division 0, or an SMPTE division without frames
    kShortHeader = 10,      // "MThd" but fewer than 14 bytes
    kFileTooLarge = 11,     // the file is larger than kMaxSmfFileBytes
    kCancelled = 12,        // LoadOptions::progress asked to stop
    kHeader = 100,          // no "MThd" at the start
    kSysEx = 101,           // an F-status byte that is no SysEx, escape or meta
    kEvent = 102,           // a data byte where a status byte is required;
                            // detail: the previous event's bytes and that byte
};

// Shown while DetectModule scans the file.
inline constexpr const char* kDetectingModuleText = "対応MIDI音源検索中";

namespace msg {
inline constexpr const char* kHeaderError = "Header Error";
inline constexpr const char* kSysExError = "SYSEX Error";
inline constexpr const char* kEventError = "Event Error:";
inline constexpr const char* kErrorNo = "ErrorNo ";
inline constexpr const char* kLoadError = "読み込みエラー";
// The title label after a failed load: kLoadError + "（" + reason + "）".
inline std::string LoadErrorCaption(const std::string& reason) {
    if (platform::UiLanguage() == platform::Language::kEnglish)
        return "Load error (" + reason + ")";
    return std::string(kLoadError) + "（" + reason + "）";
}
// The texts above in English; the reasons are English already.
inline const platform::MessageTranslations kEnglish{
    {kLoadError, "Load error"},
    {kDetectingModuleText, "Looking for the sound module"},
};
}  // namespace msg

// The reason as the title label shows it: "Header Error", "SYSEX Error",
// "Event Error:90 3C 64 3E", "ErrorNo 5".
inline std::string MessageFor(LoadError code, const std::string& detail) {
    switch (code) {
        case LoadError::kHeader:
            return song::msg::kHeaderError;
        case LoadError::kSysEx:
            return song::msg::kSysExError;
        case LoadError::kEvent:
            return song::msg::kEventError + detail;
        default:
            return song::msg::kErrorNo + std::to_string(static_cast<int>(code));
    }
}

// What LoadSMF returns: ok(), or the code; Message() is the reason.
using LoadStatus = platform::Status<LoadError>;

}  // namespace sonfara::song
