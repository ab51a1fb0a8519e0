// The INI text behind the settings file: sections of key=value lines.
// Values are bytes in the system code page and are kept as bytes; a value
// that cannot stand on one line unquoted is written in double quotes with
// backslash escapes.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "player/settings/messages.h"

namespace sonfara::settings {

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;  // in file order, keys unique
    std::unordered_map<std::string, size_t> index;             // lower-cased key -> entry
};

class IniDocument {
  public:
    // Keys and section names compare ASCII case-insensitively, as on Windows.
    std::optional<std::string> Get(std::string_view section, std::string_view key) const;
    // Replaces the value in place, or appends the key to the section (created
    // at the end when missing).
    void Set(std::string_view section, std::string_view key, std::string_view value);

    const std::vector<IniSection>& Sections() const { return sections_; }
    std::string Serialize() const;

    // kDamagedLines when some line is not an INI line (neither blank,
    // comment, section header nor key=value; a NUL byte; a broken quoted
    // value), naming the first bad line and how many more there are. `out`
    // holds every good line either way, except keys under a broken section
    // header.
    static SettingsStatus Parse(std::string_view bytes, IniDocument& out);

  private:
    IniSection* Find(std::string_view section);
    const IniSection* Find(std::string_view section) const;
    IniSection& Add(std::string_view section);
    std::vector<IniSection> sections_;
    std::unordered_map<std::string, size_t> section_index_;  // lower-cased name
};

bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace sonfara::settings
