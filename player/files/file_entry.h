// Play-list entries, the record of the song being opened, and the one way
// the file layer talks to the user.
#pragma once

#include <array>
#include <string>

#include "player/platform/language.h"
#include "player/platform/result.h"
#include "player/song/messages.h"

namespace sonfara::files {

// One play-list entry. Paths are native (UTF-8, '/' on Linux); every field
// may be empty.
struct FileEntry {
    std::string FileName;     // song file name; for an archive member its name in the archive
    std::string Folder;       // folder of the song, or of the archive
    std::string ArchiveName;  // archive file name (no folder), empty for a plain file
    std::string ListFile;     // full path of the list file the entry came from

    bool operator==(const FileEntry&) const = default;
};

// What describes the song being opened; the windows and the recent list read it.
struct SongSource {
    std::string FormatText;   // "SMF Format ", "RMI Format ", "RCM Ver 2.0", ...
    std::string LoadedPath;   // the file actually given to the loader
    std::string FileName;     // the song's file name
    std::string FullPath;     // the path as the user knows it (archive members: work-folder copy)
    std::string ArchivePath;  // full path of the archive, or empty
    std::string ListFile;     // list file, or empty
};

inline constexpr const char* kCaption = "Sonfara";

// Message boxes in the GUI, stderr on the command line. Texts are UTF-8.
class Notifier {
  public:
    virtual ~Notifier() = default;
    // Critical-stop icon, OK button, caption kCaption.
    virtual void Error(const std::string& text) = 0;
    // Information icon.
    virtual void Info(const std::string& text) { Error(text); }
};

class StderrNotifier final : public Notifier {
  public:
    void Error(const std::string& text) override;
    void Info(const std::string& text) override;
};

// User texts of the file layer.
namespace msg {
inline constexpr const char* kFileNotFound = "ファイルが見つかりません";
inline constexpr const char* kUnsupported = "対応ファイルではありません";
inline constexpr const char* kNoRcpConverter =
    "RCPCV.DLLが見つからないのでレコンポーザ形式のファイルは再生できません";
inline constexpr const char* kFileMissing = "ファイルが存在しません";
inline constexpr const char* kCannotOpenDevice = "MIDIデバイスが開けません";
inline constexpr const char* kTimerFatal =
    "フェイタル・エラー\rマルチメディアタイマーが作成できません。終了します";
inline constexpr const char* kNoLhaLibrary =
    "書庫を操作するために必要なUNLHA32.DLLが見つかりません";
inline constexpr const char* kNoZipLibrary =
    "書庫を操作するために必要なUNZIP32.DLLが見つかりません";
inline constexpr const char* kListUnreadable = "このリストファイルは解析不能です";
inline constexpr const char* kNoFiles = "ファイルがありません";
inline constexpr const char* kOpenTitle = "MIDIファイルを開く";
inline constexpr const char* kOpenFilter =
    "MIDI Files(*.mid,*.rmi,*.rcp,*.mlt,*.lzh,*.zip,*.lmd...) "
    "|*.mid;*.rcp;*.mlt;*.lzh;*.zip;*.g18;*.g36;*.r18;*.r36;*.rmi;*.lmd;*.zmd|";
inline constexpr const char* kFolderPrompt = "MIDIファイルがあるフォルダを指定してください";
inline constexpr const char* kSaveTitle = "リストファイルの保存";
inline constexpr const char* kSaveFilterList = "リストファイル(*.mlt) |*.mlt|";
inline constexpr const char* kSaveFilterLzh = "圧縮ファイル(*.lzh)|*.lzh|";
inline constexpr const char* kSaveFilterLmd = "圧縮ファイル(*.lmd)|*.lmd|";
inline constexpr const char* kNoEntryPlaceholder = "なし";
// Our own additions.
inline constexpr const char* kListFull =
    "再生リストに登録できるのは500曲までです。それ以降のファイルは追加されませんでした";
inline constexpr const char* kUnsafeMember = "書庫内の不正なファイル名を無視しました: ";
inline constexpr const char* kWorkFolderUnsafe = "作業フォルダが使用できません: ";
inline constexpr const char* kSaveFailed = "ファイルを保存できませんでした: ";
inline constexpr const char* kSkippedMembers = "書庫内の名前を読み取れないファイルを無視しました: ";
inline constexpr const char* kArchiveDamaged =
    "書庫が壊れているため、途中までしか読み込めませんでした: ";
inline constexpr const char* kSaveIncomplete = "次の曲は読み込めなかったため保存されませんでした: ";
inline constexpr const char* kFavoriteExists = "同じ名前のお気に入りが既にあります: ";
inline constexpr const char* kFavoriteDeleteFailed = "お気に入りを削除できませんでした: ";
inline constexpr const char* kFavoriteSkipped = "読み込めないお気に入りのファイルを無視しました: ";
inline constexpr const char* kNoSongsInFolder = "このフォルダには曲がありません: ";
// The built-in Recomposer converter: kRcpFailed + "（" + reason + "）: " + path.
inline constexpr const char* kRcpFailed = "レコンポーザ形式のファイルを変換できませんでした";
inline constexpr const char* kRcpCannotRead = "ファイルを読み込めません";
inline constexpr const char* kRcpTooBig = "ファイルが大きすぎます";
inline constexpr const char* kRcpTruncated = "ファイルが途中で切れています";
inline constexpr const char* kRcpUnknownHeader = "レコンポーザ形式のヘッダではありません";
inline constexpr const char* kRcpMissingMeasure = "存在しない小節を参照しています";
inline constexpr const char* kRcpSameMeasureLoop = "同一小節の参照が循環しています";
inline constexpr const char* kRcpTooManyEvents = "ループを展開するとイベントが多すぎます";
inline constexpr const char* kRcpTooLong = "ステップタイムが異常で曲が長すぎます";
// The reasons above in FileError's order, from kRcpCannotRead on.
inline constexpr std::array<const char*, 8> kRcpReasons{
    kRcpCannotRead,     kRcpTooBig,          kRcpTruncated,     kRcpUnknownHeader,
    kRcpMissingMeasure, kRcpSameMeasureLoop, kRcpTooManyEvents, kRcpTooLong};
inline constexpr const char* kRcpControlMissing =
    "コントロールファイルが見つからないか読めないため、その設定は送信しません: ";
// Saving the playing song as a Standard MIDI File.
inline constexpr const char* kSaveSmfTitle = "SMFとして保存";
// The favourite prompt: "\"" + path + kFavoritePromptTail.
inline constexpr const char* kFavoritePromptTail =
    "\"\r をお気に入りに追加します\r\r タイトルを入力してください";

// The same texts in English (language.h).
inline const platform::MessageTranslations kEnglish{
    {kFileNotFound, "File not found"},
    {kUnsupported, "Not a supported file"},
    {kNoRcpConverter, "RCPCV.DLL is missing, so Recomposer files cannot be played"},
    {kFileMissing, "The file does not exist"},
    {kCannotOpenDevice, "Cannot open the MIDI device"},
    {kTimerFatal, "Fatal error\rCannot create the multimedia timer. The program ends"},
    {kNoLhaLibrary, "UNLHA32.DLL, needed to work with archives, is missing"},
    {kNoZipLibrary, "UNZIP32.DLL, needed to work with archives, is missing"},
    {kListUnreadable, "This list file cannot be read"},
    {kNoFiles, "No files"},
    {kOpenTitle, "Open MIDI Files"},
    {kFolderPrompt, "Choose the folder that holds the MIDI files"},
    {kSaveTitle, "Save List File"},
    {kListFull, "A play list holds at most 500 songs. The files after that were not added"},
    {kUnsafeMember, "Ignored a file with an unsafe name in the archive: "},
    {kWorkFolderUnsafe, "The work folder cannot be used: "},
    {kSaveFailed, "Could not save the file: "},
    {kSkippedMembers, "Ignored files in the archive whose names cannot be read: "},
    {kArchiveDamaged, "The archive is damaged; only part of it could be read: "},
    {kSaveIncomplete, "These songs could not be read and were not saved: "},
    {kFavoriteExists, "A favorite with the same name exists already: "},
    {kFavoriteDeleteFailed, "Could not delete the favorite: "},
    {kFavoriteSkipped, "Ignored favorite files that cannot be read: "},
    {kNoSongsInFolder, "This folder holds no songs: "},
    {kRcpFailed, "Could not convert the Recomposer file"},
    {kRcpCannotRead, "cannot read the file"},
    {kRcpTooBig, "the file is too large"},
    {kRcpTruncated, "the file is cut short"},
    {kRcpUnknownHeader, "not a Recomposer header"},
    {kRcpMissingMeasure, "refers to a measure that does not exist"},
    {kRcpSameMeasureLoop, "measure references form a cycle"},
    {kRcpTooManyEvents, "too many events once the loops are expanded"},
    {kRcpTooLong, "odd step times make the song too long"},
    {kRcpControlMissing, "A control file is missing or unreadable, so its settings are not sent: "},
    {kSaveSmfTitle, "Save as SMF"},
    {kFavoritePromptTail, "\"\r is added to the favorites\r\r Enter a title"},
};
}  // namespace msg

// Why a favourite could not be written or removed, or a song not read.
// The song texts name what went wrong; the caller adds ": " and the file.
enum class FileError {
    kNone = 0,
    kFavoriteExists,        // detail: the title whose file name is taken
    kCannotSave,            // detail: what the system said
    kCannotDeleteFavorite,  // detail: the file and what the system said
    kFolderUnusable,        // detail: the folder and why it is not a private one of ours
    kNoArrangement,         // detail: the name asked for
    kNoEqPreset,            // detail: the name asked for
    kNoSuchFavorite,        // no favourite at that place: nothing changed, nothing to tell
    kReported,              // failed, and the user was told already
    kSongNotLoaded,         // the SMF reader refused the song; detail: its reason
    // The Recomposer converter refused the song (RcpProblem, in its order).
    kRcpCannotRead,
    kRcpTooBig,
    kRcpTruncated,
    kRcpUnknownHeader,
    kRcpMissingMeasure,
    kRcpSameMeasureLoop,
    kRcpTooManyEvents,
    kRcpTooLong,
};

// "レコンポーザ形式のファイルを変換できませんでした（reason）".
inline std::string RcpFailureText(FileError code) {
    const char* why = msg::kRcpReasons[static_cast<size_t>(code) -
                                       static_cast<size_t>(FileError::kRcpCannotRead)];
    if (platform::UiLanguage() == platform::Language::kEnglish)
        return platform::Localized(msg::kRcpFailed) + " (" + platform::Localized(why) + ")";
    return std::string(msg::kRcpFailed) + "（" + why + "）";
}

inline std::string MessageFor(FileError code, const std::string& detail) {
    if (code >= FileError::kRcpCannotRead) return RcpFailureText(code);
    switch (code) {
        case FileError::kFavoriteExists:
            return msg::kFavoriteExists + detail;
        case FileError::kCannotDeleteFavorite:
            return msg::kFavoriteDeleteFailed + detail;
        case FileError::kSongNotLoaded:
            return song::msg::LoadErrorCaption(detail);
        case FileError::kFolderUnusable:
            return detail;
        // The command line's words for --arrangement and --eq.
        case FileError::kNoArrangement:
            return "no arrangement named '" + detail + "'";
        case FileError::kNoEqPreset:
            return "no EQ preset named '" + detail + "'";
        default:
            return msg::kSaveFailed + detail;
    }
}

using FileStatus = platform::Status<FileError>;

}  // namespace sonfara::files
