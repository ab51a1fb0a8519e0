// The command line of `sonfara`: options and the paths to open.
#pragma once

#include <QString>
#include <QStringList>

namespace sonfara::shell {

struct CommandLine {
    // kMissingValue: badOption names an option given without its value.
    enum class Action { kRun, kHelp, kVersion, kBadOption, kMissingValue };
    Action action = Action::kRun;
    QStringList paths;  // each with one pair of surrounding double quotes removed
    QString badOption;  // the unknown option for kBadOption
    // --soundfont PATH (or --soundfont=PATH): the SoundFont of this run,
    // not stored in the settings; empty: the usual search.
    QString soundFont;
};

// Launchers that quote the whole path hand it over with its quotes: a leading
// double quote is removed, and the last character with it when it is one too.
QString StripSurroundingQuotes(const QString& argument);

// args excludes the program name. "--" ends the options.
CommandLine ParseCommandLine(const QStringList& args);

// Paths made absolute against `folder` (the caller's current folder), so a
// running player given them by a hand-off opens the same files.
QStringList AbsolutePaths(const QStringList& paths, const QString& folder);

QString HelpText();

}  // namespace sonfara::shell
