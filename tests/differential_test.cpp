// Differential tests: the linear-time measurement and the division-free shuffle against the
// written forms in the reference model, on generated arrangements and every draw.
#include "analysis/analysis.h"
#include "analysis/draw_reduction.h"
#include "engine_state.h"
#include "reference_model.h"
#include "same_record.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

namespace {

const float INF = std::numeric_limits<float>::infinity();
const float FLOAT_MAX = std::numeric_limits<float>::max();

// Arrangements per run: enough for `make test`; `make soak` raises it through the environment.
const long DEFAULT_ARRANGEMENTS = 200000;

long arrangement_total()
{
    const char* text = std::getenv("VELTRASS_ARRANGEMENTS");
    if (text == nullptr || *text == '\0') return DEFAULT_ARRANGEMENTS;
    return std::strtol(text, nullptr, 10);
}

// A small deterministic generator (splitmix64), independent of the engine's own.
struct Dice {
    uint64_t state;
};

uint64_t roll(Dice* dice)
{
    uint64_t z = (dice->state += UINT64_C(0x9E3779B97F4A7C15));
    z = (z ^ (z >> 30)) * UINT64_C(0xBF58476D1CE4E5B9);
    z = (z ^ (z >> 27)) * UINT64_C(0x94D049BB133111EB);
    return z ^ (z >> 31);
}

// A whole number from 0 to `limit` - 1.
int32_t below(Dice* dice, int32_t limit)
{
    return static_cast<int32_t>(roll(dice) % static_cast<uint64_t>(limit));
}

// A uniform value in [0, 1).
double unit(Dice* dice) { return static_cast<double>(roll(dice) >> 11) * 0x1.0p-53; }

enum Shape {
    SHAPE_RANDOM,       // independent levels
    SHAPE_CLUMPED,      // a few patches, nothing between them
    SHAPE_REGULAR,      // nearly level, with small steps
    SHAPE_SPARSE,       // mostly empty, a few scattered values
    SHAPE_SPIKE,        // one station holds everything
    SHAPE_ALTERNATING,  // high and low in turn, with a random period
    SHAPE_COUNT
};
const char* const SHAPE_NAMES[SHAPE_COUNT] = {"random", "clumped", "regular",
                                              "sparse", "spike",   "alternating"};

enum ValueKind {
    VALUES_COUNTS,     // whole non-negative counts
    VALUES_DECIMALS,   // tenths and hundredths: sums and means that single precision cannot hold
    VALUES_SIGNED,     // negative values and zeros of both signs
    VALUES_HUGE,       // near the top of the single-precision range: sums overflow
    VALUES_WIDE,       // either sign, full significands over 80 binades: charges that round
    VALUES_INFINITE,   // counts with some stations at +inf or -inf
    VALUES_ANY_BITS,   // counts with some stations of arbitrary bits: NaN, subnormal, anything
    VALUE_KIND_COUNT
};
const char* const VALUE_NAMES[VALUE_KIND_COUNT] = {"counts", "decimals", "signed", "huge",
                                                   "wide",   "infinite", "any bits"};

enum MeanKind {
    MEAN_AS_READ,      // the single-precision sum over the count, as the reader forms it
    MEAN_NEIGHBOUR,    // one unit in the last place beside that
    MEAN_OF_STATION,   // exactly some station's value
    MEAN_INFINITE,     // +inf or -inf
    MEAN_NAN,
    MEAN_KIND_COUNT
};

// Levels from 0 to 1 that give an arrangement its shape.
void shape_levels(Dice* dice, Shape shape, int32_t count, std::vector<double>* levels)
{
    levels->assign(static_cast<size_t>(count), 0.0);
    if (count == 0) return;
    switch (shape) {
    case SHAPE_RANDOM:
        for (double& level : *levels) level = unit(dice);
        break;
    case SHAPE_CLUMPED: {
        int32_t patches = 1 + below(dice, 4);
        for (int32_t p = 0; p < patches; p++) {
            int32_t width = 1 + below(dice, count / 8 + 1);
            int32_t start = below(dice, count);
            for (int32_t s = start; s < count && s < start + width; s++)
                (*levels)[static_cast<size_t>(s)] = 0.5 + 0.5 * unit(dice);
        }
        break;
    }
    case SHAPE_REGULAR: {
        double level = 0.2 + 0.6 * unit(dice);
        for (double& l : *levels) l = level + 0.05 * (below(dice, 3) - 1);
        break;
    }
    case SHAPE_SPARSE: {
        int32_t per_thousand = 5 + below(dice, 100);
        for (double& level : *levels)
            if (below(dice, 1000) < per_thousand) level = unit(dice);
        break;
    }
    case SHAPE_SPIKE:
        (*levels)[static_cast<size_t>(below(dice, count))] = 1.0;
        break;
    case SHAPE_ALTERNATING: {
        int32_t period = 2 + below(dice, 4);
        for (int32_t s = 0; s < count; s++)
            (*levels)[static_cast<size_t>(s)] = s % period == 0 ? 1.0 : 0.0;
        break;
    }
    case SHAPE_COUNT:
        break;
    }
}

float special_value(Dice* dice)
{
    switch (below(dice, 5)) {
    case 0: return INF;
    case 1: return -INF;
    case 2: return float_from_bits(static_cast<uint32_t>(roll(dice)));
    case 3: return -0.0f;
    default: return std::numeric_limits<float>::denorm_min() * static_cast<float>(below(dice, 9));
    }
}

float station_value(Dice* dice, ValueKind kind, double level, double scale)
{
    switch (kind) {
    case VALUES_COUNTS:
        return static_cast<float>(std::floor(level * scale));
    case VALUES_DECIMALS:
        return static_cast<float>(std::floor(level * scale * 10.0) / (below(dice, 2) ? 10.0 : 100.0));
    case VALUES_SIGNED: {
        float value = static_cast<float>(std::floor(level * scale) - std::floor(scale / 2));
        return value == 0.0f && below(dice, 2) ? -0.0f : value;
    }
    case VALUES_HUGE:
        return static_cast<float>(level * (0.5 + 0.5 * unit(dice)) * FLOAT_MAX);
    case VALUES_WIDE:
        return static_cast<float>(std::ldexp(below(dice, 2) ? level : -level, below(dice, 81) - 40));
    case VALUES_INFINITE:
    case VALUES_ANY_BITS:
        if (below(dice, 40) == 0)
            return kind == VALUES_INFINITE ? (below(dice, 2) ? INF : -INF) : special_value(dice);
        return static_cast<float>(std::floor(level * scale));
    case VALUE_KIND_COUNT:
        break;
    }
    return 0.0f;
}

// The mean exactly as the reader forms it: a single-precision running sum in station order,
// divided by the count in double precision, then stored in single precision by the caller.
float mean_as_read(const float* stations, int32_t count)
{
    float sum = 0.0f;
    for (int32_t s = 0; s < count; s++)
        sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(stations[s]));
    return static_cast<float>(static_cast<double>(sum) / static_cast<double>(count));
}

