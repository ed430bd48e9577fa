// A whole field season in one process: thousands of analyses, and shuffle_counter wrapping.
#include "analysis/analysis.h"
#include "engine_state.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#ifdef __linux__
#include <dirent.h>
#endif

namespace {

// Open descriptors of this process, or -1 where the platform cannot list them. Elsewhere a leaked
// stream per analysis still shows: the C library runs out of streams long before 5,000.
int open_descriptors()
{
#ifdef __linux__
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr) return -1;
    while (readdir(dir) != nullptr) count++;
    closedir(dir);
    return count;
#else
    return -1;
#endif
}

uint32_t counter_bits() { return static_cast<uint32_t>(shuffle_counter); }

int64_t season_clock() { return 1765000001; }

struct WrapRow {
    const char* name;
    int32_t counter_before;
    int64_t clock;
    uint32_t seed;  // clock times counter, modulo 2^32
    int32_t counter_after;
};

// The seed's product and the counter's increment are taken modulo 2^32, with no signed overflow;
// station_count 0 makes the shuffle draw nothing, so random_state is the seed itself.
TEST(FieldSeason, SeedAndCounterWrapModulo2To32)
{
    static int64_t clock_value = 0;
    const WrapRow rows[] = {
        {"counter at the largest int32", INT32_MAX, 1765000001, 0x16CC3CBFu, INT32_MIN},
        {"counter wrapped to the smallest int32", INT32_MIN, 1765000001, 0x80000000u, INT32_MIN + 1},
        {"counter -1 wraps on to 0", -1, 1765000001, 0x96CC3CBFu, 0},
        {"clock before 1970", 3, -1, 0xFFFFFFFDu, 4},
        {"clock past 2^32 seconds keeps its low 32 bits", 7, 4294967301LL, 35u, 8},
    };
    for (const WrapRow& row : rows) {
        SCOPED_TRACE(row.name);
        reset_engine();
        clock_value = row.clock;
        set_clock_seam([] { return clock_value; });
        shuffle_counter = row.counter_before;
        shuffle_stations(observed_stations, work_stations);
        EXPECT_EQ(row.seed, random_state);
        EXPECT_EQ(row.counter_after, shuffle_counter);
    }
}

// A scientist who leaves the program open long enough passes 2^31 - 1 shuffles: the counter wraps
// to negative values in the middle of an analysis and the analyses go on.
TEST(FieldSeason, AnalysesGoOnAcrossTheCounterWrap)
{
    reset_engine();
    set_clock_seam(season_clock);
    std::string path = write_station_file("4 3 0 0 1");
    shuffle_counter = INT32_MAX - 500;
    for (int32_t expected_counter : {INT32_MIN + 498, INT32_MIN + 1497}) {
        SCOPED_TRACE(expected_counter);
        AnalysisResult r = run_analysis(path.c_str());
        EXPECT_EQ(expected_counter, shuffle_counter);
        EXPECT_EQ(4, r.stations);
        EXPECT_EQ(1.0f, r.observed_mean);
        EXPECT_EQ(3.0f, r.observed_distance);  // one unit 1 step, one unit 2 steps
        EXPECT_GE(r.shuffles_at_or_above, 1);
        EXPECT_LE(r.shuffles_at_or_above, 1000);
        EXPECT_GT(r.average_shuffle_distance, 0.0f);
        EXPECT_LE(r.average_shuffle_distance, 5.0f);  // no arrangement of 3, 0, 0, 1 costs more
    }
    std::remove(path.c_str());
}

// 5,000 analyses of one file: the same first three results every time, exactly 999 shuffles each
// (across the counter's wrap, which this run passes half-way), and no stream or descriptor left.
TEST(FieldSeason, FiveThousandAnalysesInOneProcess)
{
    const int ANALYSES = 5000;
    reset_engine();
    std::string path = write_station_file("4\n3\n0\n0\n1\n");
    shuffle_counter = INT32_MAX - SHUFFLE_COUNT * (ANALYSES / 2) + 500;
    const uint32_t first_counter = counter_bits();
    const int descriptors_before = open_descriptors();

    AnalysisResult first = run_analysis(path.c_str());
    int mismatches = 0, bad_counts = 0;
    for (int n = 1; n < ANALYSES; n++) {
        uint32_t before = counter_bits();
        AnalysisResult r = run_analysis(path.c_str());
        if (counter_bits() - before != static_cast<uint32_t>(SHUFFLE_COUNT)) bad_counts++;
        if (r.stations != first.stations || bits_of(r.observed_mean) != bits_of(first.observed_mean) ||
            bits_of(r.observed_distance) != bits_of(first.observed_distance))
            mismatches++;
    }
    EXPECT_EQ(0, mismatches);
    EXPECT_EQ(0, bad_counts);
    EXPECT_EQ(4, first.stations);
    EXPECT_EQ(1.0f, first.observed_mean);
    EXPECT_EQ(3.0f, first.observed_distance);
    EXPECT_EQ(static_cast<uint32_t>(SHUFFLE_COUNT) * ANALYSES, counter_bits() - first_counter);
    EXPECT_LT(shuffle_counter, 0);  // the run passed the wrap
    EXPECT_EQ(descriptors_before, open_descriptors());
    std::remove(path.c_str());
}

}  // namespace
