#include "player/shell/command_line.h"

#include <gtest/gtest.h>

using namespace sonfara::shell;

TEST(CommandLine, PathsLoseOnePairOfSurroundingQuotes) {
    const CommandLine cl = ParseCommandLine(
        {QStringLiteral("\"/songs/a b.mid\""), QStringLiteral("/songs/c.mid"),
         QStringLiteral("\"/songs/open.mid"), QStringLiteral("\"\"x\"\""), QStringLiteral("\"\"")});
    EXPECT_EQ(cl.action, CommandLine::Action::kRun);
    EXPECT_EQ(cl.paths,
              (QStringList{QStringLiteral("/songs/a b.mid"), QStringLiteral("/songs/c.mid"),
                           QStringLiteral("/songs/open.mid"), QStringLiteral("\"x\"")}));
}

TEST(CommandLine, Options) {
    EXPECT_EQ(ParseCommandLine({QStringLiteral("a.mid"), QStringLiteral("--help")}).action,
              CommandLine::Action::kHelp);
    EXPECT_EQ(ParseCommandLine({QStringLiteral("--version")}).action,
              CommandLine::Action::kVersion);
    const CommandLine bad = ParseCommandLine({QStringLiteral("--bogus")});
    EXPECT_EQ(bad.action, CommandLine::Action::kBadOption);
    EXPECT_EQ(bad.badOption, u"--bogus");
    // After "--" and for a lone "-", everything is a path.
    const CommandLine files =
        ParseCommandLine({QStringLiteral("--"), QStringLiteral("--help"), QStringLiteral("-")});
    EXPECT_EQ(files.action, CommandLine::Action::kRun);
    EXPECT_EQ(files.paths, (QStringList{QStringLiteral("--help"), QStringLiteral("-")}));
}