// Mostly small counts, so that the quadratic reference stays fast, with every size up to
// MAX_STATIONS and the empty and negative counts still drawn.
int32_t arrangement_count(Dice* dice)
{
    int32_t bucket = below(dice, 1000);
    if (bucket < 10) return -below(dice, 3);             // 0, -1, -2
    if (bucket < 20) return MAX_STATIONS;
    if (bucket < 450) return 1 + below(dice, 8);
    if (bucket < 800) return 9 + below(dice, 56);
    if (bucket < 970) return 65 + below(dice, 236);
    return 301 + below(dice, MAX_STATIONS - 301);
}

struct Arrangement {
    int32_t count;
    Shape shape;
    ValueKind kind;
    MeanKind mean_kind;
    float mean;
    float stations[MAX_STATIONS];  // every entry: those from `count` on must stay untouched
};

void generate(Dice* dice, Arrangement* a, std::vector<double>* levels)
{
    a->count = arrangement_count(dice);
    a->shape = static_cast<Shape>(below(dice, SHAPE_COUNT));
    a->kind = static_cast<ValueKind>(below(dice, VALUE_KIND_COUNT));
    const int32_t mean_roll = below(dice, 20);  // as read 12 times in 20, each other kind twice
    a->mean_kind = mean_roll < 12 ? MEAN_AS_READ : static_cast<MeanKind>(1 + (mean_roll - 12) % 4);
    const int32_t used = a->count > 0 ? a->count : 0;
    shape_levels(dice, a->shape, used, levels);
    const double scale = static_cast<double>(1 + below(dice, 1000));
    for (int32_t s = 0; s < MAX_STATIONS; s++) {
        a->stations[s] = s < used ? station_value(dice, a->kind, (*levels)[static_cast<size_t>(s)], scale)
                                  : static_cast<float>(below(dice, 100));
    }
    const float read = mean_as_read(a->stations, a->count);
    switch (a->mean_kind) {
    case MEAN_AS_READ: a->mean = read; break;
    case MEAN_NEIGHBOUR: a->mean = std::nextafter(read, below(dice, 2) ? INF : -INF); break;
    case MEAN_OF_STATION: a->mean = used > 0 ? a->stations[below(dice, used)] : read; break;
    case MEAN_INFINITE: a->mean = below(dice, 2) ? INF : -INF; break;
    case MEAN_NAN: a->mean = std::numeric_limits<float>::quiet_NaN(); break;
    case MEAN_KIND_COUNT: break;
    }
}

