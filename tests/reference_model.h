// The measurement, the shuffle and the analysis run exactly as their steps are written, kept as the reference model
// for the differential tests and the benchmarks.
#ifndef VELTRASS_TESTS_REFERENCE_MODEL_H
#define VELTRASS_TESTS_REFERENCE_MODEL_H

#include "analysis/analysis.h"

// Same contract as distance_to_regularity: every donor's scan visits all `station_count`
// stations from index 0, so one call makes up to `station_count` squared receiver tests.
double reference_distance_to_regularity(float* stations, float mean);

// Same contract as shuffle_stations, drawing each position as `next_random() % station_count`.
void reference_shuffle_stations(const float* source, float* destination);

// Same steps and same record as run_analysis, measuring with the written form and shuffling
// with the division per draw.
AnalysisResult reference_run_analysis(const char* path);

#endif
