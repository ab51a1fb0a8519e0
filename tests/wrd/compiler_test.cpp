#include "player/wrd/compiler.h"

#include <gtest/gtest.h>

#include "player/song/song_table.h"

namespace sonfara::wrd {
namespace {

// 480 ticks per quarter at 120 beats per minute: one tick is 1.0417 ms.
class Timing : public WrdTiming {
  public:
    int32_t Division() const override { return 480; }
    int32_t TickToMs(int32_t tick) const override {
        return static_cast<int32_t>(tick * 1000LL / 960);
    }
    int32_t EndTick() const override { return 99999; }
};

std::vector<WrdEvent> Compile(std::string_view s) {
    return CompileWrdScript(s, Timing());
}

std::vector<int32_t> Ticks(const std::vector<WrdEvent>& ev) {
    std::vector<int32_t> t;
    for (const auto& e : ev) t.push_back(e.tick);
    return t;
}

TEST(WrdCompiler, WaitRestOffsetAndEndSetTheClock) {
    // With ";" the clock commands place the next line exactly.
    auto ev = Compile(
        "@WAIT(1);\n@GINIT()\n@WAIT(2,24);\n@GINIT()\n@REST(1);\n@GINIT()\n@END();\n@GINIT()");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 2160, 1920, 99999}));
    ev = Compile("@OFFSET(2);\n@WAIT(1);\n@GINIT()\n@REST(1);\n@GINIT()");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{3840, 5760}));
    EXPECT_EQ(ev[0].ms, 4000);
    // Without it, a clock command is a line like any other: one step follows.
    ev = Compile("@WAIT(2,24)\n@GINIT()\n@WMODE(23)\n@GINIT()\n@OFFSET(1)\n@GINIT()");
    // 2160 + a measure; then a measure after @GINIT and the new step of 480
    // after @WMODE; then 480 after @GINIT and 480 after @OFFSET.
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{4080, 6480, 7440}));
    // Against a real tempo map: no tempo events, division 480.
    song::SongTable song;
    song.Division = 480;
    song.ResetTempoMap();
    ev = CompileWrdScript("@WAIT(2,24);\n@TON(1)", song);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].tick, 2160);
    EXPECT_EQ(ev[0].ms, 2250);
}

TEST(WrdCompiler, CommandsStepUnlessSemicolon) {
    auto ev = Compile("@WMODE(23);\n@COLOR(33)\n@TON(1);\n@GON(1)\n@GINIT()");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 480, 480, 960}));
    EXPECT_EQ(ev[0].opcode, kOpColor);
    EXPECT_EQ(ev[0].arg, "33");
    EXPECT_EQ(ev[3].arg, "");  // @GINIT carries no argument
    // Several commands on one line; text after a command is not used.
    ev = Compile("@WMODE(23);\n@TON(1); @GON(0) trailing text @LOCATE( 3,4 )");
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 0, 480}));
    EXPECT_EQ(ev[2].opcode, kOpLocate);
    EXPECT_EQ(ev[2].arg, "3,4");
    // Unknown commands make no event but their line takes its step.
    ev = Compile("@FOO(1);\n@TON(1)\n@FOO(2)\n@TON(2)");
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 3840}));
}

TEST(WrdCompiler, TextLinesAndCharacterMode) {
    auto ev = Compile("@WMODE(23);\nABC\nD");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 0, 0, 480}));
    ev = Compile("@WMODE(23,1);\nABC\nD");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 480, 960, 1440}));
    // Hello and ab together, c one step later, the line ends a step after.
    ev = Compile("@WMODE(23);\nHello|ab|c\nX");
    ASSERT_EQ(ev.size(), 9u);
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 0, 0, 0, 0, 0, 0, 480, 960}));
    // "_" waits a step; ";" holds the clock at the line's end.
    ev = Compile("@WMODE(23);\nA_B;\nC");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 480, 480}));
    EXPECT_EQ(ev[1].arg, "B");
    // The default step is one 4/4 measure.
    ev = Compile("A\nB");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 1920}));
}

