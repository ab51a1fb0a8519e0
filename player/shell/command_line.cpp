#include "player/shell/command_line.h"

#include <QDir>

namespace sonfara::shell {

QString StripSurroundingQuotes(const QString& argument) {
    if (!argument.startsWith(u'"')) return argument;
    QString inner = argument.mid(1);
    if (inner.endsWith(u'"')) inner.chop(1);
    return inner;
}

CommandLine ParseCommandLine(const QStringList& args) {
    CommandLine result;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (!optionsEnded && arg.startsWith(u'-') && arg.size() > 1) {
            if (arg == u"--") {
                optionsEnded = true;
            } else if (arg.startsWith(u"--soundfont=")) {
                result.soundFont = arg.mid(arg.indexOf(u'=') + 1);
            } else if (arg == u"--soundfont") {
                if (i + 1 == args.size()) {
                    result.action = CommandLine::Action::kMissingValue;
                    result.badOption = arg;
                    return result;
                }
                result.soundFont = args[++i];
            } else if (arg == u"--help" || arg == u"-h") {
                result.action = CommandLine::Action::kHelp;
                return result;
            } else if (arg == u"--version") {
                result.action = CommandLine::Action::kVersion;
                return result;
            } else {
                result.action = CommandLine::Action::kBadOption;
                result.badOption = arg;
                return result;
            }
            continue;
        }
        QString path = StripSurroundingQuotes(arg);
        if (!path.isEmpty()) result.paths.push_back(path);
    }
    return result;
}

// Not canonical: a link the user named stays the link.
QStringList AbsolutePaths(const QStringList& paths, const QString& folder) {
    QStringList out;
    const QDir base(folder);
    for (const QString& p : paths) out.push_back(QDir::cleanPath(base.absoluteFilePath(p)));
    return out;
}

QString HelpText() {
    return QStringLiteral(
        "Usage: sonfara [OPTION]... [FILE]...\n"
        "Plays Standard MIDI Files, play lists, archives and folders of them.\n"
        "\n"
        "When a player is already running for this user, the files are handed\n"
        "to it and this process ends; without files the running player comes\n"
        "to the front.\n"
        "\n"
        "      --soundfont PATH  the built-in synthesizer's SoundFont for this run\n"
        "                        (not stored in the settings; a player already\n"
        "                        running keeps its own)\n"
        "  -h, --help            show this help and exit\n"
        "      --version         show the version and exit\n"
        "      --                treat every later argument as a file\n");
}

}  // namespace sonfara::shell
