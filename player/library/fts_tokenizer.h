// The full-text tokenizer of the library's search index: folded text cut
// into overlapping three-character pieces, one starting at every character,
// where the last two characters of a run of text stand as a two- and a
// one-character piece. A word of three or more characters is found as the
// phrase of its pieces; a shorter one as a prefix of the pieces, so the
// one- and two-character words Japanese titles are full of (夜空, 星) are
// found anywhere, which a plain trigram index cannot do.
#pragma once

struct sqlite3;

namespace sonfara::library {

inline constexpr const char* kTokenizerName = "sonfara_ngram";

// Registers the tokenizer on one connection; false when FTS5 is missing.
bool RegisterTokenizer(sqlite3* db);

}  // namespace sonfara::library
