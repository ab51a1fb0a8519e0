// The engine's one way to report a failure: a code of the layer's own enum
// and, where the text needs it, a detail (a name, a path, what the system
// said). The user text is never built at the failure: Message() looks it up
// in the layer's one message table, MessageFor(code, detail), which each
// layer declares beside its enum (found by argument-dependent lookup).
//
// A code enum has kNone = 0 for success. Status is [[nodiscard]]: a caller
// handles the result or drops it with (void) and a comment saying why.
#pragma once

#include <string>
#include <utility>

namespace sonfara::platform {

template <class Code>
class [[nodiscard]] Status {
  public:
    Status() = default;
    // Implicit, so a function can `return Code::kX;`.
    Status(Code code, std::string detail = {}) : code_(code), detail_(std::move(detail)) {}

    bool ok() const { return code_ == Code{}; }
    Code code() const { return code_; }
    const std::string& detail() const { return detail_; }
    // The text for the user (UTF-8); empty on success.
    std::string Message() const { return ok() ? std::string() : MessageFor(code_, detail_); }

  private:
    Code code_{};
    std::string detail_;
};

}  // namespace sonfara::platform
