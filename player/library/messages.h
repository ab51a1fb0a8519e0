// Failures of the song library and their texts.
#pragma once

#include <string>

#include "player/platform/language.h"
#include "player/platform/result.h"

namespace sonfara::library {

namespace msg {
inline constexpr const char* kDamagedSetAside =
    "ライブラリのデータベースが壊れていたので別名で保存し、新しく作り直します: ";
inline constexpr const char* kCannotOpen =
    "ライブラリのデータベースを開けません。ライブラリなしで続けます: ";
inline constexpr const char* kCannotWrite =
    "ライブラリのデータベースに書き込めません（読み取り専用かディスクがいっぱいです）: ";
inline constexpr const char* kScanRunning = "ライブラリの走査はすでに実行中です";
inline constexpr const char* kNoFolder = "フォルダが見つかりません: ";
inline constexpr const char* kBadQuery = "検索条件が正しくありません: ";
inline constexpr const char* kScanCancelled = "ライブラリの走査を中止しました";
inline constexpr const char* kCannotReadFile = "ファイルを読めません";
inline constexpr const char* kCannotExtract = "書庫から取り出せません";
inline const platform::MessageTranslations kEnglish{
    {kCannotReadFile, "Cannot read the file"},
    {kCannotExtract, "Cannot extract it from the archive"},
    {kDamagedSetAside,
     "The library database was damaged; it was set aside and a new one is built: "},
    {kCannotOpen, "Cannot open the library database; going on without a library: "},
    {kCannotWrite, "Cannot write the library database (read-only or the disk is full): "},
    {kScanRunning, "A library scan is already running"},
    {kNoFolder, "Folder not found: "},
    {kBadQuery, "Invalid search: "},
    {kScanCancelled, "The library scan was cancelled"},
};
}  // namespace msg

enum class LibraryError {
    kNone = 0,
    kDamaged,      // detail: the name the damaged file was set aside as
    kCannotOpen,   // detail: the database path and what SQLite said
    kCannotWrite,  // detail: the database path and what SQLite said
    kScanRunning,
    kNoFolder,  // detail: the folder
    kBadQuery,  // detail: the word that is wrong
    kCancelled,
};

inline std::string MessageFor(LibraryError code, const std::string& detail) {
    using namespace library::msg;
    switch (code) {
        case LibraryError::kNone:
            return {};
        case LibraryError::kDamaged:
            return platform::Localized(kDamagedSetAside) + detail;
        case LibraryError::kCannotOpen:
            return platform::Localized(kCannotOpen) + detail;
        case LibraryError::kCannotWrite:
            return platform::Localized(kCannotWrite) + detail;
        case LibraryError::kScanRunning:
            return platform::Localized(kScanRunning);
        case LibraryError::kNoFolder:
            return platform::Localized(kNoFolder) + detail;
        case LibraryError::kBadQuery:
            return platform::Localized(kBadQuery) + detail;
        case LibraryError::kCancelled:
            return platform::Localized(kScanCancelled);
    }
    return {};
}

using LibraryStatus = platform::Status<LibraryError>;

}  // namespace sonfara::library
