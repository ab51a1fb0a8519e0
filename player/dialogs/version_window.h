// The version window: the program, SfrLib, the libraries in use and the
// optional plug-ins. UI thread only.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

namespace sonfara::platform {
class SfrLibBinding;
}  // namespace sonfara::platform

namespace sonfara::dialogs {

inline constexpr const char* kNotInstalled = "Not Installed";

struct VersionRow {
    std::string name;
    std::string version;
};

// Asked at run time where the library can say (FluidSynth, RtMidi,
// libarchive, Qt, the plug-ins, SfrLib); the program's own from the build.
std::vector<VersionRow> CollectVersions(platform::SfrLibBinding& sfrlib);

class VersionWindow final : public QDialog {
    Q_OBJECT
  public:
    explicit VersionWindow(const std::vector<VersionRow>& rows, QWidget* parent = nullptr);
};

}  // namespace sonfara::dialogs
