// Distance to regularity: the worked arrangements, exact results and the arrays they leave.
#include "analysis/analysis.h"
#include "engine_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const float M_THIRD = 0.3333333432674408f;  // nearest single to 1/3
const float M_FIVE_THIRDS = 1.6666666269302368f;  // nearest single to 5/3, just below it

struct DistanceCase {
    const char* name;
    std::vector<float> stations;
    float mean;
    double distance;
    std::vector<float> after;  // empty: every station ends at the mean
};

double measure(const std::vector<float>& stations, float mean, std::vector<float>* after)
{
    reset_engine();
    station_count = static_cast<int32_t>(stations.size());
    for (size_t i = 0; i < stations.size(); i++) work_stations[i] = stations[i];
    double distance = distance_to_regularity(work_stations, mean);
    after->assign(work_stations, work_stations + stations.size());
    return distance;
}

TEST(Distance, WorkedArrangements)
{
    std::vector<float> spike(1000, 0.0f);
    spike[999] = 1000.0f;
    const float m_less = M_THIRD - std::ldexp(1.0f, -24);
    const DistanceCase cases[] = {
        {"level", {5, 5, 5, 5}, 5, 0.0, {5, 5, 5, 5}},
        {"donor first", {4, 0, 0, 0}, 1, 6.0, {}},
        {"donor last, farthest receiver first", {0, 0, 0, 4}, 1, 6.0, {}},
        {"alternating", {2, 0, 2, 0}, 1, 2.0, {}},
        {"alternating, shifted", {0, 2, 0, 2}, 1, 2.0, {}},
        {"donor serves the lowest open deficit", {1, 0, 0, 4, 0, 1}, 1, 4.0, {}},
        {"two donors", {0, 0, 0, 0, 4, 4, 0, 0}, 1, 14.0, {}},
        {"rising", {1, 2, 3, 4, 5}, 3, 10.0, {}},
        {"falling", {5, 4, 3, 2, 1}, 3, 10.0, {}},
        {"one station", {7}, 7, 0.0, {7}},
        {"halfway rounding to even", {1, 0, 0}, M_THIRD, 0.9999999403953552,
         {M_THIRD, M_THIRD, m_less}},
        {"mirror image differs", {0, 0, 1}, M_THIRD, 1.0000000298023224,
         {M_THIRD, m_less, M_THIRD}},
        {"tenths rising", {0.1f, 0.2f, 0.3f, 0.4f}, 0.25f, 0.5000000298023224, {}},
        {"tenths falling", {0.4f, 0.3f, 0.2f, 0.1f}, 0.25f, 0.5, {}},
        {"carried surplus dropped", {5, 0, 0}, M_FIVE_THIRDS, 4.999999761581421, {}},
    };
    for (const DistanceCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> after;
        EXPECT_EQ(bits_of(c.distance), bits_of(measure(c.stations, c.mean, &after)));
        std::vector<float> expected = c.after;
        if (expected.empty()) expected.assign(c.stations.size(), c.mean);
        EXPECT_EQ(expected, after);
    }
    std::vector<float> after;
    EXPECT_EQ(499500.0, measure(spike, 1, &after));
    EXPECT_EQ(std::vector<float>(1000, 1.0f), after);
}

TEST(Distance, EqualStationsWithARoundedMean)
{
    // Seven stations of 0.1: the single-precision sum drifts, so the mean is not exactly 0.1.
    const float value = 0.1f;
    float sum = 0.0f;
    for (int i = 0; i < 7; i++) sum += value;
    const float mean = static_cast<float>(static_cast<double>(sum) / 7.0);
    ASSERT_NE(value, mean);
    std::vector<float> after;
    EXPECT_EQ(0.0, measure(std::vector<float>(7, value), mean, &after));
    EXPECT_EQ(std::vector<float>(7, value < mean ? value : mean), after);
}

TEST(Distance, NonFiniteMeansAndEmptyCounts)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> stations = {3, -1, 0, 8};
    struct Row {
        const char* name;
        float mean;
        std::vector<float> after;
    };
    const Row rows[] = {
        {"+inf mean: no donor", inf, stations},
        {"NaN mean: no donor", nan, stations},
        {"-inf mean: every station a donor, none a receiver", -inf, {-inf, -inf, -inf, -inf}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<float> after;
        EXPECT_EQ(0.0, measure(stations, row.mean, &after));
        EXPECT_EQ(row.after, after);
    }
    for (int32_t count : {0, -5}) {
        SCOPED_TRACE(count);
        reset_engine();
        work_stations[0] = 9.0f;
        station_count = count;
        EXPECT_EQ(bits_of(0.0), bits_of(distance_to_regularity(work_stations, 1.0f)));
        EXPECT_EQ(9.0f, work_stations[0]);
    }
}

}  // namespace