// Stations agree when their bits are equal. The one difference allowed: the full scans of the
// written form rewrite a -0 receiver they pass with nothing left to carry as 0 + (-0) = +0,
// where the linear form, which no longer passes it, leaves -0.
bool same_station(float fast, float reference)
{
    return bits_of(fast) == bits_of(reference) ||
           (bits_of(fast) == 0x80000000u && bits_of(reference) == 0u);
}

std::string describe(long index, const Arrangement& a)
{
    return "arrangement " + std::to_string(index) + ": count " + std::to_string(a.count) + ", " +
           SHAPE_NAMES[a.shape] + ", " + VALUE_NAMES[a.kind] + ", mean kind " +
           std::to_string(a.mean_kind) + ", mean bits " + std::to_string(bits_of(a.mean));
}

// What the generated arrangements reached, so that a generator that stops producing a case
// the comparison is meant to cover is noticed.
struct Reached {
    long shape_kind[SHAPE_COUNT][VALUE_KIND_COUNT];
    long empty_counts, full_counts, nan_results, infinite_results, zero_signs_differing;
};

TEST(Differential, LinearMeasurementMatchesTheWrittenFormBitForBit)
{
    const long total = arrangement_total();
    ASSERT_GT(total, 0);
    Dice dice = {UINT64_C(20240611)};
    static Arrangement a;
    static float fast[MAX_STATIONS];
    static float reference[MAX_STATIONS];
    std::vector<double> levels;
    Reached reached = {};
    for (long index = 0; index < total; index++) {
        generate(&dice, &a, &levels);
        std::copy(a.stations, a.stations + MAX_STATIONS, fast);
        std::copy(a.stations, a.stations + MAX_STATIONS, reference);
        station_count = a.count;
        const double fast_distance = distance_to_regularity(fast, a.mean);
        const double reference_distance = reference_distance_to_regularity(reference, a.mean);
        ASSERT_EQ(bits_of(reference_distance), bits_of(fast_distance))
            << describe(index, a) << ": " << reference_distance << " vs " << fast_distance;
        for (int32_t s = 0; s < MAX_STATIONS; s++) {
            ASSERT_TRUE(same_station(fast[s], reference[s]))
                << describe(index, a) << ", station " << s << ": " << bits_of(reference[s])
                << " vs " << bits_of(fast[s]);
            if (bits_of(fast[s]) != bits_of(reference[s])) reached.zero_signs_differing++;
        }
        reached.shape_kind[a.shape][a.kind]++;
        if (a.count <= 0) reached.empty_counts++;
        if (a.count == MAX_STATIONS) reached.full_counts++;
        if (std::isnan(fast_distance)) reached.nan_results++;
        if (std::isinf(fast_distance)) reached.infinite_results++;
    }
    std::printf("%ld arrangements: %ld empty or negative counts, %ld of %d stations, %ld NaN and "
                "%ld infinite distances, %ld stations left -0 where the written form gives +0\n",
                total, reached.empty_counts, reached.full_counts, MAX_STATIONS,
                reached.nan_results, reached.infinite_results, reached.zero_signs_differing);
    if (total < DEFAULT_ARRANGEMENTS) return;  // a shortened run proves nothing about coverage
    for (int shape = 0; shape < SHAPE_COUNT; shape++)
        for (int kind = 0; kind < VALUE_KIND_COUNT; kind++) {
            SCOPED_TRACE(std::string(SHAPE_NAMES[shape]) + ", " + VALUE_NAMES[kind]);
            EXPECT_GT(reached.shape_kind[shape][kind], 0);
        }
    EXPECT_GT(reached.empty_counts, 0);
    EXPECT_GT(reached.full_counts, 0);
    EXPECT_GT(reached.nan_results, 0);
    EXPECT_GT(reached.infinite_results, 0);
    EXPECT_GT(reached.zero_signs_differing, 0);
}

