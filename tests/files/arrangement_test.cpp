#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "player/files/shaping_catalog.h"
#include "player/platform/user_files.h"

namespace sonfara {
namespace {

namespace fs = std::filesystem;

std::string Crlf(std::initializer_list<const char*> lines) {
    std::string s;
    for (const char* l : lines) s += std::string(l) + "\r\n";
    return s;
}

class TempFolder {
  public:
    TempFolder() {
        std::random_device rd;
        path_ = fs::temp_directory_path() / ("sonfara-arr-" + std::to_string(rd()));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    std::string Sub(const std::string& name) const {
        fs::create_directories(path_ / name);
        return (path_ / name).string();
    }
    static void Write(const std::string& folder, const std::string& name,
                      const std::string& bytes) {
        std::ofstream(fs::path(folder) / name, std::ios::binary) << bytes;
    }

  private:
    fs::path path_;
};

TEST(DelimitedFields, CommasQuotesBlanksAndLineEnds) {
    auto f = files::ReadDelimitedFields("  a , \"b,c\" ,d\r\n\r\n\t e\n\"q\"tail,\rlast,", 1000);
    EXPECT_EQ(f, (std::vector<std::string>{"a", "b,c", "d", "e", "q", "", "last", ""}));
    EXPECT_EQ(files::ReadDelimitedFields("1,2,3,4", 2).size(), 2u);
    EXPECT_TRUE(files::ReadDelimitedFields("", 10).empty());
    EXPECT_EQ(files::LeadingNumber(" 41abc"), 41);
    EXPECT_EQ(files::LeadingNumber("x"), 0);
    EXPECT_EQ(files::LeadingNumber("-3"), -3);
    EXPECT_EQ(files::LeadingNumber("99999999999999999999"), 2147483647);
}

TEST(Arrangement, HeaderDecidesAndNameFollows) {
    EXPECT_FALSE(files::ParseArrangement(Crlf({"[OTHER FILE]", "x"})));
    EXPECT_FALSE(files::ParseArrangement(""));
    auto e = files::ParseArrangement(Crlf({"[sonfara arrange file]", "\x83\x73\x83\x41\x83\x6d"}));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->ArrangeName, "\x83\x73\x83\x41\x83\x6d");
    EXPECT_TRUE(e->ModOn && e->PitOn && e->ExpOn && e->BankOn);
    EXPECT_EQ(e->InstMap, sequencer::ArrangeEntry::IdentityMap());
    // Header only: accepted with an empty name.
    auto bare = files::ParseArrangement("[SONFARA ARRANGE FILE]");
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->ArrangeName, "");
}

TEST(Arrangement, InstElseThenMappings) {
    auto e = files::ParseArrangement(
        Crlf({"[SONFARA ARRANGE FILE]", "Test", "[INST ELSE]", "1", "[INST]", "1:41", "no colon"}));
    ASSERT_TRUE(e);
    // MIDI program 0 becomes 40, every other one becomes 0.
    EXPECT_EQ(e->InstMap[1] - 1, 40);
    for (int p = 2; p <= 128; ++p) ASSERT_EQ(e->InstMap[p] - 1, 0) << p;

    auto later =
        files::ParseArrangement(Crlf({"[SONFARA ARRANGE FILE]", "T", "[INST]", "5:10", "5:11"}));
    EXPECT_EQ(later->InstMap[5], 11);
    EXPECT_EQ(later->InstMap[6], 6);

    auto thru =
        files::ParseArrangement(Crlf({"[SONFARA ARRANGE FILE]", "T", "[inst else]", "thru"}));
    EXPECT_EQ(thru->InstMap, sequencer::ArrangeEntry::IdentityMap());
}

TEST(Arrangement, OptionsByPrefixAndLastCharacter) {
    auto e = files::ParseArrangement(Crlf({"[SONFARA ARRANGE FILE]", "T", "[OPTION]", "MOD 0",
                                           "pit0", "EXP 1", "BS 0", "[INST]", "2:3"}));
    ASSERT_TRUE(e);
    EXPECT_FALSE(e->ModOn);
    EXPECT_FALSE(e->PitOn);
    EXPECT_TRUE(e->ExpOn);
    EXPECT_FALSE(e->BankOn);
    EXPECT_EQ(e->InstMap[2], 3);
    auto alone =
        files::ParseArrangement(Crlf({"[SONFARA ARRANGE FILE]", "T", "[OPTION]", "MOD", "BS0"}));
    EXPECT_TRUE(alone->ModOn);
    EXPECT_TRUE(alone->BankOn);  // "BS0" lacks the blank, so it is not the bank option
}

TEST(Arrangement, OutOfRangeProgramsAndLimits) {
    auto e = files::ParseArrangement(Crlf({"[SONFARA ARRANGE FILE]", "T", "[INST ELSE]", "300",
                                           "[INST]", "0:5", "129:5", "7:0", "8:999", "9:128"}));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->InstMap[1], 1);  // 300 is no program: the default is ignored
    EXPECT_EQ(e->InstMap[7], 7);
    EXPECT_EQ(e->InstMap[8], 8);
    EXPECT_EQ(e->InstMap[9], 128);

