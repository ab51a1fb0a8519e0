// WRD compiler and every event's action on arbitrary script text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "player/wrd/runtime.h"

namespace {

class Timing : public sonfara::wrd::WrdTiming {
  public:
    int32_t Division() const override { return 480; }
    int32_t TickToMs(int32_t tick) const override { return tick; }
    int32_t EndTick() const override { return 123456; }
};

class Clock : public sonfara::wrd::WrdClock {
  public:
    int32_t SongPositionMs() const override { return INT32_MAX; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Clock clock;
    static sonfara::wrd::WrdWindow window;
    static sonfara::wrd::WrdRuntime rt(clock, window);
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    // No picture folder exists, so nothing is read from disk.
    rt.LoadScriptText(script, Timing(), "/nonexistent/sonfara-fuzz");
    rt.RunDueWrdEvents();
    return 0;
}