TEST(Differential, DrawReductionIsExactForEveryDrawAndCount)
{
    for (int32_t count = 1; count <= MAX_STATIONS; count++) {
        const uint32_t multiplier = draw_multiplier(count);
        for (int draw = 0; draw <= 32767; draw++) {
            const int32_t expected = draw % count;
            if (reduce_draw(draw, multiplier, count) != expected) {
                FAIL() << "draw " << draw << ", count " << count << ": "
                       << reduce_draw(draw, multiplier, count) << " instead of " << expected;
            }
        }
    }
}

uint32_t held_seconds = 0;
int64_t held_clock() { return held_seconds; }

TEST(Differential, ShuffleMatchesTheWrittenFormForEveryCount)
{
    struct Row {
        uint32_t seconds;
        int32_t counter;
    };
    const Row rows[] = {
        {0u, 0},
        {1765000000u, 1},
        {1765000000u, 998},
        {0xFFFFFFFFu, 0x7FFFFFFF},  // the counter wraps to its lowest value
    };
    static float source[MAX_STATIONS];
    static float fast[MAX_STATIONS];
    static float reference[MAX_STATIONS];
    for (int32_t s = 0; s < MAX_STATIONS; s++) source[s] = static_cast<float>(s);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.seconds);
        SCOPED_TRACE(row.counter);
        reset_engine();
        held_seconds = row.seconds;
        set_clock_seam(held_clock);
        for (int32_t count = -1; count <= MAX_STATIONS; count++) {
            station_count = count;
            shuffle_counter = row.counter;
            reference_shuffle_stations(source, reference);
            const uint32_t reference_state = random_state;
            const int32_t reference_counter = shuffle_counter;
            shuffle_counter = row.counter;
            shuffle_stations(source, fast);
            ASSERT_EQ(reference_state, random_state) << "count " << count;
            ASSERT_EQ(reference_counter, shuffle_counter) << "count " << count;
            ASSERT_EQ(std::vector<float>(reference, reference + MAX_STATIONS),
                      std::vector<float>(fast, fast + MAX_STATIONS))
                << "count " << count;
        }
    }
    set_clock_seam(nullptr);
}

// A station file of `count` stations whose value at station i is `value(i)`.
std::string transect_file(int32_t count, std::string (*value)(int32_t))
{
    std::string text = std::to_string(count) + "\n";
    for (int32_t i = 0; i < count; i++) text += value(i) + "\n";
    return text;
}

std::string clumped(int32_t i) { return (i / 50) % 7 == 0 ? std::to_string(i * 37 % 41) : "0"; }
std::string scattered(int32_t i) { return std::to_string(i * 7919 % 23); }
std::string regular(int32_t i) { return std::to_string(9 + i % 3); }
std::string sparse(int32_t i) { return i % 29 == 0 ? std::to_string(i % 11 + 1) : "0"; }
std::string tenths(int32_t i) { return "0." + std::to_string(i * 13 % 17); }

TEST(Differential, WholeRunMatchesTheWrittenForm)
{
    struct Row {
        const char* name;
        std::string file;
    };
    const Row rows[] = {
        {"clumped", transect_file(MAX_STATIONS, clumped)},
        {"random", transect_file(MAX_STATIONS, scattered)},
        {"regular", transect_file(MAX_STATIONS, regular)},
        {"sparse", transect_file(MAX_STATIONS, sparse)},
        {"tenths", transect_file(137, tenths)},
        {"huge", "3 3e38 1e38 0"},
        {"empty", "0"},
    };
    static float fast_work[MAX_STATIONS];
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string path = write_station_file(row.file);
        reset_engine();
        held_seconds = 1765432109u;
        set_clock_seam(held_clock);
        shuffle_counter = 4321;
        const AnalysisResult fast = run_analysis(path.c_str());
        const uint32_t fast_state = random_state;
        std::copy(work_stations, work_stations + MAX_STATIONS, fast_work);
        shuffle_counter = 4321;
        const AnalysisResult reference = reference_run_analysis(path.c_str());
        std::remove(path.c_str());
        set_clock_seam(nullptr);
        expect_same_record(reference, fast);
        EXPECT_EQ(random_state, fast_state);
        for (int32_t s = 0; s < MAX_STATIONS; s++)
            ASSERT_TRUE(same_station(fast_work[s], work_stations[s])) << "station " << s;
    }
}

}  // namespace
