// Text from files stays bytes in the engine; it becomes UTF-8 where it is
// shown, in the code page the text decision (text_decoding.h) chose for it;
// UTF-8 becomes code-page bytes where it is sent to a peer or written by us.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace sonfara::platform {

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

    // Strict forms: false (and `out` unspecified) when any byte or character
    // does not convert, so a caller can tell a lossy text from a good one.
    bool TryToUtf8(std::string_view bytes, std::string& out) const;
    bool TryFromUtf8(std::string_view utf8, std::string& out) const;

    // True when iconv knows the name (an unknown name falls back to CP932).
    bool Valid() const { return valid_; }

  private:
    std::string name_;
    bool valid_ = false;
    // A converter held open for the code page's life: glibc unloads a
    // converter module when its last user closes it, and each conversion
    // opens its own (iconv handles are not shared between threads).
    std::shared_ptr<void> keepLoaded_;
};

// The program's code page: the one given to SetSystemCodePage, else the one
// named by $SONFARA_CODEPAGE, else CP932. Every layer that has no code page
// handed to it reads this one.
const CodePage& SystemCodePage();

// Sets the program's code page (the command line's --codepage). Call it at
// start-up, before any other thread runs; references returned earlier by
// SystemCodePage() see the new code page.
void SetSystemCodePage(const std::string& name);

// Well-formed UTF-8 (no overlong forms, surrogates or C1 controls) with at
// least one non-ASCII character. Readers do not ask this: they ask the text
// decision (text_decoding.h).
bool IsPlausibleUtf8(std::string_view bytes);

}  // namespace sonfara::platform
