#include "player/wrd/runtime.h"

#include <algorithm>
#include <filesystem>

#include "player/platform/codepage.h"
#include "player/platform/text_decoding.h"
#include "player/platform/user_files.h"
#include "player/song/song_table.h"
#include "player/wrd/mag.h"

namespace sonfara::wrd {

namespace fs = std::filesystem;

namespace {

constexpr int kMaxCursor = 1000;  // far beyond the 80 x 25 screen, far from overflow
constexpr size_t kMaxCachedPictures = 128;
constexpr uint32_t kNoColor = ~0u;

int ClampCoord(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, -(1 << 24), 1 << 24));
}
int ClampCursor(int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, 1, kMaxCursor));
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
    std::vector<std::string_view> out;
    size_t start = 0;
    for (;;) {
        const size_t p = s.find(sep, start);
        out.push_back(s.substr(start, p - start));
        if (p == std::string_view::npos) return out;
        start = p + 1;
    }
}

std::vector<int64_t> Numbers(std::string_view s) {
    std::vector<int64_t> v;
    for (auto part : Split(s, ',')) v.push_back(WrdNumber(part));
    return v;
}

int64_t At(const std::vector<int64_t>& v, size_t i) {
    return i < v.size() ? v[i] : 0;
}

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// `dir/name`, or the entry of `dir` that matches `name` without regard to
// case (names in scripts come from a case-insensitive file system).
fs::path MatchEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::path exact = dir / name;
    if (fs::exists(exact, ec)) return exact;
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end;
         it.increment(ec)) {
        if (EqualNoCase(it->path().filename().string(), name)) return dir / it->path().filename();
    }
    return exact;
}

bool IsAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

}  // namespace

std::string CompanionFile(const std::string& songPath, const std::string& ext) {
    if (songPath.size() < 3) return {};
    const fs::path candidate = songPath.substr(0, songPath.size() - 3) + ext;
    const fs::path found = MatchEntry(candidate.parent_path(), candidate.filename().string());
    std::error_code ec;
    return fs::is_regular_file(found, ec) ? found.string() : std::string();
}

std::string ResolvePicturePath(const std::string& folder, std::string_view rawName) {
    std::string name(TrimBlanks(rawName));
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name.front() == '/') return {};
    if (name.size() >= 2 && name[1] == ':') return {};  // drive letter
    if (!IsAscii(name)) name = platform::DecideTextEncoding(name).ToUtf8(name);
    fs::path path = folder.empty() ? fs::path(".") : fs::path(folder);
    size_t start = 0;
    for (;;) {
        const size_t slash = name.find('/', start);
        const std::string part = name.substr(start, slash - start);
        if (part == "..") return {};
        if (!part.empty() && part != ".") path = MatchEntry(path, part);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
    return path.string();
}

WrdRuntime::WrdRuntime(const WrdClock& clock, WrdWindow& window, const GlyphSource* glyphs)
    : clock_(clock), window_(window), glyphs_(glyphs ? glyphs : &defaultGlyphs_) {
    pages_[0] = std::make_unique<Surface>(kFrameWidth, kFrameHeight);
    pages_[1] = std::make_unique<Surface>(kFrameWidth, kFrameHeight);
    ResetScreen();
    ResetState();
}

WrdRuntime::~WrdRuntime() = default;

void WrdRuntime::ResetScreen() {
    text_.Fill(kTextKey);
    text_.SetColorKey(kTextKey);
    pages_[0]->Fill(0);
    pages_[1]->Fill(0);
    frame_.Fill(0);
}

void WrdRuntime::ResetState() {
    static const uint32_t kStart[8] = {
        ColorRef(0, 0, 0),   ColorRef(0, 0, 255),   ColorRef(255, 0, 0),   ColorRef(128, 0, 128),
        ColorRef(0, 255, 0), ColorRef(0, 255, 255), ColorRef(255, 255, 0), ColorRef(255, 255, 255)};
    for (auto& row : palette_) row.fill(0);
    for (int n = 1; n <= 16; ++n) palette_[n][1] = kStart[(n - 1) % 8];
    textColor_ = ColorRef(255, 255, 255);
    col_ = row_ = 1;
    activePage_ = shownPage_ = 0;
    graphicsShown_ = textShown_ = true;
}

