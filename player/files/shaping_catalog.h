// The arrangements and EQ presets the menus offer, read from the program's
// shipped folders and the user's own, and the selection built from them.
#pragma once

#include <string>
#include <vector>

#include "player/files/arrangement.h"
#include "player/files/file_entry.h"
#include "player/platform/codepage.h"

namespace sonfara::files {

struct ShapingFolders {
    std::vector<std::string> arr;  // searched in this order
    std::vector<std::string> eq;
};

// <shipped data folder>/arr and /eq (the presets shipped with the program;
// see ShippedDataFolder), then
// $XDG_DATA_HOME/Sonfara/arr and /eq (the user's own).
ShapingFolders DefaultShapingFolders(const std::string& program_folder);

class ShapingCatalog {
  public:
    // Reads every *.arr / *.meq file (extension in any letter case) of the
    // folders, each folder in byte order of the file names, up to 100 of
    // each kind. Files with a wrong header or length are skipped.
    void Load(const ShapingFolders& folders);
    void LoadArrangements(const std::vector<std::string>& folders);
    void LoadEqPresets(const std::vector<std::string>& folders);

    const std::vector<sequencer::ArrangeEntry>& Arrangements() const { return arrangements_; }
    const std::vector<sequencer::EqPreset>& EqPresets() const { return eq_; }
    // Captions in item order (item k-1 is entry k), as the files hold them
    // (the settings store keeps these bytes).
    std::vector<std::string> ArrangementCaptions() const;
    std::vector<std::string> EqCaptions() const;
    // The same as the menus show them: UTF-8, each arrangement file read in
    // the encoding decided for it.
    const std::vector<std::string>& ArrangementMenuCaptions() const { return arr_shown_; }
    const std::vector<std::string>& EqMenuCaptions() const { return eq_shown_; }
    // The files the entries came from, parallel to the lists above.
    const std::vector<std::string>& ArrangementPaths() const { return arr_paths_; }
    const std::vector<std::string>& EqPaths() const { return eq_paths_; }

  private:
    std::vector<sequencer::ArrangeEntry> arrangements_;
    std::vector<std::string> arr_paths_;
    std::vector<std::string> arr_shown_;
    std::vector<sequencer::EqPreset> eq_;
    std::vector<std::string> eq_paths_;
    std::vector<std::string> eq_shown_;
};

// Menu selection: arrangement item n (1-based, 0 = none; out of range
// counts as none) and EQ preset k (1-based, 0 = off).
void SelectArrangement(sequencer::SoundShaping& s, const ShapingCatalog& c, int n);
void SelectEq(sequencer::SoundShaping& s, const ShapingCatalog& c, int k);
sequencer::SoundShaping MakeSoundShaping(const ShapingCatalog& c, int arr_mode, int eq_item);

// Resolves the command line's --arrangement NAME and --eq NAME (either may
// be empty for none). NAME is the caption (given in UTF-8, compared with the
// menu's caption), the file name without its extension, or
// the 1-based menu number. kNoArrangement or kNoEqPreset when a name
// matches nothing.
files::FileStatus ResolveSoundShaping(const ShapingCatalog& c, const std::string& arrangement,
                                      const std::string& eq, sequencer::SoundShaping& out);

// The 1-based menu item a command-line NAME picks (as above); 0 for none.
int FindArrangementItem(const ShapingCatalog& c, const std::string& name);
int FindEqItem(const ShapingCatalog& c, const std::string& name);

}  // namespace sonfara::files
