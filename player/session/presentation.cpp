#include "player/session/presentation.h"

namespace sonfara::session {

namespace {
wrd::WrdWindow& WindowOf(const SessionEnv& env, wrd::WrdWindow& headless) {
    return env.wrdWindow ? *env.wrdWindow : headless;
}
}  // namespace

SessionPresentation::SessionPresentation(SessionCore& core)
    : core_(core),
      glyphs_(core.Env().codePage),
      external_(core.Env().wrdPlugin ? std::make_unique<wrd::ExternalWrdPlayer>(
                                           *core.Env().wrdPlugin, WindowOf(core.Env(), headless_),
                                           core.Env().wrdWindowHandle)
                                     : nullptr),
      link_(core.GetPlayer().Seq(), core.GetPlayer().Song(), WindowOf(core.Env(), headless_),
            external_.get(), &glyphs_) {
    if (external_) external_->Attach();
    core_.AddPart(*this);
}

SessionPresentation::~SessionPresentation() = default;

void SessionPresentation::ReadLive(SessionSnapshot& s) const {
    s.wrdActive = link_.BuiltinWrdActive() || link_.ExternalWrdActive();
}

void SessionPresentation::SongLoaded(const std::string& path) {
    const settings::SettingsValues& v = core_.Values();
    link_.SongLoaded(path, wrd::WrdSettings{v.showWrd, v.mimpiWrdEmulation}, v.sherryWrdEmulation);
}

void SessionPresentation::SongUnloaded() {
    link_.SongUnloaded();
}

void SessionPresentation::ShutDown() {
    if (external_) external_->Detach();
}

void SessionPresentation::WrdTick() {
    link_.Tick();
}

void SessionPresentation::PresentWrdFrame() {
    if (link_.BuiltinWrdActive()) link_.Runtime().PresentWrdFrame();
}

void SessionPresentation::AttachWrdPlugin() {
    if (external_ && !external_->Attached()) external_->Attach();
}

bool SessionPresentation::RepaintExternalWrd(void* dc) {
    return external_ && external_->Repaint(dc);  // it knows whether it presents
}

const wrd::Surface& SessionPresentation::WrdFrame() {
    return link_.Runtime().ComposeFrame();
}

}  // namespace sonfara::session