WrdLoad WrdRuntime::LoadWrdScript(const std::string& songPath, const song::SongTable& song,
                                  const WrdSettings& settings, bool externalActive) {
    const std::string script = externalActive ? std::string() : CompanionFile(songPath, "wrd");
    if (script.empty() || !settings.builtInEnabled) {
        Deactivate();
        if (!externalActive) {
            window_.Hide();
            window_.StopTimer();
        }
        return WrdLoad::kNoScript;
    }
    active_ = true;
    if (settings.showWrd) window_.Show();
    if (!setUp_) {
        if (!window_.SetUp()) {
            window_.Hide();
            window_.StopTimer();
            Deactivate();
            return WrdLoad::kSetUpFailed;
        }
        setUp_ = true;
    }
    ResetScreen();
    std::string text;
    const platform::ReadStatus read = platform::ReadWholeFile(script, text, kMaxWrdScriptBytes);
    const bool loaded =
        read == platform::ReadStatus::kOk &&
        LoadScriptText(text, SongTiming(song), fs::path(songPath).parent_path().string());
    if (!loaded) {
        const WrdScriptFault fault =
            read == platform::ReadStatus::kTooLarge ? WrdScriptFault::kTooLarge : fault_;
        window_.StopTimer();
        Deactivate();
        fault_ = fault;
        return fault != WrdScriptFault::kNone ? WrdLoad::kRefused : WrdLoad::kReadError;
    }
    window_.StartTimer();
    return WrdLoad::kActive;
}

bool WrdRuntime::LoadScriptText(std::string_view script, const WrdTiming& timing,
                                const std::string& songFolder) {
    Deactivate();
    events_ = CompileWrdScript(script, timing, &fault_);
    folder_ = songFolder;
    ResetScreen();
    ResetState();
    active_ = fault_ == WrdScriptFault::kNone;
    return active_;
}

void WrdRuntime::Deactivate() {
    active_ = false;
    fault_ = WrdScriptFault::kNone;
    std::vector<WrdEvent>().swap(events_);  // give the memory back, not just the size
    next_ = 0;
}

void WrdRuntime::RunDueWrdEvents() {
    if (!active_ || clock_.Paused()) return;
    const int32_t now = clock_.SongPositionMs();
    bool ran = false;
    while (next_ < events_.size() && events_[next_].ms <= now) {
        Perform(events_[next_++]);
        ran = true;
    }
    if (ran) PresentWrdFrame();
}

void WrdRuntime::ClearWrdScreen() {
    next_ = 0;
    // Replaying from the first event must find the screen as at the start,
    // not with the colours, pages and cursor the song's end left behind.
    ResetScreen();
    ResetState();
    PresentWrdFrame();
}

void WrdRuntime::RestartAfterSeek() {
    next_ = 0;
    ResetScreen();
    ResetState();
    if (!active_) return;
    // Catch up at once, also while paused, so the screen matches the position.
    const int32_t now = clock_.SongPositionMs();
    while (next_ < events_.size() && events_[next_].ms <= now) Perform(events_[next_++]);
    PresentWrdFrame();
}

const Surface& WrdRuntime::ComposeFrame() {
    frame_.Fill(0);
    text_.SetColorKey(kTextKey);
    if (graphicsShown_)
        frame_.Blit(0, kBand, kFrameWidth, kScreenHeight, *pages_[shownPage_], 0, 0, false);
    if (textShown_) frame_.Blit(0, kBand, kFrameWidth, kScreenHeight, text_, 0, 0, true);
    return frame_;
}

void WrdRuntime::PresentWrdFrame() {
    ComposeFrame();
    window_.Present(frame_);
}

uint32_t WrdRuntime::PaletteColor(int64_t number) const {
    if (number < 0 || number > 15) return kNoColor;
    return palette_[number + 1][1];
}

void WrdRuntime::DrawChar(std::string_view ch) {
    const int x = 8 * (col_ - 1), y = 16 * (row_ - 1);
    if (ch == "\t") {
        text_.FillRect(x, y, x + 64, y + 16, kTextKey);
        col_ = ClampCursor(int64_t{col_} + 8);
        return;
    }
    const int cells = ch.size() >= 2 ? 2 : 1;
    text_.DrawGlyph(x, y, glyphs_->Glyph(ch, cells), textColor_, kTextKey);
    col_ = ClampCursor(int64_t{col_} + cells);
}

