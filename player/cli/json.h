// A minimal JSON writer for the command line's --json output.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sonfara::cli {

// Escapes a UTF-8 string as a JSON string literal (with the quotes).
std::string JsonString(std::string_view s);

class JsonWriter {
  public:
    void BeginObject() {
        Sep();
        out_ += '{';
        first_ = true;
    }
    void EndObject() {
        out_ += '}';
        first_ = false;
    }
    void BeginArray() {
        Sep();
        out_ += '[';
        first_ = true;
    }
    void EndArray() {
        out_ += ']';
        first_ = false;
    }
    void Key(std::string_view k) {
        Sep();
        out_ += JsonString(k);
        out_ += ':';
        first_ = true;
    }
    void String(std::string_view s) {
        Sep();
        out_ += JsonString(s);
    }
    void Int(int64_t v) {
        Sep();
        out_ += std::to_string(v);
    }
    void Bool(bool v) {
        Sep();
        out_ += v ? "true" : "false";
    }
    void Null() {
        Sep();
        out_ += "null";
    }
    const std::string& Text() const { return out_; }

  private:
    void Sep() {
        if (!first_) out_ += ',';
        first_ = false;
    }
    std::string out_;
    bool first_ = true;
};

}  // namespace sonfara::cli
