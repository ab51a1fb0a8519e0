// The player's file type and the per-extension default application.
// Linux: a desktop entry, MIME definitions for the extensions the shared
// MIME database lacks, and [Default Applications] in mimeapps.list.
// Windows: HKCU\Software\Classes.
#pragma once

#include <array>
#include <string>

namespace sonfara::platform {

inline constexpr const char* kPlayerFileType = "Sonfara.File";
inline constexpr int kAssociableCount = 10;

struct AssociableExtension {
    const char* ext;        // ".mid"
    const char* mime_type;  // Linux MIME type
    bool own_type;          // defined by us (the shared database has none)
    const char* comment;    // UTF-8 description
};

// .mid .rmi .rcp .r18 .r36 .g18 .g36 .mlt .lmd .zmd, index 0..9 for
// Executable1..Executable10.
const std::array<AssociableExtension, kAssociableCount>& AssociableExtensions();

class ShellIntegration {
  public:
    virtual ~ShellIntegration() = default;
    // Writes the file-type registration that points at `launcher` (the
    // program that opens songs). Called at every start; false on failure.
    virtual bool RegisterFileType(const std::string& launcher) = 0;
    // The current association text of extension `index` (0-based); empty
    // when there is none.
    virtual std::string ReadAssociation(int index) = 0;
    // Writes an association text; kPlayerFileType selects the player, empty
    // or "None" removes the association.
    virtual bool WriteAssociation(int index, const std::string& value) = 0;
};

// The MIME types the player opens, ";"-terminated as a desktop entry's
// MimeType= value: the associable types, then audio/x-midi (the old name of
// audio/midi) and the plain LHA and ZIP archives. The installed desktop entry
// and the settings dialog's registration both use it.
std::string PlayerMimeTypes();

// The shared-mime-info package defining the types of AssociableExtensions()
// that the shared database lacks (installed as share/mime/packages/sonfara.xml
// and written per user by the registration).
std::string MimePackageXml();

// True when an association text names the player's file type.
bool IsPlayerAssociation(const std::string& value);

// Which extensions belong to the player now (what the settings dialog
// shows selected when it opens).
std::array<bool, kAssociableCount> PlayerAssociations(ShellIntegration& shell);

// Applies the dialog's selection: a selected extension owned by another
// type has that type remembered in `executable[i]` and is taken over; an
// unselected one owned by the player gets `executable[i]` back ("None" when
// nothing was remembered means no default). Others stay as they are.
void ApplyAssociations(ShellIntegration& shell, const std::array<bool, kAssociableCount>& selected,
                       std::array<std::string, kAssociableCount>& executable);

#ifndef _WIN32
class FreedesktopShell : public ShellIntegration {
  public:
    // Folders default to $XDG_DATA_HOME and $XDG_CONFIG_HOME (with the
    // usual fallbacks). `update_mime_database` runs that tool after the
    // MIME definitions changed, when it is installed.
    FreedesktopShell(std::string data_home = {}, std::string config_home = {},
                     bool update_mime_database = true);

    bool RegisterFileType(const std::string& launcher) override;
    std::string ReadAssociation(int index) override;
    bool WriteAssociation(int index, const std::string& value) override;

    std::string DesktopEntryPath() const;
    std::string MimePackagePath() const;
    std::string MimeAppsPath() const;
    static std::string DesktopId() { return std::string(kPlayerFileType) + ".desktop"; }

  private:
    std::string data_home_;
    std::string config_home_;
    bool update_mime_database_;
};
#else
class RegistryShell : public ShellIntegration {
  public:
    bool RegisterFileType(const std::string& launcher) override;
    std::string ReadAssociation(int index) override;
    bool WriteAssociation(int index, const std::string& value) override;
};
#endif

// The shell integration of this platform.
ShellIntegration& PlatformShell();

// The quoted Exec= value for a program path (desktop entry rules).
std::string DesktopExecQuote(const std::string& path);

}  // namespace sonfara::platform
