// sonfara-cli wrd: the compiled WRD events of a song, or its composed frame
// at a song position written as a PNG picture.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <iostream>
#include <optional>

#include "player/cli/cli_common.h"
#include "player/cli/commands.h"
#include "player/cli/json.h"
#include "player/cli/png_writer.h"
#include "player/song/song_table.h"
#include "player/wrd/runtime.h"

namespace sonfara::cli {
namespace {

class FixedClock : public wrd::WrdClock {
  public:
    int32_t SongPositionMs() const override { return ms; }
    int32_t ms = 0;
};

// Arguments on one text line: control characters written as escapes.
std::string Printable(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
        if (c == '\t')
            out += "\\t";
        else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

int RunWrd(const std::vector<std::string>& words) {
    Args a = ParseArgs(words, {"codepage", "at", "o"}, {"json", "events"});
    const char* usage = "usage: sonfara-cli wrd SONG [--events] [--json] [--at MS -o FRAME.png]\n";
    if (!a.error.empty() || a.positional.size() != 1) {
        if (!a.error.empty()) std::cerr << "sonfara-cli wrd: " << a.error << "\n";
        std::cerr << usage;
        return 2;
    }
    std::optional<long> at;
    if (auto v = a.Value("at")) {
        at = ParseInt(*v);
        if (!at || *at < 0 || !a.Value("o")) {
            std::cerr << "sonfara-cli wrd: --at needs a position in ms (0 or more) and -o FILE\n"
                      << usage;
            return 2;
        }
    } else if (a.Value("o")) {
        std::cerr << "sonfara-cli wrd: -o needs --at MS\n" << usage;
        return 2;
    }
    const CodePage& cp = CliCodePage(a);
    const std::string& path = a.positional[0];
    SongTable song;
    if (!LoadSongForCli(path, song, cp)) return 1;

    FixedClock clock;
    wrd::WrdWindow window;
    wrd::WrdRuntime rt(clock, window);
    const wrd::WrdLoad load = rt.LoadWrdScript(path, song, wrd::WrdSettings{});
    if (load == wrd::WrdLoad::kNoScript) {
        std::cerr << "sonfara-cli wrd: no WRD script beside " << path << "\n";
        return 1;
    }
    if (load != wrd::WrdLoad::kActive) {
        std::cerr << "sonfara-cli wrd: the WRD script could not be read\n";
        return 1;
    }

    if (at) {
        clock.ms = static_cast<int32_t>(std::min<long>(*at, INT32_MAX));
        rt.RunDueWrdEvents();
        const wrd::Surface& f = rt.ComposeFrame();
        const std::string out = *a.Value("o");
        if (!WritePng(out, f.Width(), f.Height(), f.Row(0), f.Width())) {
            std::cerr << "sonfara-cli wrd: cannot write " << out << "\n";
            return 1;
        }
        if (!a.Flag("events")) return 0;
    }

    const auto& events = rt.Events();
    if (a.Flag("json")) {
        JsonWriter j;
        j.BeginArray();
        for (size_t i = 0; i < events.size(); ++i) {
            const auto& e = events[i];
            j.BeginObject();
            j.Key("n");
            j.Int(static_cast<int64_t>(i) + 1);
            j.Key("opcode");
            j.Int(e.opcode);
            j.Key("tick");
            j.Int(e.tick);
            j.Key("ms");
            j.Int(e.ms);
            j.Key("arg");
            j.String(cp.ToUtf8(e.arg));
            j.EndObject();
        }
        j.EndArray();
        std::cout << j.Text() << "\n";
        return 0;
    }
    for (size_t i = 0; i < events.size(); ++i) {
        const auto& e = events[i];
        std::cout << (i + 1) << '\t' << int(e.opcode) << '\t' << e.tick << '\t' << e.ms << '\t'
                  << Printable(cp.ToUtf8(e.arg)) << '\n';
    }
    return 0;
}

}  // namespace sonfara::cli
