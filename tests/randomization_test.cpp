// Randomization test: the generator, the shuffle and whole analysis records.
#include "analysis/analysis.h"
#include "engine_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

TEST(Generator, DrawsTheKnownSequences)
{
    struct Row {
        uint32_t seed;
        std::vector<int> draws;
    };
    const Row rows[] = {
        {0, {38, 7719, 21238, 2437, 8855, 11797, 8365, 32285}},
        {1, {41, 18467, 6334, 26500, 19169}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.seed);
        seed_random(row.seed);
        std::vector<int> draws;
        for (size_t i = 0; i < row.draws.size(); i++) draws.push_back(next_random());
        EXPECT_EQ(row.draws, draws);
    }
}

TEST(Generator, ConstantsHaveTheirBitPatterns)
{
    EXPECT_EQ(0x3A833405u, bits_of(INV_SHUFFLE_COUNT));
    EXPECT_EQ(0x3A83126Fu, bits_of(INV_ARRANGEMENT_COUNT));
}

int64_t some_clock() { return 1765000000; }

TEST(Shuffle, FirstShuffleAfterStartUpIsSeededWithZero)
{
    struct Row {
        std::vector<float> stations;
        std::vector<float> shuffled;
    };
    const Row rows[] = {
        {{1, 2, 3, 4, 5}, {2, 5, 3, 1, 4}},
        {{1, 2, 3}, {2, 1, 3}},
        {{1, 2}, {1, 2}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stations.size());
        reset_engine();
        set_clock_seam(some_clock);  // any clock: the counter is 0
        station_count = static_cast<int32_t>(row.stations.size());
        for (size_t i = 0; i < row.stations.size(); i++) observed_stations[i] = row.stations[i];
        work_stations[MAX_STATIONS - 1] = 9.0f;  // the whole array is copied, not only the stations
        shuffle_stations(observed_stations, work_stations);
        EXPECT_EQ(row.shuffled,
                  std::vector<float>(work_stations, work_stations + row.stations.size()));
        EXPECT_EQ(0.0f, work_stations[MAX_STATIONS - 1]);
        EXPECT_EQ(1, shuffle_counter);
    }
}

TEST(Shuffle, SeedIsTheClockTimesTheCounterModulo2To32)
{
    reset_engine();
    set_clock_seam(some_clock);
    station_count = 0;
    shuffle_counter = 7;
    shuffle_stations(observed_stations, work_stations);
    EXPECT_EQ(static_cast<uint32_t>(1765000000u * 7u), random_state);  // seeded, no draw
    EXPECT_EQ(8, shuffle_counter);
}

void expect_same(double expected, double actual)
{
    if (std::isnan(expected)) EXPECT_TRUE(std::isnan(actual)) << actual;
    else EXPECT_EQ(bits_of(expected), bits_of(actual)) << expected << " vs " << actual;
}

struct RunCase {
    const char* name;
    const char* file;
    int32_t stations;
    double mean, distance, average;
    int32_t at_or_above;
    double index, probability;
};

const double NAN_ = std::nan("");
const double INF_ = HUGE_VAL;
const double P_ALL = 1.0000000474974513;
const double P_ONE = 0.0010000000474974513;

// Records whose every field is fixed whatever the clock says.
TEST(Analysis, RecordsThatDoNotDependOnTheClock)
{
    const RunCase cases[] = {
        {"two stations that always tie", "2 3 1", 2, 2, 1, 1, 1000, 1, P_ALL},
        {"tenths that always tie", "2 0.3 0.1", 2, 0.20000000298023224, 0.09999999403953552,
         0.09999904781579971, 1000, 1.000009462327457, P_ALL},
        {"stored distance no shuffle reaches", "3 0.3 0 0", 3, 0.10000000149011612,
         0.30000001192092896, -1, 1, -1, P_ONE},
        {"all equal", "4 2 2 2 2", 4, 2, 0, 0, 1000, NAN_, P_ALL},
        {"single station", "1 6", 1, 6, 0, 0, 1000, NAN_, P_ALL},
        {"count 0", "0", 0, NAN_, 0, 0, 1000, NAN_, P_ALL},
        {"negative count", "-3 1 2 3", -3, -0.0, 0, 0, 1000, NAN_, P_ALL},
        {"sum overflows single precision", "2 3e38 0", 2, 1.5e38f, 1.5000000027488779e+38f, INF_,
         1000, 0, P_ALL},
        {"observed distance overflows", "4 3e38 0 0 0", 4, 7.5e37f, INF_, INF_, 1, NAN_, P_ONE},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.name);
        reset_engine();
        std::string path = write_station_file(c.file);
        AnalysisResult r = run_analysis(path.c_str());
        std::remove(path.c_str());
        EXPECT_EQ(c.stations, r.stations);
        expect_same(static_cast<float>(c.mean), r.observed_mean);
        expect_same(static_cast<float>(c.distance), r.observed_distance);
        if (c.average >= 0) expect_same(static_cast<float>(c.average), r.average_shuffle_distance);
        EXPECT_EQ(c.at_or_above, r.shuffles_at_or_above);
        if (c.index >= 0 || std::isnan(c.index)) expect_same(c.index, r.index_of_patchiness);
        expect_same(c.probability, r.probability);
        EXPECT_EQ(999, shuffle_counter);
    }
}

TEST(Analysis, ZeroOverZeroIsTheDefaultNaNWithItsSignBitSet)
{
    reset_engine();
    std::string path = write_station_file("3 2 2 2");
    AnalysisResult r = run_analysis(path.c_str());
    std::remove(path.c_str());
    ASSERT_TRUE(std::isnan(r.index_of_patchiness));
    EXPECT_TRUE(std::signbit(r.index_of_patchiness));
}

int64_t held_clock() { return 1000000000; }

TEST(Analysis, HeldClockGivesTheSameRecordsEveryTime)
{
    reset_engine();
    set_clock_seam(held_clock);
    std::string path = write_station_file("3\n3\n0\n0\n");
    struct Row {
        double average, index;
        int32_t at_or_above;
        double probability;
    };
    const Row rows[] = {
        {2.6666667461395264, 1.1249999664723882, 667, 0.6670000316808},
        {2.668668746948242, 1.1241560060350884, 669, 0.6690000317757949},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.at_or_above);
        AnalysisResult r = run_analysis(path.c_str());
        EXPECT_EQ(3, r.stations);
        EXPECT_EQ(1.0f, r.observed_mean);
        EXPECT_EQ(3.0f, r.observed_distance);
        expect_same(static_cast<float>(row.average), r.average_shuffle_distance);
        EXPECT_EQ(row.at_or_above, r.shuffles_at_or_above);
        expect_same(row.index, r.index_of_patchiness);
        expect_same(row.probability, r.probability);
    }
    EXPECT_EQ(2 * 999, shuffle_counter);
    std::remove(path.c_str());
}

}  // namespace
