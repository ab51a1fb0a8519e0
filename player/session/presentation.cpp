#include "player/session/session.h"

namespace sonfara {

namespace {
wrd::WrdWindow& WindowOf(const SessionEnv& env, wrd::WrdWindow& headless) {
    return env.wrdWindow ? *env.wrdWindow : headless;
}
}  // namespace

SessionPresentation::SessionPresentation(const SessionEnv& env, Player& player)
    : glyphs_(env.codePage),
      external_(env.wrdPlugin ? std::make_unique<wrd::ExternalWrdPlayer>(
                                    *env.wrdPlugin, WindowOf(env, headless_), env.wrdWindowHandle)
                              : nullptr),
      link_(player.Seq(), player.Song(), WindowOf(env, headless_), external_.get(), &glyphs_) {
    if (external_) external_->Attach();
}

SessionPresentation::~SessionPresentation() = default;

void SessionPresentation::Detach() {
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

}  // namespace sonfara
