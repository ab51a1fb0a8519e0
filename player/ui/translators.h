// Qt's translators for the language chosen at start-up: the program's own
// texts (Japanese is their source, so only English has a catalogue) and
// Qt's own dialogs and buttons from Qt's catalogues.
#pragma once

#include <QString>

class QCoreApplication;

namespace sonfara::ui {

// The program's catalogue, sonfara_en.qm, beside the shipped data.
inline constexpr const char* kTranslationsFolder = "translations";

// Installs the translators on `app` (they live as long as it does). False
// when English was asked for and the program's catalogue is not in
// `folder`: the texts stay Japanese.
bool InstallTranslators(QCoreApplication& app, bool english, const QString& folder);

}  // namespace sonfara::ui
