#include "player/song/song_table.h"
#include <gtest/gtest.h>
TEST(Placeholder, Builds) { sonfara::SongTable s; EXPECT_EQ(s.TempoCount(), 1); }
