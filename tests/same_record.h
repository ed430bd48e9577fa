// Test helper: two analysis records must agree field by field, floating-point values bit for bit.
#ifndef VELTRASS_TESTS_SAME_RECORD_H
#define VELTRASS_TESTS_SAME_RECORD_H

#include "analysis/analysis.h"
#include "engine_state.h"

#include <gtest/gtest.h>

inline void expect_same_record(const AnalysisResult& expected, const AnalysisResult& actual)
{
    EXPECT_EQ(expected.stations, actual.stations);
    EXPECT_EQ(bits_of(expected.observed_mean), bits_of(actual.observed_mean));
    EXPECT_EQ(bits_of(expected.observed_distance), bits_of(actual.observed_distance));
    EXPECT_EQ(bits_of(expected.average_shuffle_distance), bits_of(actual.average_shuffle_distance));
    EXPECT_EQ(expected.shuffles_at_or_above, actual.shuffles_at_or_above);
    EXPECT_EQ(bits_of(expected.index_of_patchiness), bits_of(actual.index_of_patchiness));
    EXPECT_EQ(bits_of(expected.probability), bits_of(actual.probability));
}

#endif
