// Public interface of the patchiness analysis engine: shared state, constants and operations.
#ifndef VELTRASS_ANALYSIS_H
#define VELTRASS_ANALYSIS_H

#include <cstdint>

constexpr int32_t MAX_STATIONS = 1000;
constexpr int32_t SHUFFLE_COUNT = 999;
// Nearest single-precision values to 1/999 and to 1/1000 (bit patterns 0x3A833405 and 0x3A83126F).
constexpr float INV_SHUFFLE_COUNT = 0.0010010009864345193f;
constexpr float INV_ARRANGEMENT_COUNT = 0.0010000000474974513f;

struct AnalysisResult {
    int32_t stations;
    float observed_mean;
    float observed_distance;
    float average_shuffle_distance;
    int32_t shuffles_at_or_above;
    double index_of_patchiness;
    double probability;
};

// Engine state, process-wide and never reset between analyses.
extern int32_t station_count;
extern float observed_stations[MAX_STATIONS];
extern float work_stations[MAX_STATIONS];
extern int32_t shuffle_counter;
extern uint32_t random_state;

// Reads the station file at `path` into `station_count` and `work_stations` (which the caller has
// cleared) and returns the sum of the values divided by the count, in double precision.
// Does not return when the file cannot be opened, its count does not read, or the count exceeds
// MAX_STATIONS: the warning seam is shown and the process exits with status 1.
double read_station_file(const char* path);

// Levels the first `station_count` entries of `stations` to `mean` by greedy transport in index
// order and returns the total charge (value moved times steps travelled), unrounded.
// Consumes the arrangement. Returns 0 and leaves the array alone when `station_count` <= 0.
double distance_to_regularity(float* stations, float mean);

// Copies all MAX_STATIONS entries of `source` to `destination`, reseeds the generator from the
// calendar clock and `shuffle_counter`, permutes the first `station_count` entries and advances
// `shuffle_counter` by one.
void shuffle_stations(const float* source, float* destination);

// The engine's linear congruential generator: `seed_random` replaces the state, `next_random`
// advances it and returns a draw from 0 to 32767.
void seed_random(uint32_t seed);
int next_random();

// Runs a whole analysis of the station file at `path`: the observed distance against
// SHUFFLE_COUNT shuffles. Does not return on a read error (see read_station_file).
AnalysisResult run_analysis(const char* path);

// Lets a caller watch the test: while registered, `observe` is called by run_analysis once per
// shuffle, in order, with `context` and that shuffle's distance exactly as the test sums and
// compares it (unrounded). It sees values only and changes no result. A null `observe` removes it.
typedef void (*ShuffleObserver)(void* context, double distance);
void set_shuffle_observer(ShuffleObserver observe, void* context);

// Seams to the platform. The warning shows `text` under `caption` and returns once the user has
// seen it; the engine then exits with status 1. The clock gives whole seconds since 1970-01-01 UTC.
// The defaults write one line "CAPTION: TEXT" to standard error and read the standard `time`.
// Passing a null pointer restores the default.
typedef void (*WarningSeam)(const char* caption, const char* text);
typedef int64_t (*ClockSeam)();
void set_warning_seam(WarningSeam show);
void set_clock_seam(ClockSeam now);

#endif