void WrdRuntime::ShowPicture(std::string_view arg) {
    const std::string_view name = arg.substr(0, arg.find(','));
    const std::string path = ResolvePicturePath(folder_, name);
    if (path.empty()) return;  // absolute, or outside the song's folder
    auto it = cache_.find(path);
    if (it == cache_.end()) {
        if (cache_.size() >= kMaxCachedPictures) {
            cache_.erase(cacheOrder_.front());
            cacheOrder_.pop_front();
        }
        Picture pic;
        MagPicture mag;
        ++decoded_;
        if (LoadMagFile(path, mag).ok()) {
            // Only the area that can land on the page is kept.
            const int w = std::min(mag.width, kFrameWidth), h = std::min(mag.height, kFrameHeight);
            pic.surface = std::make_unique<Surface>(w, h);
            for (int y = 0; y < h; ++y) {
                uint32_t* row = pic.surface->Row(y);
                const uint8_t* src = &mag.pixels[static_cast<size_t>(y) * mag.width];
                for (int x = 0; x < w; ++x) row[x] = ConvertColor(mag.palette[src[x]]);
            }
            for (int n = 1; n <= 16; ++n) palette_[n][0] = mag.palette[n - 1];
        }
        it = cache_.emplace(path, std::move(pic)).first;
        cacheOrder_.push_back(path);
    }
    if (const Surface* s = it->second.surface.get())
        pages_[activePage_]->Blit(0, 0, s->Width(), s->Height(), *s, 0, 0, false);
}

void WrdRuntime::SetPalette(std::string_view arg) {
    const auto items = Split(arg, ',');
    int64_t column = 1;
    if (!arg.empty() && arg.front() == '#') column = WrdNumber(items[0].substr(1)) + 1;
    if (column < 1 || column > 17) return;
    for (size_t i = 1; i < items.size() && i <= 16; ++i) {
        std::string item(TrimBlanks(items[i]));
        if (item.size() == 2)
            item += "0";
        else if (item.size() == 1)
            item += "00";
        if (item.size() != 3 || !std::all_of(item.begin(), item.end(), ::isxdigit)) continue;
        const uint32_t d1 = std::stoul(item.substr(0, 1), nullptr, 16);
        const uint32_t d2 = std::stoul(item.substr(1, 1), nullptr, 16);
        const uint32_t d3 = std::stoul(item.substr(2, 1), nullptr, 16);
        palette_[i][column] = (d1 * 0x11) << 16 | (d2 * 0x11) << 8 | (d3 * 0x11);
    }
}

void WrdRuntime::MoveCursor(std::string_view arg) {
    const size_t semi = arg.find(';');
    if (semi != std::string_view::npos) {
        row_ = ClampCursor(WrdNumber(arg.substr(0, semi)));
        col_ = ClampCursor(WrdNumber(arg.substr(semi + 1)));
        return;
    }
    const size_t comma = arg.find(',');
    if (comma != std::string_view::npos) {
        col_ = ClampCursor(WrdNumber(arg.substr(0, comma)));
        row_ = ClampCursor(WrdNumber(arg.substr(comma + 1)));
        return;
    }
    col_ = ClampCursor(WrdNumber(arg));
}

