// The full-text tokenizer of the library's search index: folded text cut
// into overlapping two-character pieces, so that any word of two or more
// characters is found as a phrase of its pieces, and one character as a
// prefix (each run of text also ends in its last character alone). Japanese
// titles have no spaces between words; a trigram index would not find the
// two-character words they are full of.
#pragma once

struct sqlite3;

namespace sonfara::library {

inline constexpr const char* kTokenizerName = "sonfara_bigram";

// Registers the tokenizer on one connection; false when FTS5 is missing.
bool RegisterTokenizer(sqlite3* db);

}  // namespace sonfara::library
