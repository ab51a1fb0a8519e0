// The built-in WRD presentation: loads the script beside a song, performs
// its events as the song position passes them and composes the 640 x 480
// frame (a 640 x 400 screen between two 40-pixel bands).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "player/wrd/compiler.h"
#include "player/wrd/hex_font.h"
#include "player/wrd/surface.h"

namespace sonfara::song {
class SongTable;
}  // namespace sonfara::song

namespace sonfara::wrd {

inline constexpr int kFrameWidth = 640;
inline constexpr int kFrameHeight = 480;
inline constexpr int kScreenHeight = 400;
inline constexpr int kBand = 40;
inline constexpr uint32_t kTextKey = ColorRef(224, 224, 224);

// The song position as the sequencer keeps it.
class WrdClock {
  public:
    virtual ~WrdClock() = default;
    virtual int32_t SongPositionMs() const = 0;
    virtual bool Paused() const { return false; }
};

// What the presentation asks of the WRD window (the GUI implements it).
class WrdWindow {
  public:
    virtual ~WrdWindow() = default;
    // First script of the run: prepare to show a 640 x 480 frame.
    virtual bool SetUp() { return true; }
    virtual void Show() {}
    virtual void Hide() {}
    virtual void StartTimer() {}
    virtual void StopTimer() {}
    virtual void Present(const Surface& frame) {}
};

struct WrdSettings {
    bool showWrd = true;         // ShowWRD: show the window when a script loads
    bool builtInEnabled = true;  // MWRDEmulation: the built-in interpreter is on
};

// Outcome of LoadWrdScript.
enum class WrdLoad {
    kActive,       // script compiled, timer running
    kNoScript,     // no script file, or the interpreter is switched off
    kSetUpFailed,  // the window could not show frames
    kReadError,    // the script file could not be read
    kRefused,      // the script is beyond the bounds (LastFault says which)
};

// The palette table: colour numbers 1..16 by columns 0..17 (column 1 is the
// current palette, n + 1 holds palette n, 0 the last picture's colours).
using WrdPalette = std::array<std::array<uint32_t, 18>, 17>;

class WrdRuntime {
  public:
    // Without `glyphs`, text is drawn with the hex font at WrdFontPath() in
    // the system code page (the built-in font where it is absent).
    WrdRuntime(const WrdClock& clock, WrdWindow& window, const GlyphSource* glyphs = nullptr);
    ~WrdRuntime();

    // Called after a song has been loaded. `externalActive`: the external
    // player presents this song, so the window stays as it is.
    WrdLoad LoadWrdScript(const std::string& songPath, const song::SongTable& song,
                          const WrdSettings& settings, bool externalActive = false);
    // Same from script text already in memory; `songFolder` resolves pictures.
    // False (no script active) when the script is beyond the bounds.
    bool LoadScriptText(std::string_view script, const WrdTiming& timing,
                        const std::string& songFolder);
    // Why the last script was refused (WrdFaultMessage gives the user text).
    WrdScriptFault LastFault() const { return fault_; }

    // The timer tick: performs every event due by now; presents if any ran.
    void RunDueWrdEvents();
    // The song starts over (repeat): screen cleared, script from event 1.
    void ClearWrdScreen();
    // After a seek: clear and replay every event up to the new position.
    void RestartAfterSeek();
    // Composes the frame and hands it to the window.
    void PresentWrdFrame();
    // Composes the frame without showing it (for tests and the command line).
    const Surface& ComposeFrame();
    // No script any more (a song without one, or the external player took over).
    void Deactivate();

    bool Active() const { return active_; }
    const std::vector<WrdEvent>& Events() const { return events_; }
    size_t NextEvent() const { return next_; }  // 0-based index of the next event

    // Screen state, for the window and for tests.
    const Surface& TextLayer() const { return text_; }
    const Surface& Page(int i) const { return *pages_[i & 1]; }
    const Surface& Frame() const { return frame_; }
    const WrdPalette& Palette() const { return palette_; }
    uint32_t TextColor() const { return textColor_; }
    int CursorColumn() const { return col_; }
    int CursorRow() const { return row_; }
    int ActivePage() const { return activePage_; }
    int ShownPage() const { return shownPage_; }
    bool GraphicsShown() const { return graphicsShown_; }
    bool TextShown() const { return textShown_; }
    // Number of picture files decoded so far (the cache's misses).
    int PicturesDecoded() const { return decoded_; }

    // Performs one event now, whatever its time.
    void Perform(const WrdEvent& e);

  private:
    struct Picture {
        std::unique_ptr<Surface> surface;  // null: could not be decoded
    };
    void ResetScreen();
    void ResetState();
    uint32_t PaletteColor(int64_t number) const;  // colour number 0..15; ~0u if out of range
    void DrawChar(std::string_view ch);
    void ShowPicture(std::string_view arg);
    void SetPalette(std::string_view arg);
    void MoveCursor(std::string_view arg);

    const WrdClock& clock_;
    WrdWindow& window_;
    HexFontGlyphs defaultGlyphs_{platform::SystemCodePage()};
    const GlyphSource* glyphs_;
    bool setUp_ = false;
    bool active_ = false;
    std::vector<WrdEvent> events_;
    WrdScriptFault fault_ = WrdScriptFault::kNone;
    size_t next_ = 0;
    std::string folder_;

    Surface text_{kFrameWidth, kFrameHeight};
    std::unique_ptr<Surface> pages_[2];
    Surface frame_{kFrameWidth, kFrameHeight};
    WrdPalette palette_{};
    uint32_t textColor_ = 0;
    int col_ = 1, row_ = 1;
    int activePage_ = 0, shownPage_ = 0;
    bool graphicsShown_ = true, textShown_ = true;

    std::map<std::string, Picture> cache_;
    std::deque<std::string> cacheOrder_;
    int decoded_ = 0;
};

// The file beside a song with the song path's last three characters
// replaced by `ext`; when that exact name is absent, a case-insensitive
// match in the same folder. Empty when none exists.
std::string CompanionFile(const std::string& songPath, const std::string& ext);

// The picture file named by a script, relative to the song's folder: names
// that are absolute or climb out with ".." are refused (empty result). "\"
// separators are read as "/"; a case-insensitive match is accepted.
std::string ResolvePicturePath(const std::string& folder, std::string_view name);

}  // namespace sonfara::wrd
