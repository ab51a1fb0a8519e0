// The presentation part of a playback session. UI thread.
#pragma once

#include <memory>
#include <string>

#include "player/session/core.h"
#include "player/wrd/external_player.h"
#include "player/wrd/hex_font.h"
#include "player/wrd/sequencer_link.h"

namespace sonfara::session {

// The WRD presentation: the built-in interpreter and the plug-in.
class SessionPresentation final : private SessionPart {
  public:
    explicit SessionPresentation(SessionCore& core);
    ~SessionPresentation();
    // The WRD window's periodic timer (MWRDTimer).
    void WrdTick();
    const wrd::Surface& WrdFrame();  // the frame as composed now
    // The built-in presentation's frame to the WRD window again (activation).
    void PresentWrdFrame();
    // The WRD window's paint: the plug-in draws into `dc` when it presents the
    // song and is not catching up after a seek. True if it drew.
    bool RepaintExternalWrd(void* dc);
    // Attaches the WRD plug-in if it is not attached (it may have been
    // installed since start-up).
    void AttachWrdPlugin();

  private:
    void ReadLive(SessionSnapshot& s) const override;
    void SongLoaded(const std::string& path) override;
    void SongUnloaded() override;
    void ShutDown() override;

    SessionCore& core_;
    wrd::HeadlessWrdWindow headless_;
    // Japanese WRD text in the session's code page (read at the first glyph).
    wrd::HexFontGlyphs glyphs_;
    std::unique_ptr<wrd::ExternalWrdPlayer> external_;
    wrd::WrdSequencerLink link_;
};

}  // namespace sonfara::session
