#include "player/cli/cli_common.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "player/files/paths.h"
#include "player/files/song_reader.h"
#include "player/platform/text_decoding.h"

namespace sonfara::cli {

std::optional<std::string> Args::Value(const std::string& n) const {
    auto it = values.find(n);
    if (it == values.end()) return std::nullopt;
    return it->second;
}

Args ParseArgs(const std::vector<std::string>& words, const std::vector<std::string>& valued,
               const std::vector<std::string>& known_flags) {
    Args a;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (w.size() > 2 && w.compare(0, 2, "--") == 0) {
            std::string name = w.substr(2);
            std::string inlineValue;
            bool hasInline = false;
            if (auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name = name.substr(0, eq);
                hasInline = true;
            }
            if (std::find(valued.begin(), valued.end(), name) != valued.end()) {
                if (hasInline) {
                    a.values[name] = inlineValue;
                } else if (i + 1 < words.size()) {
                    a.values[name] = words[++i];
                } else {
                    a.error = "--" + name + " needs a value";
                }
            } else if (std::find(known_flags.begin(), known_flags.end(), name) !=
                       known_flags.end()) {
                a.flags[name] = true;
            } else {
                a.error = "unknown option --" + name;
            }
        } else if (w == "-o" && std::find(valued.begin(), valued.end(), "o") != valued.end()) {
            if (i + 1 < words.size())
                a.values["o"] = words[++i];
            else
                a.error = "-o needs a value";
        } else {
            a.positional.push_back(w);
        }
    }
    return a;
}

std::optional<long> ParseInt(const std::string& s) {
    if (s.empty()) return std::nullopt;
    size_t pos = 0;
    try {
        long v = std::stol(s, &pos, 10);
        if (pos != s.size()) return std::nullopt;
        return v;
    } catch (...) {
        return std::nullopt;
    }
}

const platform::CodePage& CliCodePage(const Args& a) {
    // The program's one code page: notices, our own files and EQ captions
    // use it. Named on the command line, it is also the user's choice for
    // every text read from files, over the stored setting.
    if (auto name = a.Value("codepage")) {
        platform::SetSystemCodePage(*name);
        platform::SetCommandLineTextEncoding(platform::SystemCodePage().Name());
    }
    return platform::SystemCodePage();
}

std::string BaseName(const std::string& path) {
    auto p = path.find_last_of("/\\");
    return p == std::string::npos ? path : path.substr(p + 1);
}

std::string MinutesSeconds(int32_t ms) {
    char b[32];
    const int32_t s = ms < 0 ? 0 : ms / 1000;
    std::snprintf(b, sizeof b, "%02d:%02d", s / 60, s % 60);
    return b;
}

std::string HexBytes(std::span<const uint8_t> b) {
    std::string s;
    s.reserve(b.size() * 2);
    static const char* const kDigits = "0123456789ABCDEF";
    for (uint8_t v : b) {
        s += kDigits[v >> 4];
        s += kDigits[v & 15];
    }
    return s;
}

std::optional<int> LoopsOption(const Args& a) {
    const auto text = a.Value("loops");
    if (!text) return files::kDefaultEndlessLoops;
    const auto v = ParseInt(*text);
    if (!v || *v < 1 || *v > files::kMaxEndlessLoops) {
        std::cerr << "--loops takes a whole number from 1 to " << files::kMaxEndlessLoops << "\n";
        return std::nullopt;
    }
    return static_cast<int>(*v);
}

bool LoadSongForCli(const std::string& path, song::SongTable& song, const platform::CodePage& cp,
                    std::string* converted, int rcpLoops) {
    files::ReadSongOptions options;
    options.load.codePage = &cp;
    options.endlessLoops = rcpLoops;
    files::SongRead read = files::ReadSong(path, song, options);
    if (!read.missingControlFiles.empty())
        std::cerr << files::RcpControlNotice(read.missingControlFiles) << "\n";
    if (!read.ok()) {
        std::cerr << read.status.Message() << ": " << path << "\n";
        return false;
    }
    if (converted) *converted = std::move(read.converted);
    return true;
}

}  // namespace sonfara::cli
