// User texts of the audio export (the session layer's table, kept in a file
// of its own).
#pragma once

#include "player/platform/language.h"

namespace sonfara::session::msg {

// kCannotWrite + path + " (" + reason + ")".
inline constexpr const char* kCannotWrite = "書き込めません: ";
// kFormatUnavailable + "flac" or "ogg": the sound-file library lacks the codec.
inline constexpr const char* kFormatUnavailable = "この形式では書き出せません: ";
// The song did not start and no layer said why: kSongFailed + file name.
inline constexpr const char* kSongFailed = "曲を読み込めません: ";
// The loop count is endless: kLoopsNeverEnd + file name.
inline constexpr const char* kLoopsNeverEnd = "ループ回数が無限のため書き出せません: ";

// The texts above in English.
inline const platform::MessageTranslations kExportEnglish{
    {kCannotWrite, "Cannot write: "},
    {kFormatUnavailable, "Cannot write in this format: "},
    {kSongFailed, "Cannot load the song: "},
    {kLoopsNeverEnd, "The loop count is endless, so nothing can be written: "},
};

}  // namespace sonfara::session::msg
