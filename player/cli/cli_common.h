// Shared pieces of sonfara-cli's commands.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/platform/codepage.h"
#include "player/platform/language.h"
#include "player/song/song_table.h"

namespace sonfara::cli {

// The command line's own user texts, with their English.
namespace msg {
inline constexpr const char* kRenderHint =
    "音声出力がない環境では render で WAV ファイルに書き出せます: ";
inline constexpr const char* kCannotWrite = "書き込めません: ";
inline const platform::MessageTranslations kEnglish{
    {kRenderHint, "Without an audio output, render writes a WAV file: "},
    {kCannotWrite, "Cannot write: "},
};
}  // namespace msg

// Command-line words split into positionals, valued options and flags.
struct Args {
    std::vector<std::string> positional;
    std::map<std::string, std::string> values;  // --name VALUE
    std::map<std::string, bool> flags;          // --name
    std::string error;                          // non-empty: bad usage

    bool Flag(const std::string& n) const { return flags.count(n) > 0; }
    std::optional<std::string> Value(const std::string& n) const;
};

// `valued` lists the options that take a value (without the dashes).
Args ParseArgs(const std::vector<std::string>& words, const std::vector<std::string>& valued,
               const std::vector<std::string>& known_flags);

// Parses a whole decimal number; nullopt on anything else.
std::optional<long> ParseInt(const std::string& s);

// The code page: --codepage NAME, else $SONFARA_CODEPAGE, else CP932. A
// --codepage becomes the program's code page (SetSystemCodePage) and the
// encoding every text from files is read in (SetCommandLineTextEncoding).
const platform::CodePage& CliCodePage(const Args& a);

// Loads a song as the player would, unwrapping .rmi files and converting
// Recomposer files (`rcpLoops` plays of an endless loop) first. On failure
// prints the message to stderr and returns false. `converted` (when given)
// receives the SMF image of a converted song, else stays empty.
bool LoadSongForCli(const std::string& path, song::SongTable& song, const platform::CodePage& cp,
                    std::string* converted = nullptr, int rcpLoops = 2);

// --loops N: plays of an endless loop in Recomposer songs (1..99); nullopt,
// with the complaint printed, when the value is no such number.
std::optional<int> LoopsOption(const Args& a);

// The file name part of a path, for display.
std::string BaseName(const std::string& path);

// "mm:ss" of a song time (negative times as 00:00).
std::string MinutesSeconds(int32_t ms);

// Upper-case hex of bytes without separators.
std::string HexBytes(std::span<const uint8_t> b);

}  // namespace sonfara::cli
