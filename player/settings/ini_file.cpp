#include "player/settings/ini_file.h"

namespace sonfara::settings {
namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string LowerCopy(std::string_view s) {
    std::string l(s);
    for (char& c : l) c = Lower(c);
    return l;
}

std::string_view Trim(std::string_view s) {
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

bool NeedsQuotes(std::string_view v) {
    if (v.empty()) return false;
    if (v.front() == ' ' || v.front() == '\t' || v.back() == ' ' || v.back() == '\t') return true;
    if (v.front() == '"') return true;
    for (char c : v) {
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return true;
    }
    return false;
}

std::string Quote(std::string_view v) {
    std::string out = "\"";
    for (char c : v) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\0':
                out += "\\0";
                break;
            default:
                out += c;
        }
    }
    out += '"';
    return out;
}

bool Unquote(std::string_view q, std::string& out) {
    if (q.size() < 2 || q.back() != '"') return false;
    out.clear();
    for (size_t i = 1; i + 1 < q.size(); ++i) {
        char c = q[i];
        if (c == '"') return false;
        if (c != '\\') {
            out += c;
            continue;
        }
        if (i + 2 >= q.size()) return false;  // a backslash escaping the closing quote
        switch (q[++i]) {
            case '\\':
                out += '\\';
                break;
            case '"':
                out += '"';
                break;
            case 'r':
                out += '\r';
                break;
            case 'n':
                out += '\n';
                break;
            case '0':
                out += '\0';
                break;
            default:  // hand-written paths: an unknown escape stays as written
                out += '\\';
                out += q[i];
        }
    }
    return true;
}

}  // namespace

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i])) return false;
    }
    return true;
}

IniSection* IniDocument::Find(std::string_view section) {
    auto it = section_index_.find(LowerCopy(section));
    return it == section_index_.end() ? nullptr : &sections_[it->second];
}

const IniSection* IniDocument::Find(std::string_view section) const {
    auto it = section_index_.find(LowerCopy(section));
    return it == section_index_.end() ? nullptr : &sections_[it->second];
}

IniSection& IniDocument::Add(std::string_view section) {
    if (IniSection* s = Find(section)) return *s;
    section_index_.emplace(LowerCopy(section), sections_.size());
    sections_.push_back(IniSection{std::string(section), {}, {}});
    return sections_.back();
}

std::optional<std::string> IniDocument::Get(std::string_view section, std::string_view key) const {
    const IniSection* s = Find(section);
    if (!s) return std::nullopt;
    auto it = s->index.find(LowerCopy(key));
    if (it == s->index.end()) return std::nullopt;
    return s->entries[it->second].second;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    IniSection* s = &Add(section);
    auto [it, added] = s->index.emplace(LowerCopy(key), s->entries.size());
    if (!added) {
        s->entries[it->second].second = std::string(value);
        return;
    }
    s->entries.emplace_back(std::string(key), std::string(value));
}

std::string IniDocument::Serialize() const {
    std::string out;
    auto entries = [&](const IniSection& s) {
        for (const auto& [k, v] : s.entries) {
            out += k;
            out += '=';
            out += NeedsQuotes(v) ? Quote(v) : v;
            out += '\n';
        }
    };
    // Keys before any header live in a nameless section, written first.
    if (const IniSection* s = Find("")) {
        entries(*s);
        // A key that starts with the UTF-8 byte-order mark must not be
        // taken for one when read back.
        if (out.rfind("\xEF\xBB\xBF", 0) == 0) out.insert(out.begin(), '\n');
    }
    for (const auto& s : sections_) {
        if (s.name.empty()) continue;
        if (!out.empty()) out += '\n';
        out += '[' + s.name + "]\n";
        entries(s);
    }
    return out;
}

namespace {

// Why one line is not an INI line, or nullptr when it is one. `section`
// and `key`/`value` are filled for a header and a key line respectively.
const char* ParseLine(std::string_view line, bool& header, std::string& section, std::string& key,
                      std::string& value) {
    header = false;
    if (line.find('\0') != std::string_view::npos) return "NUL byte";
    if (line[0] == '[') {
        if (line.back() != ']' || line.size() < 2) return "broken section header";
        section = std::string(Trim(line.substr(1, line.size() - 2)));
        if (section.empty()) return "empty section name";
        header = true;
        return nullptr;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) return "line without '='";
    key = std::string(Trim(line.substr(0, eq)));
    std::string_view raw = Trim(line.substr(eq + 1));
    if (key.empty()) return "empty key";
    if (!raw.empty() && raw[0] == '"') return Unquote(raw, value) ? nullptr : "broken quoted value";
    value = std::string(raw);
    for (char c : value) {
        // Control bytes other than tab only come from damage; real values
        // never hold them unquoted.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return "control byte in a value";
    }
    return nullptr;
}

}  // namespace

SettingsStatus IniDocument::Parse(std::string_view bytes, IniDocument& out) {
    out = IniDocument{};
    if (bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    std::string firstBad;
    size_t badCount = 0;
    std::string current;
    // Keys under a broken header belong to no known section: they are
    // dropped rather than given to the section before it.
    bool inBrokenSection = false;
    size_t lineNo = 0;
    size_t pos = 0;
    while (pos < bytes.size()) {
        size_t nl = bytes.find('\n', pos);
        std::string_view line =
            bytes.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? bytes.size() : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        bool header = false;
        std::string section, key, value;
        if (const char* why = ParseLine(line, header, section, key, value)) {
            if (badCount++ == 0) firstBad = "line " + std::to_string(lineNo) + ": " + why;
            if (line[0] == '[') inBrokenSection = true;
            continue;
        }
        if (header) {
            current = section;
            inBrokenSection = false;
            out.Add(current);
        } else if (!inBrokenSection) {
            out.Set(current, key, value);
        }
    }
    if (badCount == 0) return {};
    if (badCount > 1) firstBad += " (and " + std::to_string(badCount - 1) + " more bad lines)";
    return {SettingsError::kDamagedLines, firstBad};
}

}  // namespace sonfara::settings