void WrdRuntime::Perform(const WrdEvent& e) {
    Surface& page = *pages_[activePage_];
    switch (e.opcode) {
        case kOpChar:
            DrawChar(e.arg);
            break;
        case kOpMag:
            ShowPicture(e.arg);
            break;
        case kOpPal:
            SetPalette(e.arg);
            break;
        case kOpTon:
            textShown_ = WrdNumber(e.arg) != 0;
            break;
        case kOpColor:
            for (auto part : Split(e.arg, ';')) {
                switch (WrdNumber(part)) {
                    case 30:
                        textColor_ = ColorRef(0, 0, 0);
                        break;
                    case 17:
                    case 31:
                        textColor_ = ColorRef(255, 0, 0);
                        break;
                    case 18:
                    case 34:
                        textColor_ = ColorRef(0, 0, 255);
                        break;
                    case 19:
                    case 35:
                        textColor_ = ColorRef(255, 0, 255);
                        break;
                    case 20:
                    case 32:
                        textColor_ = ColorRef(0, 255, 0);
                        break;
                    case 21:
                    case 33:
                        textColor_ = ColorRef(255, 255, 0);
                        break;
                    case 22:
                    case 36:
                        textColor_ = ColorRef(0, 255, 255);
                        break;
                    case 23:
                    case 37:
                        textColor_ = ColorRef(255, 255, 255);
                        break;
                    default:
                        break;
                }
            }
            break;
        case kOpGscreen: {
            const auto a = Numbers(e.arg);
            if (At(a, 0) == 0 || At(a, 0) == 1) activePage_ = static_cast<int>(At(a, 0));
            if (At(a, 1) == 0 || At(a, 1) == 1) shownPage_ = static_cast<int>(At(a, 1));
            break;
        }
        case kOpGon:
            graphicsShown_ = WrdNumber(e.arg) != 0;
            break;
        case kOpGline: {
            const auto a = Numbers(e.arg);
            const uint32_t c = PaletteColor(At(a, 4));
            if (c == kNoColor) break;
            const int x1 = ClampCoord(At(a, 0)), y1 = ClampCoord(At(a, 1));
            const int x2 = ClampCoord(At(a, 2)), y2 = ClampCoord(At(a, 3));
            switch (At(a, 5)) {
                case 0:
                    page.Line(x1, y1, x2, y2, c);
                    break;
                case 1:
                    page.Box(x1, y1, x2, y2, c);
                    break;
                case 2:
                    if (const uint32_t f = PaletteColor(At(a, 6)); f != kNoColor)
                        page.FilledBox(x1, y1, x2, y2, c, f);
                    break;
                default:
                    break;
            }
            break;
        }
        case kOpFade: {
            const int64_t p = At(Numbers(e.arg), 1);
            if (p >= 1 && p <= 16)
                for (int n = 1; n <= 16; ++n) palette_[n][1] = palette_[n][p + 1];
            break;
        }
        case kOpGmove: {
            const auto a = Numbers(e.arg);
            const int64_t ps = At(a, 6), pd = At(a, 7);
            if (ps < 0 || ps > 1 || pd < 0 || pd > 1) break;
            const int x1 = ClampCoord(At(a, 0)), y1 = ClampCoord(At(a, 1));
            pages_[pd]->Blit(ClampCoord(At(a, 4)), ClampCoord(At(a, 5)),
                             ClampCoord(At(a, 2) - At(a, 0)), ClampCoord(At(a, 3) - At(a, 1)),
                             *pages_[ps], x1, y1, false);
            break;
        }
        case kOpTcls: {
            const auto a = Numbers(e.arg);
            if (At(a, 0) == 0 && At(a, 1) == 0 && At(a, 2) == 0 && At(a, 3) == 0) {
                text_.Fill(kTextKey);
            } else {
                text_.FillRect(ClampCoord(8 * (At(a, 0) - 1)), ClampCoord(16 * (At(a, 1) - 1)),
                               ClampCoord(8 * At(a, 2)), ClampCoord(16 * At(a, 3)), kTextKey);
            }
            break;
        }
        case kOpEsc:
            text_.Fill(kTextKey);
            break;
        case kOpLocate:
            MoveCursor(e.arg);
            break;
        case kOpGcircle: {
            const auto a = Numbers(e.arg);
            const uint32_t c = PaletteColor(At(a, 3));
            if (c == kNoColor) break;
            const int x = ClampCoord(At(a, 0)), y = ClampCoord(At(a, 1)), r = ClampCoord(At(a, 2));
            if (At(a, 4) == 2) {
                const uint32_t f = PaletteColor(At(a, 5));
                if (f != kNoColor) page.FilledCircle(x, y, r, c, f);
            } else {
                page.Circle(x, y, r, c);
            }
            break;
        }
        case kOpGinit:
            graphicsShown_ = true;
            activePage_ = shownPage_ = 0;
            break;
        default:  // @GCLS and @PALREV have no action
            break;
    }
}

}  // namespace sonfara::wrd