    // [INST ELSE] directly followed by a section does not swallow it.
    auto s = files::ParseArrangement(
        Crlf({"[SONFARA ARRANGE FILE]", "T", "[INST ELSE]", "[OPTION]", "MOD 0"}));
    EXPECT_FALSE(s->ModOn);

    // Only 100 mapping fields of a section count.
    std::string many = Crlf({"[SONFARA ARRANGE FILE]", "T", "[INST]"});
    for (int i = 0; i < 100; ++i) many += "1:2\r\n";
    many += "3:4\r\n";
    auto m = files::ParseArrangement(many);
    EXPECT_EQ(m->InstMap[3], 3);
    EXPECT_EQ(m->InstMap[1], 2);

    // Fields beyond the thousandth are not read.
    std::string big = Crlf({"[SONFARA ARRANGE FILE]", "T"});
    for (int i = 0; i < 997; ++i) big += "x\r\n";
    big += Crlf({"[OPTION]", "MOD 0"});
    EXPECT_TRUE(files::ParseArrangement(big)->ModOn);
}

TEST(EqPreset, ExactlyTenBytes) {
    EXPECT_FALSE(files::ParseEqPreset(std::string(11, '\x80'), "x"));
    EXPECT_FALSE(files::ParseEqPreset(std::string(9, '\x80'), "x"));
    auto p = files::ParseEqPreset(std::string("\x00\x80\x80\x80\x80\x80\x80\x80\x80\xff", 10),
                                  "Low cut");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->bands[0], 0);
    EXPECT_EQ(p->bands[9], 255);
    EXPECT_EQ(p->name, "Low cut");
}

TEST(EqPreset, BandsByNote) {
    const int edges[][2] = {{0, 1},  {30, 1}, {31, 2}, {38, 2},  {39, 3},   {47, 3},  {48, 4},
                            {56, 4}, {57, 5}, {65, 5}, {66, 6},  {74, 6},   {75, 7},  {83, 7},
                            {84, 8}, {92, 8}, {93, 9}, {101, 9}, {102, 10}, {127, 10}};
    for (const auto& e : edges) EXPECT_EQ(files::EqBandForNote(e[0]), e[1]) << e[0];
}

TEST(ShapingCatalog, FoldersInOrderSkippingBadFiles) {
    TempFolder tmp;
    const std::string shipped = tmp.Sub("prog/arr"), user = tmp.Sub("user/arr");
    const std::string eqShipped = tmp.Sub("prog/eq"), eqUser = tmp.Sub("user/eq");
    TempFolder::Write(shipped, "b.arr", Crlf({"[SONFARA ARRANGE FILE]", "Second"}));
    TempFolder::Write(shipped, "a.ARR", Crlf({"[SONFARA ARRANGE FILE]", "First"}));
    TempFolder::Write(shipped, "c.arr", Crlf({"[WRONG]", "Skipped"}));
    TempFolder::Write(shipped, "d.txt", Crlf({"[SONFARA ARRANGE FILE]", "Not an arr"}));
    TempFolder::Write(user, "a.arr", Crlf({"[SONFARA ARRANGE FILE]", "Mine"}));
    TempFolder::Write(eqShipped, "Flat.meq", std::string(10, '\x80'));
    TempFolder::Write(eqShipped, "Long.meq", std::string(11, '\x80'));
    TempFolder::Write(eqUser, "Low.meq",
                      std::string("\x00\x80\x80\x80\x80\x80\x80\x80\x80\x80", 10));

    files::ShapingCatalog c;
    c.Load(files::ShapingFolders{{shipped, user, tmp.Sub("missing")}, {eqShipped, eqUser}});
    EXPECT_EQ(c.ArrangementCaptions(), (std::vector<std::string>{"First", "Second", "Mine"}));
    EXPECT_EQ(c.EqCaptions(), (std::vector<std::string>{"Flat", "Low"}));

    sequencer::SoundShaping s = files::MakeSoundShaping(c, 3, 2);
    EXPECT_EQ(s.arrangementItem, 3);
    EXPECT_EQ(s.arrangement.ArrangeName, "Mine");
    EXPECT_TRUE(s.eqActive);
    EXPECT_EQ(s.eq[0], 0);
    EXPECT_EQ(s.eq[1], 128);
    files::SelectArrangement(s, c, 0);
    files::SelectEq(s, c, 0);
    EXPECT_EQ(s.arrangementItem, 0);
    EXPECT_FALSE(s.eqActive);
    files::SelectArrangement(s, c, 4);  // no such item
    EXPECT_EQ(s.arrangementItem, 0);
}

