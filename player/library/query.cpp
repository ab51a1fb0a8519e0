#include "player/library/query.h"

#include <charconv>

#include "player/library/text_fold.h"

namespace sonfara::library {
namespace {

struct SortName {
    const char* name;
    SortColumn column;
};
constexpr SortName kSortNames[] = {
    {"title", SortColumn::kTitle},   {"length", SortColumn::kLength},
    {"module", SortColumn::kModule}, {"folder", SortColumn::kFolder},
    {"format", SortColumn::kFormat}, {"tracks", SortColumn::kTracks},
    {"tempo", SortColumn::kTempo},   {"notes", SortColumn::kNotes},
    {"time", SortColumn::kTime},
};

struct ModuleWord {
    const char* name;
    SongModule module;
};
constexpr ModuleWord kModuleWords[] = {{"gs", SongModule::kGs},
                                       {"xg", SongModule::kXg},
                                       {"gm", SongModule::kGm},
                                       {"none", SongModule::kNone}};

std::optional<int> Number(std::string_view s) {
    int v = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || end != s.data() + s.size()) return std::nullopt;
    return v;
}

// length:<3:00, <=, >, >=, =, or a range a-b.
bool ParseLength(std::string_view v, LibraryQuery& q) {
    const size_t dash = v.find('-');
    if (dash != std::string_view::npos && dash > 0) {
        const auto lo = ParseDuration(v.substr(0, dash));
        const auto hi = ParseDuration(v.substr(dash + 1));
        if (!lo || !hi || *hi < *lo) return false;
        q.minMs = *lo;
        q.maxMs = *hi;
        return true;
    }
    std::string_view op;
    for (std::string_view o : {"<=", ">=", "<", ">", "="}) {
        if (v.substr(0, o.size()) == o) {
            op = o;
            break;
        }
    }
    const auto ms = ParseDuration(v.substr(op.size()));
    if (!ms) return false;
    if (op == "<")
        q.maxMs = *ms - 1;
    else if (op == "<=")
        q.maxMs = *ms;
    else if (op == ">")
        q.minMs = *ms + 1;
    else if (op == ">=")
        q.minMs = *ms;
    else {  // a length as shown is whole seconds: that second
        q.minMs = *ms;
        q.maxMs = *ms + 999;
    }
    return true;
}

bool ParseHas(std::string_view v, LibraryQuery& q) {
    struct Flag {
        const char* name;
        bool LibraryQuery::*flag;
    };
    static constexpr Flag kFlags[] = {
        {"lyrics", &LibraryQuery::withLyrics}, {"wrd", &LibraryQuery::withWrd},
        {"doc", &LibraryQuery::withDoc},       {"loop", &LibraryQuery::withLoop},
        {"error", &LibraryQuery::failed},      {"missing", &LibraryQuery::missing},
    };
    for (const Flag& f : kFlags) {
        if (v == f.name) {
            q.*f.flag = true;
            return true;
        }
    }
    return false;
}

// One filter; false when its value is wrong. `key` is known.
bool ParseFilter(std::string_view key, std::string_view value, LibraryQuery& q) {
    if (key == "module") {
        for (const ModuleWord& m : kModuleWords) {
            if (value == m.name) {
                q.module = m.module;
                return true;
            }
        }
        return false;
    }
    if (key == "length") return ParseLength(value, q);
    if (key == "has") return ParseHas(value, q);
    if (key == "program") {
        const auto p = Number(value);
        if (!p || *p < 0 || *p > 127) return false;
        q.programs.push_back(*p);
        return true;
    }
    if (key == "folder") {
        if (value.empty()) return false;
        q.folders.emplace_back(value);
        return true;
    }
    // sort
    const bool down = !value.empty() && value[0] == '-';
    const auto col = SortColumnNamed(down ? value.substr(1) : value);
    if (!col) return false;
    q.sort = *col;
    q.descending = down;
    return true;
}

bool IsFilterKey(std::string_view k) {
    return k == "module" || k == "length" || k == "has" || k == "program" || k == "folder" ||
           k == "sort";
}

}  // namespace

std::optional<SortColumn> SortColumnNamed(std::string_view name) {
    for (const SortName& s : kSortNames) {
        if (name == s.name) return s.column;
    }
    return std::nullopt;
}

std::optional<int32_t> ParseDuration(std::string_view s) {
    int32_t total = 0;
    int parts = 0;
    while (true) {
        const size_t colon = s.find(':');
        const auto n = Number(s.substr(0, colon));
        if (!n || *n < 0 || ++parts > 3 || (parts > 1 && *n >= 60)) return std::nullopt;
        total = total * 60 + *n;
        if (colon == std::string_view::npos) break;
        s.remove_prefix(colon + 1);
    }
    if (total > 24 * 3600 * 10) return std::nullopt;
    return total * 1000;
}

LibraryStatus ParseQuery(std::string_view text, LibraryQuery& q) {
    q = LibraryQuery{};
    const std::vector<char32_t> folded = FoldCodePoints(text);
    size_t i = 0;
    while (i < folded.size()) {
        if (IsWordBreak(folded[i])) {
            ++i;
            continue;
        }
        std::string word;
        for (; i < folded.size() && !IsWordBreak(folded[i]); ++i) AppendUtf8(folded[i], word);
        const size_t colon = word.find(':');
        if (colon != std::string::npos && IsFilterKey(word.substr(0, colon))) {
            if (!ParseFilter(std::string_view(word).substr(0, colon),
                             std::string_view(word).substr(colon + 1), q))
                return {LibraryError::kBadQuery, word};
            continue;
        }
        q.words.push_back(std::move(word));
    }
    return {};
}

std::string MatchExpression(const std::vector<std::string>& words) {
    std::string out;
    for (const std::string& w : words) {
        if (!out.empty()) out += " AND ";
        out += '"';
        for (char c : w) {
            out += c;
            if (c == '"') out += '"';
        }
        out += '"';
        // Shorter than a piece: every piece that starts with it.
        if (DecodeUtf8(w).size() < 3) out += '*';
    }
    return out;
}

}  // namespace sonfara::library
