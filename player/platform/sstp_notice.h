// Notices to a desktop-mascot program through the support library's SEND
// request. Texts are code-page bytes; "\n" and "\u" in them are the
// receiver's two-character script tags, not control characters.
#pragma once

#include <string>

#include "player/platform/codepage.h"
#include "player/platform/sfrlib_binding.h"

namespace sonfara::platform {

inline constexpr const char* kNoticeSender = "Sonfara";

// Sends textBytes when the SSTP setting is on and a receiver is present; the
// outcome is not looked at.
void SendNotice(SfrLibBinding& lib, bool sstpSetting, const std::string& textBytes);

// The notice at the end of start-up.
std::string StartupNoticeText(const CodePage& cp);

// The notice for a control-window text line, sent only for lines that begin
// with the note sign; "" for any other line.
std::string LyricNoticeText(const std::string& lineBytes, const CodePage& cp);

}  // namespace sonfara::platform
