// The built-in Recomposer converter: RCP, R36, R18 (the PC-98 2.0 header),
// G36, G18 (the 3.0 header) and MCP files that carry one of those headers,
// turned into a format 1 Standard MIDI File that the ordinary loader reads.
// The converter plug-in keeps priority where it is installed.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "player/files/file_entry.h"
#include "player/files/rcp_common.h"

namespace sonfara::files {

struct RcpOptions {
    int endlessLoops = kDefaultEndlessLoops;
    // Bytes of a control file named in the header (.cm6, .gsd), looked up
    // beside the song; nullopt when it is not there.
    std::function<std::optional<std::string>(const std::string& name)> controlFile;
};

struct RcpConversion {
    RcpProblem problem = RcpProblem::kNone;
    std::string smf;         // the SMF image (format 1)
    std::string formatText;  // "RCM Ver 2.0" or "RCM for Windows95"
    std::string title;       // code-page bytes
    // Control files the header names that were absent or unreadable.
    std::vector<std::string> missingControlFiles;
    bool Ok() const { return problem == RcpProblem::kNone; }
};

// True for the extensions the built-in converter takes: RCP, R36, R18,
// G36, G18, MCP (the last three characters, upper-cased).
bool IsRecomposerKind(const std::string& upperTail3);

RcpConversion ConvertRecomposer(std::span<const uint8_t> bytes, const RcpOptions& options);

// Reads the file and the control files beside it (ASCII case ignored).
RcpConversion ConvertRecomposerFile(const std::string& path, int endlessLoops);

// The song title from the header alone (code-page bytes); empty when the
// bytes are no Recomposer header. Needs the first 0xA0 bytes at most.
std::string RecomposerTitle(std::span<const uint8_t> head);

// A failed conversion as the file layer reports it (kNone for none).
FileError RcpError(RcpProblem problem);
// The message for a failed conversion, naming the file.
std::string RcpProblemText(RcpProblem problem, const std::string& path);
// The notice for control files that could not be sent.
std::string RcpControlNotice(const std::vector<std::string>& names);

}  // namespace sonfara::files
