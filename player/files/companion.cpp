#include "player/files/companion.h"

#include "player/files/paths.h"

namespace sonfara::files {
namespace {

bool IsAddressChar(unsigned char c) {
    return (c >= 45 && c <= 58) || (c >= 63 && c <= 90) || (c >= 97 && c <= 122) || c == 126;
}

}  // namespace

std::string LineAddress(std::string_view line) {
    const size_t d = line.find("http://");
    if (d == std::string_view::npos || line.size() <= d + 8) return {};
    std::string url = "http://";
    for (size_t i = d + 7; i < line.size() && IsAddressChar(static_cast<unsigned char>(line[i]));
         ++i) {
        url += line[i];
    }
    return url;
}

CompanionDocument ReadCompanionDocument(const std::string& songPath) {
    CompanionDocument doc;
    if (songPath.size() < 3) return doc;
    const std::string stem = songPath.substr(0, songPath.size() - 3);
    // Songs from DOS come as SONG.MID beside SONG.TXT, or in any mix of cases.
    std::string path = FindFileAnyCase(stem + "txt");
    if (path.empty()) path = FindFileAnyCase(stem + "doc");
    std::string bytes;
    // A document panel has no use for more than a few megabytes.
    constexpr size_t kMaxDocumentBytes = 8u << 20;
    if (path.empty() || !ReadFileBytes(path, bytes, kMaxDocumentBytes)) return doc;

    doc.shellTextEnabled = true;
    doc.fileName = path;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find_first_of("\r\n", start);
        if (end == std::string::npos) end = bytes.size();
        const std::string_view line(bytes.data() + start, end - start);
        if (std::string url = LineAddress(line); !url.empty()) doc.urls.push_back(std::move(url));
        doc.text.append(line);
        doc.text += "\r\n";
        if (end < bytes.size() && bytes[end] == '\r' && end + 1 < bytes.size() &&
            bytes[end + 1] == '\n')
            ++end;
        start = end + 1;
    }
    return doc;
}

}  // namespace sonfara::files
