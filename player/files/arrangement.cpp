#include "player/files/arrangement.h"

#include <climits>

namespace sonfara::files {
namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string Upper(std::string_view s) {
    std::string u(s);
    for (char& c : u) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return u;
}

bool InProgramRange(long n) {
    return n >= 1 && n <= 128;
}

}  // namespace

std::vector<std::string> ReadDelimitedFields(std::string_view text, size_t limit) {
    std::vector<std::string> fields;
    size_t i = 0;
    const size_t n = text.size();
    auto isEol = [&](size_t k) { return text[k] == '\r' || text[k] == '\n'; };
    auto skipEol = [&]() {
        if (i < n && text[i] == '\r') ++i;
        if (i < n && text[i] == '\n') ++i;
    };
    while (i < n && fields.size() < limit) {
        while (i < n && IsBlank(text[i])) ++i;
        if (i >= n) break;
        if (isEol(i)) {  // a blank line holds no field
            skipEol();
            continue;
        }
        std::string field;
        if (text[i] == '"') {
            ++i;
            while (i < n && text[i] != '"' && !isEol(i)) field += text[i++];
            if (i < n && text[i] == '"') ++i;
            while (i < n && text[i] != ',' && !isEol(i)) ++i;
        } else {
            size_t b = i;
            while (i < n && text[i] != ',' && !isEol(i)) ++i;
            size_t e = i;
            while (e > b && IsBlank(text[e - 1])) --e;
            field.assign(text.substr(b, e - b));
        }
        fields.push_back(std::move(field));
        if (i < n && text[i] == ',') {
            ++i;
            // A comma right before the line end closes an empty last field.
            size_t k = i;
            while (k < n && IsBlank(text[k])) ++k;
            if (k < n && isEol(k) && fields.size() < limit) {
                fields.emplace_back();
                i = k;
                skipEol();
            } else if (k >= n && fields.size() < limit) {
                fields.emplace_back();
                i = k;
            }
        } else {
            skipEol();
        }
    }
    return fields;
}

long LeadingNumber(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool neg = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';
    long long acc = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (acc < INT32_MAX) acc = acc * 10 + (text[i] - '0');
    }
    if (acc > INT32_MAX) acc = INT32_MAX;
    return static_cast<long>(neg ? -acc : acc);
}

std::optional<sequencer::ArrangeEntry> ParseArrangement(std::string_view bytes) {
    const std::vector<std::string> f = ReadDelimitedFields(bytes, kMaxArrangeFields);
    if (f.empty() || Upper(f[0]) != kArrangeHeader) return std::nullopt;

    sequencer::ArrangeEntry e;
    if (f.size() >= 2) e.ArrangeName = f[1];

    std::vector<std::string> options;
    std::optional<long> instElse;
    std::vector<std::pair<long, long>> mappings;
    size_t mappingFields = 0;

    size_t k = 2;
    auto sectionEnd = [&](size_t at) {
        return at >= f.size() || (!f[at].empty() && f[at][0] == '[');
    };
    while (k < f.size()) {
        const std::string name = Upper(f[k]);
        ++k;
        if (name == "[OPTION]") {
            for (; !sectionEnd(k); ++k) {
                if (options.size() < kMaxSectionFields) options.push_back(f[k]);
            }
        } else if (name == "[INST ELSE]") {
            // The value must not swallow the next section's name.
            if (!sectionEnd(k)) {
                const std::string v = Upper(f[k]);
                ++k;
                if (v == "THRU") {
                    instElse.reset();
                } else {
                    const long p = LeadingNumber(v);
                    if (InProgramRange(p)) instElse = p;
                }
            }
        } else if (name == "[INST]") {
            for (; !sectionEnd(k); ++k) {
                if (mappingFields >= kMaxSectionFields) continue;
                ++mappingFields;
                const size_t colon = f[k].find(':');
                if (colon == std::string::npos) continue;
                const long a = LeadingNumber(std::string_view(f[k]).substr(0, colon));
                const long b = LeadingNumber(std::string_view(f[k]).substr(colon + 1));
                if (InProgramRange(a) && InProgramRange(b)) mappings.emplace_back(a, b);
            }
        }
    }

    for (const std::string& o : options) {
        const std::string key = Upper(o.substr(0, 3));
        const bool on = o.empty() || o.back() != '0';
        if (key == "MOD")
            e.ModOn = on;
        else if (key == "PIT")
            e.PitOn = on;
        else if (key == "EXP")
            e.ExpOn = on;
        else if (key == "BS ")
            e.BankOn = on;
    }
    if (instElse) {
        for (int p = 1; p <= 128; ++p) e.InstMap[p] = static_cast<uint8_t>(*instElse);
    }
    for (const auto& [a, b] : mappings) e.InstMap[a] = static_cast<uint8_t>(b);
    return e;
}

std::optional<sequencer::EqPreset> ParseEqPreset(std::string_view bytes, std::string name) {
    if (bytes.size() != kEqFileSize) return std::nullopt;
    sequencer::EqPreset p;
    for (size_t i = 0; i < kEqFileSize; ++i) p.bands[i] = static_cast<uint8_t>(bytes[i]);
    p.name = std::move(name);
    return p;
}

int EqBandForNote(int note) {
    if (note <= 30) return 1;
    if (note <= 38) return 2;
    if (note >= 102) return 10;
    return 3 + (note - 39) / 9;  // nine notes a band from 39 up
}

}  // namespace sonfara::files