TEST(WrdCompiler, EscapeSequences) {
    auto ev = Compile(
        "\x1b[33mA\x1b[5;10fB\x1b"
        "EC\x1bxD");
    ASSERT_EQ(ev.size(), 7u);
    EXPECT_EQ(ev[0].opcode, kOpColor);
    EXPECT_EQ(ev[0].arg, "33");
    EXPECT_EQ(ev[2].opcode, kOpLocate);
    EXPECT_EQ(ev[2].arg, "5;10");
    EXPECT_EQ(ev[4].arg, "C");  // ESC E skipped
    EXPECT_EQ(ev[5].arg, "x");  // lone ESC skipped, the letter shown
    EXPECT_EQ(ev[5].tick, 0);
}

TEST(WrdCompiler, DoubleByteCharactersStayWhole) {
    // Full-width space (81 40) and "ソ" (83 5C) have "@" and "\" as second
    // bytes; neither starts a command.
    auto ev = Compile("\x81\x40\x83\x5c|A");
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].arg, "\x81\x40");
    EXPECT_EQ(ev[1].arg, "\x83\x5c");
    // A double-byte character whose second byte is "|" does not open bars.
    ev = Compile(
        "\x95\x7c"
        "A\nB");
    ASSERT_EQ(ev.size(), 3u);
    EXPECT_EQ(ev[0].arg, "\x95\x7c");
    EXPECT_EQ(Ticks(ev), (std::vector<int32_t>{0, 0, 1920}));
}

TEST(WrdCompiler, MalformedInputIsHarmless) {
    auto ev = Compile("@WAIT(abc);\n@WMODE(-50);\nAB\n@WAIT(99999999999);\nC\n@MAG(x.mag");
    ASSERT_EQ(ev.size(), 4u);
    EXPECT_EQ(ev[0].tick, 0);          // bad number reads as 0, clock never negative
    EXPECT_EQ(ev[2].tick, INT32_MAX);  // huge wait saturates
    EXPECT_EQ(ev[3].arg, "x.mag");     // no closing parenthesis
    EXPECT_TRUE(Compile("").empty());
    EXPECT_TRUE(Compile("\n\r\n\x1a"
                        "ABC")
                    .empty());  // DOS end-of-file mark
    EXPECT_EQ(WrdNumber(" -12abc"), -12);
    EXPECT_EQ(WrdNumber("2.9"), 2);
    EXPECT_EQ(WrdNumber("x"), 0);
}

TEST(WrdCompiler, ScriptsBeyondTheBoundsAreRefusedWhole) {
    WrdScriptFault fault = WrdScriptFault::kNone;
    const std::string fullLine(kMaxWrdLineBytes, 'A');
    // A line at the limit is text like any other.
    EXPECT_EQ(CompileWrdScript(fullLine, Timing(), &fault).size(), kMaxWrdLineBytes);
    EXPECT_EQ(fault, WrdScriptFault::kNone);
    EXPECT_TRUE(CompileWrdScript("@TON(1)\n" + fullLine + "A", Timing(), &fault).empty());
    EXPECT_EQ(fault, WrdScriptFault::kLineTooLong);
    // One event per character: exactly the limit passes, one more is refused.
    std::string script;
    for (size_t n = 0; n + kMaxWrdLineBytes <= kMaxWrdEvents; n += kMaxWrdLineBytes)
        script += fullLine + "\n";
    script += std::string(kMaxWrdEvents % kMaxWrdLineBytes, 'A');
    EXPECT_EQ(CompileWrdScript(script, Timing(), &fault).size(), kMaxWrdEvents);
    EXPECT_EQ(fault, WrdScriptFault::kNone);
    EXPECT_TRUE(CompileWrdScript(script + "A", Timing(), &fault).empty());
    EXPECT_EQ(fault, WrdScriptFault::kTooManyEvents);
    // Size is checked before any work, even for text a DOS end mark would cut.
    EXPECT_TRUE(
        CompileWrdScript("A\x1a" + std::string(kMaxWrdScriptBytes, 'B'), Timing(), &fault).empty());
    EXPECT_EQ(fault, WrdScriptFault::kTooLarge);
}

}  // namespace
}  // namespace sonfara::wrd
