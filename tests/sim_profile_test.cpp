// The simulator's pressure profiles.
#include "sim_profile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

TEST(PressureProfile, BuiltinCycleIdlesRampsHoldsReleases) {
    PressureProfile p = PressureProfile::Builtin(320);
    EXPECT_EQ(p.BarAt(2), 0);
    EXPECT_EQ(p.BarAt(12), 160);
    EXPECT_EQ(p.BarAt(20), 320);
    EXPECT_EQ(p.BarAt(35), 0);
    EXPECT_EQ(p.BarAt(40 + 20), 320); // repeats
    p.SetRepeat(false);
    EXPECT_EQ(p.BarAt(60), 0);
}

TEST(PressureProfile, CsvIsInterpolated) {
    std::string path = testing::TempDir() + "profile.csv";
    std::ofstream(path) << "time_s,bar\n0,0\n10,100\n";
    PressureProfile p;
    std::string error;
    ASSERT_TRUE(PressureProfile::FromCsv(path, p, error)) << error;
    EXPECT_EQ(p.BarAt(5), 50);
    std::remove(path.c_str());
}
