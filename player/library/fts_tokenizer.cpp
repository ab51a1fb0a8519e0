#include "player/library/fts_tokenizer.h"

#include <sqlite3.h>

#include <algorithm>
#include <string>
#include <vector>

#include "player/library/text_fold.h"

namespace sonfara::library {
namespace {

// The tokenizer keeps no state: any non-null handle will do.
int Create(void*, const char**, int, Fts5Tokenizer** out) {
    static int handle;
    *out = reinterpret_cast<Fts5Tokenizer*>(&handle);
    return SQLITE_OK;
}

void Delete(Fts5Tokenizer*) {}

constexpr size_t kPieceLength = 3;

using TokenFn = int (*)(void*, int, const char*, int, int, int);

int Tokenize(Fts5Tokenizer*, void* ctx, int flags, const char* text, int length, TokenFn token) {
    const std::vector<char32_t> cps = FoldCodePoints({text, static_cast<size_t>(length)});
    // A query's text is one word: its three-character pieces, or the word
    // itself when it is shorter (searched as a prefix).
    const bool query = (flags & FTS5_TOKENIZE_QUERY) != 0;
    std::string piece;
    size_t i = 0;
    while (i < cps.size()) {
        if (IsWordBreak(cps[i])) {
            ++i;
            continue;
        }
        size_t end = i;
        while (end < cps.size() && !IsWordBreak(cps[end])) ++end;
        for (size_t k = i; k < end; ++k) {
            const size_t n = std::min<size_t>(kPieceLength, end - k);
            if (query && n < kPieceLength && k > i) break;
            piece.clear();
            for (size_t c = k; c < k + n; ++c) AppendUtf8(cps[c], piece);
            // Offsets into the folded text are not the source's; nothing
            // here highlights, so they only need to be in range.
            const int at = static_cast<int>(std::min<size_t>(k, static_cast<size_t>(length)));
            const int rc = token(ctx, 0, piece.data(), static_cast<int>(piece.size()), at, at);
            if (rc != SQLITE_OK) return rc;
            if (query && n < kPieceLength) break;
        }
        i = end;
    }
    return SQLITE_OK;
}

fts5_api* Fts5Api(sqlite3* db) {
    fts5_api* api = nullptr;
    sqlite3_stmt* st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &st, nullptr) != SQLITE_OK) return nullptr;
    sqlite3_bind_pointer(st, 1, &api, "fts5_api_ptr", nullptr);
    sqlite3_step(st);
    sqlite3_finalize(st);
    return api;
}

}  // namespace

bool RegisterTokenizer(sqlite3* db) {
    fts5_api* api = Fts5Api(db);
    if (!api) return false;
    static fts5_tokenizer tokenizer{Create, Delete, Tokenize};
    return api->xCreateTokenizer(api, kTokenizerName, nullptr, &tokenizer, nullptr) == SQLITE_OK;
}

}  // namespace sonfara::library
