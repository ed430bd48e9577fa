// The written, quadratic form of the measurement, the division-per-draw shuffle and a run of both.
#include "reference_model.h"

#include "analysis/analysis.h"
#include "analysis/seams.h"
#include "analysis/wrap32.h"

#include <cstring>

double reference_distance_to_regularity(float* stations, float mean)
{
    double total = 0.0;
    if (station_count <= 0) return total;
    const double m = mean;
    for (int32_t i = 0; i < station_count; i++) {
        if (!(stations[i] > mean)) continue;  // false for every station when the mean is NaN
        double carried = static_cast<double>(stations[i]) - m;
        stations[i] = mean;
        for (int32_t j = 0; j < station_count; j++) {
            if (!(stations[j] < mean)) continue;
            int32_t steps = i > j ? i - j : j - i;
            total = total + static_cast<double>(steps) * carried;
            float filled = static_cast<float>(carried + static_cast<double>(stations[j]));
            stations[j] = filled;
            if (filled > mean) {
                // Book the whole carried amount, then take back the overflow: two products,
                // each rounded, never one product of the amount actually delivered.
                double overflow = static_cast<double>(filled) - m;
                stations[j] = mean;
                total = total - overflow * static_cast<double>(static_cast<float>(steps));
                carried = overflow;
            } else {
                carried = 0.0;
            }
        }
    }
    return total;
}

// next_random, step for step; a copy in this file so that, as in the engine, the compiler can
// inline it into the shuffle and the benchmark compares like with like.
static int reference_next_random()
{
    random_state = random_state * 214013u + 2531011u;  // modulo 2^32
    return static_cast<int>((random_state >> 16) & 0x7FFFu);
}

void reference_shuffle_stations(const float* source, float* destination)
{
    std::memcpy(destination, source, sizeof(float) * MAX_STATIONS);
    uint32_t seconds = static_cast<uint32_t>(calendar_seconds());
    seed_random(seconds * static_cast<uint32_t>(shuffle_counter));
    for (int32_t i = 0; i < station_count; i++) {
        int32_t k = reference_next_random() % station_count;
        float held = destination[i];
        destination[i] = destination[k];
        destination[k] = held;
    }
    shuffle_counter = wrapping_increment(shuffle_counter);
}

AnalysisResult reference_run_analysis(const char* path)
{
    std::memset(observed_stations, 0, sizeof observed_stations);
    std::memset(work_stations, 0, sizeof work_stations);
    AnalysisResult result;
    result.observed_mean = static_cast<float>(read_station_file(path));
    std::memcpy(observed_stations, work_stations, sizeof observed_stations);
    result.observed_distance = static_cast<float>(
        reference_distance_to_regularity(work_stations, result.observed_mean));
    const double observed = result.observed_distance;

    float sum = 0.0f;
    int32_t at_or_above = 1;
    for (int32_t n = 0; n < SHUFFLE_COUNT; n++) {
        reference_shuffle_stations(observed_stations, work_stations);
        double distance = reference_distance_to_regularity(work_stations, result.observed_mean);
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