// The build tree keeps the presets beside the programs; an installed tree
// under any prefix keeps them in <prefix>/share/sonfara.
TEST(ShapingCatalog, ShippedFolderInBuildAndInstalledTrees) {
    TempFolder tmp;
    const std::string build = tmp.Sub("build/player/cli");
    EXPECT_EQ(platform::ShippedDataFolder(build), build);
    EXPECT_EQ(files::DefaultShapingFolders(build).arr.front(), build + "/arr");

    const std::string bin = tmp.Sub("prefix/bin"), data = tmp.Sub("prefix/share/sonfara");
    EXPECT_EQ(platform::ShippedDataFolder(bin), data);
    const files::ShapingFolders f = files::DefaultShapingFolders(bin);
    EXPECT_EQ(f.arr.front(), data + "/arr");
    EXPECT_EQ(f.eq.front(), data + "/eq");
    EXPECT_EQ(platform::ShippedDataFolder(""), "");
}

TEST(ShapingCatalog, AtMostOneHundredOfEach) {
    TempFolder tmp;
    const std::string arr = tmp.Sub("arr"), eq = tmp.Sub("eq");
    for (int i = 0; i < 105; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%03d", i);
        TempFolder::Write(arr, std::string(name) + ".arr", Crlf({"[SONFARA ARRANGE FILE]", name}));
        TempFolder::Write(eq, std::string(name) + ".meq", std::string(10, '\x80'));
    }
    files::ShapingCatalog c;
    c.Load(files::ShapingFolders{{arr}, {eq}});
    EXPECT_EQ(c.Arrangements().size(), 100u);
    EXPECT_EQ(c.EqPresets().size(), 100u);
    EXPECT_EQ(c.Arrangements().back().ArrangeName, "099");
}

TEST(ShapingCatalog, ShippedPresetsAndNameResolution) {
    files::ShapingCatalog c;
    c.Load(files::ShapingFolders{{std::string(SONFARA_SOURCE_DIR) + "/data/arr"},
                                 {std::string(SONFARA_SOURCE_DIR) + "/data/eq"}});
    ASSERT_EQ(c.Arrangements().size(), 2u);
    ASSERT_EQ(c.EqPresets().size(), 2u);
    sequencer::SoundShaping s;
    // By UTF-8 caption, by file stem and by number.
    files::FileStatus resolved = files::ResolveSoundShaping(c, "ピアノ独奏", "BassBoost", s);
    ASSERT_TRUE(resolved.ok()) << resolved.Message();
    EXPECT_EQ(s.arrangementItem, 1);
    EXPECT_FALSE(s.arrangement.ModOn);
    EXPECT_FALSE(s.arrangement.BankOn);
    for (int p = 1; p <= 128; ++p) ASSERT_EQ(s.arrangement.InstMap[p], 1);
    EXPECT_TRUE(s.eqActive);
    resolved = files::ResolveSoundShaping(c, "strings", "2", s);
    ASSERT_TRUE(resolved.ok()) << resolved.Message();
    EXPECT_EQ(s.arrangementItem, 2);
    EXPECT_EQ(s.arrangement.InstMap[1], 20);
    EXPECT_EQ(s.arrangement.InstMap[57], 49);
    EXPECT_EQ(s.arrangement.InstMap[9], 9);
    EXPECT_EQ(s.eq[9], 146);
    ASSERT_TRUE(files::ResolveSoundShaping(c, "", "", s).ok());
    EXPECT_EQ(s.arrangementItem, 0);
    EXPECT_FALSE(s.eqActive);
    resolved = files::ResolveSoundShaping(c, "nothing", "", s);
    EXPECT_EQ(resolved.Message(), "no arrangement named 'nothing'");
    EXPECT_EQ(files::ResolveSoundShaping(c, "", "7", s).Message(), "no EQ preset named '7'");
}

}  // namespace
}  // namespace sonfara
