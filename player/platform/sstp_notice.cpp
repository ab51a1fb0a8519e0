#include "player/platform/sstp_notice.h"

namespace sonfara::platform {

void SendNotice(SfrLibBinding& lib, bool sstpSetting, const std::string& textBytes) {
    if (!sstpSetting) return;
    // Only a present receiver is addressed; a failed send is not retried.
    if (lib.SSTPIsEnabled() != 0) return;
    lib.SSTPSendMessage(textBytes.c_str(), kNoticeSender, "");
}

std::string StartupNoticeText(const CodePage& cp) {
    return cp.FromUtf8(
        "Sonfaraが起動したみたいだよ。\\nなんかこのプログラムって\\n%meっぽいよね。\\u・・・・・");
}

std::string LyricNoticeText(const std::string& lineBytes, const CodePage& cp) {
    const std::string note = cp.FromUtf8("♪");
    return lineBytes.compare(0, note.size(), note) == 0 ? lineBytes : std::string();
}

}  // namespace sonfara::platform
