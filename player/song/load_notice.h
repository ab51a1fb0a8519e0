// The desktop-companion notice sent after every successful load.
#pragma once

#include <string>

#include "player/platform/sstp_notice.h"
#include "player/song/smf_reader.h"

namespace sonfara::song {

// Sends the song notice of every load (the text comes from LoadNoticeText).
class SstpLoadNotice : public LoadObserver {
  public:
    SstpLoadNotice(platform::SfrLibBinding& lib, bool sstpSetting)
        : lib_(lib), sstp_(sstpSetting) {}
    void SetSstp(bool on) { sstp_ = on; }
    void OnLoadNotice(const std::string& noticeBytes) override {
        platform::SendNotice(lib_, sstp_, noticeBytes);
    }

  private:
    platform::SfrLibBinding& lib_;
    bool sstp_;
};

}  // namespace sonfara::song
