// The text document beside a song (<song>.txt, else <song>.doc).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace sonfara::files {

struct CompanionDocument {
    std::string text;               // the lines, each ended by CR LF (code-page bytes)
    std::string fileName;           // path of the document shown, empty when none
    std::vector<std::string> urls;  // addresses found, in file order
    bool shellTextEnabled = false;  // the text-editor menu entry
};

// The address in a line: "http://" followed by address characters; empty
// when the line has none or at most one character after "http://".
std::string LineAddress(std::string_view line);

// Looks for the document and reads it. A song path of fewer than three
// characters, or a document that cannot be read, gives no document.
CompanionDocument ReadCompanionDocument(const std::string& songPath);

}  // namespace sonfara::files
