// Text from files stays in the system code page as bytes; it becomes UTF-8
// only where it is shown, and UTF-8 becomes code-page bytes only where it is
// sent to a peer or written to one of our own files.
#pragma once

#include <string>
#include <string_view>

namespace sonfara {

class CodePage {
public:
    // The default is CP932 (Windows-31J), the code page of the songs' texts.
    static constexpr const char* kDefaultName = "CP932";

    explicit CodePage(std::string name = kDefaultName);

    const std::string& Name() const { return name_; }

    // Bytes that are not valid in the code page become U+FFFD; never fails.
    std::string ToUtf8(std::string_view bytes) const;

    // Characters the code page cannot hold become '?'; never fails.
    std::string FromUtf8(std::string_view utf8) const;

    // True when iconv knows the name (an unknown name falls back to CP932).
    bool Valid() const { return valid_; }

private:
    std::string name_;
    bool valid_ = false;
};

// The code page named by $SONFARA_CODEPAGE, else CP932.
const CodePage& SystemCodePage();

}  // namespace sonfara
