#include "player/ui/translators.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace sonfara::ui {

namespace {

bool Install(QCoreApplication& app, const QString& name, const QString& folder) {
    auto* t = new QTranslator(&app);
    if (t->load(name, folder) && QCoreApplication::installTranslator(t)) return true;
    delete t;
    return false;
}

}  // namespace

bool InstallTranslators(QCoreApplication& app, bool english, const QString& folder) {
    // Without Qt's catalogue its own texts stay English.
    Install(app, english ? QStringLiteral("qtbase_en") : QStringLiteral("qtbase_ja"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (!english) return true;
    return Install(app, QStringLiteral("sonfara_en"), folder);
}

}  // namespace sonfara::ui
