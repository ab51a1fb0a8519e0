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

// The SoundFont the "no SoundFont" box points to: taken for this run in
// either spelling, the paths around it kept, a missing value told as such.
TEST(CommandLine, SoundFontOptionNamesTheRunsSoundFont) {
    const CommandLine cl = ParseCommandLine(
        {QStringLiteral("--soundfont"), QStringLiteral("/sf/a b.sf2"), QStringLiteral("song.mid"),
         QStringLiteral("--soundfont=/sf/c.sf2"), QStringLiteral("more.mid")});
    EXPECT_EQ(cl.action, CommandLine::Action::kRun);
    EXPECT_EQ(cl.soundFont, u"/sf/c.sf2");  // the last one given
    EXPECT_EQ(cl.paths, (QStringList{QStringLiteral("song.mid"), QStringLiteral("more.mid")}));

    // The value is taken as it is, even when it looks like an option.
    EXPECT_EQ(
        ParseCommandLine({QStringLiteral("--soundfont"), QStringLiteral("--x.sf2")}).soundFont,
        u"--x.sf2");
    const CommandLine missing =
        ParseCommandLine({QStringLiteral("a.mid"), QStringLiteral("--soundfont")});
    EXPECT_EQ(missing.action, CommandLine::Action::kMissingValue);
    EXPECT_EQ(missing.badOption, u"--soundfont");
    // After "--" it is a file name like any other.
    const CommandLine file = ParseCommandLine(
        {QStringLiteral("--"), QStringLiteral("--soundfont"), QStringLiteral("x")});
    EXPECT_TRUE(file.soundFont.isEmpty());
    EXPECT_EQ(file.paths.size(), 2);
    EXPECT_TRUE(HelpText().contains(QStringLiteral("--soundfont PATH")));
}
