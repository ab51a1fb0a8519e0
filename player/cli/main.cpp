// sonfara-cli: the player's engine without a window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/session/translations.h"
#include "player/settings/settings_store.h"

namespace {

using sonfara::cli::Command;

const Command kCommands[] = {
    {"info", "info FILE [--json] [--loops N]  song information and module scan",
     sonfara::cli::RunInfo},
    {"dump",
     "dump FILE [--json] [--loops N]  every event: track event tick ms status data1 data2 length "
     "[payload]\n"
     "  dump FILE --list K [--page P]  page P (1-based, 17 lines) of display list K as the event "
     "list shows it",
     sonfara::cli::RunDump},
    {"inst", "inst BANK MAP PROGRAM         instrument label (program number and name) from SfrLib",
     sonfara::cli::RunInst},
    {"settings", "settings [--json] [--file PATH]  every setting: key, value, default or set",
     sonfara::cli::RunSettings},
    {"wrd",
     "wrd SONG [--events] [--json] [--at MS -o FRAME.png]\n"
     "                                the WRD script beside SONG: its compiled events (number, "
     "opcode,\n"
     "                                tick, ms, argument), or the composed 640x480 frame at MS as "
     "PNG",
     sonfara::cli::RunWrd},
    {"lyrics",
     "lyrics SONG [--lrc|--words] [-o FILE]\n"
     "                                the sung lyrics line by line (a blank line between pages); "
     "--lrc as\n"
     "                                LRC with each line's time, --words as enhanced LRC with each "
     "syllable's time",
     sonfara::cli::RunLyrics},
    {"list",
     "list PATH... [--json] [--sort] [--titles]  play-list entries opening the paths would make:\n"
     "                                FileName, Folder, ArchiveName, ListFile (tab-separated),\n"
     "                                with --titles also each song's title",
     sonfara::cli::RunList},
    {"convert",
     "convert SONG.rcp -o SONG.mid [--loops N]   a Recomposer song saved as a Standard MIDI File\n"
     "  convert FOLDER -o OUTFOLDER [--loops N]   every Recomposer song of FOLDER as "
     "OUTFOLDER/NAME.mid",
     sonfara::cli::RunConvert},
    {"library",
     "library add DIR... | remove DIR... | scan [--jobs N] | search QUERY... [--json] [--limit N] "
     "| stats [--json]\n"
     "                                the song library: folders scanned for songs (also in "
     "archives),\n"
     "                                found by words and filters (module:gs length:<3:00 "
     "has:lyrics\n"
     "                                has:wrd program:19 folder:NAME sort:-length); "
     "--database FILE",
     sonfara::cli::RunLibrary},
    {"play",
     "play PATH... [--port NAME|--list-ports] [--repeat 0-3] [--speed PCT] [--transpose N] "
     "[--soundfont PATH]\n"
     "          [--arrangement NAME] [--eq NAME] [--loop-count N|endless] [--fade S] [--ab A,B]\n"
     "          [--settings FILE|--no-settings]\n"
     "                                real-time playback with a status line (--port monitor prints "
     "the messages)",
     sonfara::cli::RunPlay},
    {"render",
     "render PATH -o OUT.wav|OUT.flac|OUT.ogg [--entry N] [--format wav|flac|ogg] [--soundfont "
     "PATH]\n"
     "          [--rate HZ] [--arrangement NAME] [--eq NAME] [--loop-count N] [--fade S] [--ab "
     "A,B]\n"
     "          [--settings FILE|--no-settings]\n"
     "                                offline through the built-in synthesizer into an audio file\n"
     "  render PATH... -o FOLDER [--jobs N] [the options above]   every song as FOLDER/NAME.wav "
     "(.flac, .ogg)",
     sonfara::cli::RunRender},
};

void PrintHelp() {
    std::printf(
        "sonfara-cli: Sonfara's engine from the command line\n\n"
        "usage: sonfara-cli COMMAND [ARGS]\n"
        "       sonfara-cli --help | --version\n\ncommands:\n");
    for (const auto& c : kCommands) std::printf("  %s\n", c.usage);
    std::printf(
        "\ncommon options:\n"
        "  --codepage NAME   read every text from files in NAME instead of deciding per song or\n"
        "                    file; also the code page of notices and written lists\n"
        "                    (default: decided; notices in CP932, or $SONFARA_CODEPAGE)\n"
        "  --json            one JSON document instead of text (UTF-8)\n\n"
        "Recomposer songs (.rcp .r36 .r18 .g36 .g18, and .mcp with a Recomposer header) are "
        "converted\n"
        "on the way in by every command, with control files (.cm6 .gsd) read from beside them.\n"
        "An endless loop plays twice: --loops N (info, dump, convert) or the setting RcpLoopCount\n"
        "(play, render) changes that.\n\n"
        "play and render: PATH is a song (.mid, .rmi, .rcp...), a list file (.mlt), an archive\n"
        "(.lzh, .zip...) or a folder; all open as the player's open command does. The player's\n"
        "settings file is read (--settings FILE another one, --no-settings none); options given\n"
        "here win over it. --arrangement and --eq take a menu caption, a file name without its\n"
        "extension, the menu number, or none; presets come from the shipped arr and eq folders\n"
        "(PREFIX/share/sonfara when installed in PREFIX/bin, else the program's own folder)\n"
        "and $XDG_DATA_HOME/Sonfara/arr and /eq. Without --repeat a song or list plays once unless "
        "the\n"
        "settings repeat the song (1) or play at random (2).\n\n"
        "Loops: a song marks its loop with controller 111 (from there to its end) or with the "
        "markers\n"
        "loopStart and loopEnd. --loop-count N plays that section N more times (0 none, endless; "
        "the\n"
        "setting LoopCount otherwise), --fade S then fades out over S seconds while it repeats\n"
        "(LoopFade). --ab A,B marks a section by hand, A and B as m:ss.mmm or bar.beat (from 1, "
        "as\n"
        "the status line counts): with --loop-count 1-9 it is repeated as a loop, else play "
        "repeats\n"
        "it as often as the setting LoopCount says, as the player does, or until stopped when "
        "that\n"
        "is 0 or endless (a render has to end, so it needs the count). A render with loops is as\n"
        "long as they make it.\n\n"
        "render: the format is --format, else the extension of -o (.wav, .flac, .ogg or .oga), "
        "else\n"
        "WAV; WAV and FLAC are 16-bit, Ogg Vorbis is quality 0.6. -o names a folder when it is "
        "one,\n"
        "ends in /, or has none of those extensions while the paths hold several songs (and no\n"
        "--entry): every song is rendered into it, --jobs N at a time (default one per "
        "processor),\n"
        "each named after its song (a name already given keeps the song's extension, a.rcp.wav,\n"
        "then gets a number, a-2.wav); a song that fails is reported and the others go on. A file\n"
        "appears only when it is complete: a stopped or failed render leaves none (nor changes an\n"
        "older file of that name).\n\n"
        "dump's text lines: track and event numbers (1-based), absolute tick, time in ms,\n"
        "status in hex, data1 and data2 in decimal, length, and for F0/F7/FF events the\n"
        "stored payload in upper-case hex (meta events: type byte first). For SysEx and meta\n"
        "events data1/data2 hold the payload's row number (high, low byte). Program changes\n"
        "end in inst=NNN:Name, named for the bank selects seen before in the same track.\n\n"
        "lyrics: lyric events (FF 05, with the Japanese karaoke marks / line end, < new page,\n"
        "^ space) or the words track of a .kar file (\\ new page, / new line, @ header lines).\n\n"
        "exit status: 0 success, 1 the file could not be loaded or has nothing to show (wrd "
        "without\n"
        "a script, lyrics without lyrics; render: any song of a folder; message on stderr), 2 bad "
        "usage,\n"
        "3 (play) no output port could be opened, e.g. no audio device for the built-in "
        "synthesizer,\n"
        "128+N (play, render) stopped by signal N after a clean stop (130 for Ctrl-C)\n"
        "Every command answers --help with its usage.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") ||
        !std::strcmp(argv[1], "help")) {
        PrintHelp();
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("sonfara-cli %s\n", SONFARA_VERSION);
        return 0;
    }
    // Usage and help stay English; the messages follow the user's language.
    sonfara::session::StartUiLanguage(sonfara::settings::IniSettingsStore::DefaultPath());
    sonfara::platform::RegisterTranslations(sonfara::cli::msg::kEnglish);
    std::vector<std::string> args(argv + 2, argv + argc);
    for (const auto& c : kCommands) {
        if (c.name != std::string(argv[1])) continue;
        // Every command answers --help with its usage, before any other check.
        for (const auto& w : args) {
            if (w == "--help" || w == "-h") {
                std::printf("usage: sonfara-cli %s\n", c.usage);
                return 0;
            }
        }
        return c.run(args);
    }
    std::fprintf(stderr, "sonfara-cli: unknown command '%s' (see --help)\n", argv[1]);
    return 2;
}
