// The randomization test: engine state, the generator, the shuffle and the whole analysis run.
#include "analysis/analysis.h"
#include "analysis/draw_reduction.h"
#include "analysis/seams.h"
#include "analysis/shuffle_observer.h"
#include "analysis/wrap32.h"

#include <cstring>

int32_t station_count = 0;
float observed_stations[MAX_STATIONS];
float work_stations[MAX_STATIONS];
int32_t shuffle_counter = 0;
uint32_t random_state = 1;

static const uint32_t GENERATOR_MULTIPLIER = 214013u;
static const uint32_t GENERATOR_INCREMENT = 2531011u;

void seed_random(uint32_t seed) { random_state = seed; }

int next_random()
{
    random_state = random_state * GENERATOR_MULTIPLIER + GENERATOR_INCREMENT;  // modulo 2^32
    return static_cast<int>((random_state >> 16) & 0x7FFFu);
}

void shuffle_stations(const float* source, float* destination)
{
    std::memcpy(destination, source, sizeof(float) * MAX_STATIONS);
    uint32_t seconds = static_cast<uint32_t>(calendar_seconds());  // only the low 32 bits count
    seed_random(seconds * static_cast<uint32_t>(shuffle_counter));
    const int32_t count = station_count;
    if (count > 0) {
        const uint32_t multiplier = draw_multiplier(count);  // no division per draw
        for (int32_t i = 0; i < count; i++) {
            int32_t k = reduce_draw(next_random(), multiplier, count);  // next_random() % count
            float held = destination[i];
            destination[i] = destination[k];
            destination[k] = held;
        }
    }
    shuffle_counter = wrapping_increment(shuffle_counter);
}

AnalysisResult run_analysis(const char* path)
{
    std::memset(observed_stations, 0, sizeof observed_stations);
    std::memset(work_stations, 0, sizeof work_stations);
    AnalysisResult result;
    result.observed_mean = static_cast<float>(read_station_file(path));
    std::memcpy(observed_stations, work_stations, sizeof observed_stations);
    result.observed_distance =
        static_cast<float>(distance_to_regularity(work_stations, result.observed_mean));
    const double observed = result.observed_distance;

    float sum = 0.0f;
    int32_t at_or_above = 1;  // the observed arrangement counts itself
    for (int32_t n = 0; n < SHUFFLE_COUNT; n++) {
        shuffle_stations(observed_stations, work_stations);
        double distance = distance_to_regularity(work_stations, result.observed_mean);
        report_shuffle_distance(distance);
        sum = static_cast<float>(static_cast<double>(sum) + distance);
        if (distance >= observed) at_or_above++;
    }
    result.stations = station_count;
    result.average_shuffle_distance =
        static_cast<float>(static_cast<double>(sum) * static_cast<double>(INV_SHUFFLE_COUNT));
    result.shuffles_at_or_above = at_or_above;
    result.index_of_patchiness = observed / static_cast<double>(result.average_shuffle_distance);
    result.probability = static_cast<double>(at_or_above) * static_cast<double>(INV_ARRANGEMENT_COUNT);
    return result;
}
