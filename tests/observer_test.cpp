// Shuffle observer: what it sees reproduces the record, and watching changes no result.
#include "analysis/analysis.h"
#include "engine_state.h"
#include "same_record.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct Seen {
    int calls;
    double distances[SHUFFLE_COUNT];
};

void remember(void* context, double distance)
{
    Seen* seen = static_cast<Seen*>(context);
    if (seen->calls < SHUFFLE_COUNT) seen->distances[seen->calls] = distance;
    seen->calls++;
}

int64_t held_clock() { return 1000000000; }

AnalysisResult analyse_from_start_up(const std::string& path, Seen* seen)
{
    reset_engine();
    set_clock_seam(held_clock);
    if (seen != nullptr) set_shuffle_observer(remember, seen);
    AnalysisResult r = run_analysis(path.c_str());
    set_shuffle_observer(nullptr, nullptr);
    return r;
}

TEST(ShuffleObserver, SeesTheDistancesThatMakeTheRecordAndChangesNothing)
{
    struct Row {
        const char* name;
        const char* file;
    };
    const Row rows[] = {
        {"clumped, counts depend on the shuffles", "3 3 0 0"},
        {"fractions, single-precision sum rounds", "7 0.1 2.5 0 7.25 0 0.001 3.3"},
        {"tenths that always tie", "2 0.3 0.1"},
        {"stored distance no shuffle reaches", "3 0.3 0 0"},
        {"running sum overflows to infinity", "2 3e38 0"},
        {"observed distance overflows", "4 3e38 0 0 0"},
        {"all equal", "4 2 2 2 2"},
        {"count 0", "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string path = write_station_file(row.file);
        AnalysisResult unwatched = analyse_from_start_up(path, nullptr);
        Seen seen = {};
        AnalysisResult watched = analyse_from_start_up(path, &seen);
        std::remove(path.c_str());

        expect_same_record(unwatched, watched);

        ASSERT_EQ(SHUFFLE_COUNT, seen.calls);
        float sum = 0.0f;
        int32_t at_or_above = 1;
        for (double d : seen.distances) {
            sum = static_cast<float>(static_cast<double>(sum) + d);
            if (d >= static_cast<double>(watched.observed_distance)) at_or_above++;
        }
        float average =
            static_cast<float>(static_cast<double>(sum) * static_cast<double>(INV_SHUFFLE_COUNT));
        EXPECT_EQ(bits_of(watched.average_shuffle_distance), bits_of(average));
        EXPECT_EQ(watched.shuffles_at_or_above, at_or_above);
    }
}

TEST(ShuffleObserver, RemovedObserverIsNoLongerCalled)
{
    std::string path = write_station_file("3 3 0 0");
    Seen seen = {};
    analyse_from_start_up(path, &seen);  // removes the observer when the run is done
    EXPECT_EQ(SHUFFLE_COUNT, seen.calls);
    run_analysis(path.c_str());
    std::remove(path.c_str());
    EXPECT_EQ(SHUFFLE_COUNT, seen.calls);
}

}  // namespace
