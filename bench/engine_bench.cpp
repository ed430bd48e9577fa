// Benchmarks of the engine: whole analyses, the measurement and the shuffle on 1,000-station
// transects, each beside the written form of its steps, with a table of median times and ratios.
#include "analysis/analysis.h"
#include "tests/reference_model.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

enum Shape { SHAPE_CLUMPED, SHAPE_RANDOM, SHAPE_REGULAR, SHAPE_SPARSE, SHAPE_COUNT };
const char* const SHAPE_NAMES[SHAPE_COUNT] = {"clumped", "random", "regular", "sparse"};

enum Form { FORM_WRITTEN, FORM_LINEAR, FORM_COUNT };
const char* const FORM_NAMES[FORM_COUNT] = {"written", "linear"};

const int64_t HELD_SECONDS = 1765432109;  // every run seeds its shuffles alike
int64_t held_clock() { return HELD_SECONDS; }

uint32_t transect_random = 12345u;
int32_t transect_draw(int32_t limit)  // 0 to limit - 1, the same sequence on every machine
{
    transect_random = transect_random * 1664525u + 1013904223u;
    return static_cast<int32_t>((transect_random >> 8) % static_cast<uint32_t>(limit));
}

// Counts along a 1,000-station transect:
// clumped: six patches of 10 to 30 stations holding 20 to 60 each, nothing between them;
// random: every station 0 to 20, independently;
// regular: every station 9, 10 or 11;
// sparse: one station in twenty holds 1 to 10, the rest nothing.
std::string transect_text(Shape shape)
{
    std::vector<int32_t> counts(MAX_STATIONS, 0);
    switch (shape) {
    case SHAPE_CLUMPED:
        for (int32_t patch = 0; patch < 6; patch++) {
            int32_t start = transect_draw(MAX_STATIONS - 30);
            int32_t width = 10 + transect_draw(21);
            for (int32_t s = start; s < start + width; s++) counts[s] = 20 + transect_draw(41);
        }
        break;
    case SHAPE_RANDOM:
        for (int32_t& count : counts) count = transect_draw(21);
        break;
    case SHAPE_REGULAR:
        for (int32_t& count : counts) count = 9 + transect_draw(3);
        break;
    case SHAPE_SPARSE:
        for (int32_t& count : counts)
            if (transect_draw(20) == 0) count = 1 + transect_draw(10);
        break;
    case SHAPE_COUNT:
        break;
    }
    std::string text = std::to_string(MAX_STATIONS) + "\n";
    for (int32_t count : counts) text += std::to_string(count) + "\n";
    return text;
}

struct Transect {
    std::string path;
    float stations[MAX_STATIONS];  // as read
    float mean;                    // as run_analysis stores it
};
Transect transects[SHAPE_COUNT];
std::filesystem::path transect_folder;

// Writes the four transect files to a fresh temporary folder and reads each back as an analysis
// would. Returns false if a file cannot be written.
bool write_transects()
{
    transect_folder = std::filesystem::temp_directory_path() /
                      ("veltrass-bench-" + std::to_string(static_cast<long>(getpid())));
    std::error_code error;
    std::filesystem::create_directories(transect_folder, error);
    if (error) return false;
    for (int shape = 0; shape < SHAPE_COUNT; shape++) {
        Transect& t = transects[shape];
        t.path = (transect_folder / (std::string(SHAPE_NAMES[shape]) + ".txt")).string();
        std::string text = transect_text(static_cast<Shape>(shape));
        std::FILE* file = std::fopen(t.path.c_str(), "wb");
        if (file == nullptr) return false;
        bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if (std::fclose(file) != 0 || !written) return false;
        std::memset(observed_stations, 0, sizeof observed_stations);
        std::memset(work_stations, 0, sizeof work_stations);
        t.mean = static_cast<float>(read_station_file(t.path.c_str()));
        std::memcpy(t.stations, work_stations, sizeof t.stations);
    }
    return true;
}

bool same_record(const AnalysisResult& a, const AnalysisResult& b)
{
    return a.stations == b.stations && a.shuffles_at_or_above == b.shuffles_at_or_above &&
           std::memcmp(&a.observed_mean, &b.observed_mean, sizeof a.observed_mean) == 0 &&
           std::memcmp(&a.observed_distance, &b.observed_distance, sizeof(float)) == 0 &&
           std::memcmp(&a.average_shuffle_distance, &b.average_shuffle_distance, sizeof(float)) ==
               0 &&
           std::memcmp(&a.index_of_patchiness, &b.index_of_patchiness, sizeof(double)) == 0 &&
           std::memcmp(&a.probability, &b.probability, sizeof(double)) == 0;
}

AnalysisResult analyse(Form form, const char* path)
{
    shuffle_counter = 0;  // every iteration draws the same shuffles
    return form == FORM_LINEAR ? run_analysis(path) : reference_run_analysis(path);
}

bool records_agree[SHAPE_COUNT];  // both forms give the same record, bit for bit

void bench_analysis(benchmark::State& state, Shape shape, Form form)
{
    if (!records_agree[shape]) {
        state.SkipWithError("the two forms give different records");
        return;
    }
    set_clock_seam(held_clock);
    const char* path = transects[shape].path.c_str();
    for (auto _ : state) {
        AnalysisResult result = analyse(form, path);
        benchmark::DoNotOptimize(result);
    }
}

// One measurement of a shuffled arrangement of the transect, as an analysis makes 999 of them:
// the iterations cycle through 64 different shuffles, made beforehand, so that the processor
// cannot learn one arrangement's branches. The copy that refills the array is timed with it.
const int ARRANGEMENTS = 64;
float arrangements[SHAPE_COUNT][ARRANGEMENTS][MAX_STATIONS];

void make_arrangements()
{
    set_clock_seam(held_clock);
    station_count = MAX_STATIONS;
    for (int shape = 0; shape < SHAPE_COUNT; shape++)
        for (int a = 0; a < ARRANGEMENTS; a++) {
            shuffle_counter = a + 1;
            shuffle_stations(transects[shape].stations, arrangements[shape][a]);
        }
}

void bench_distance(benchmark::State& state, Shape shape, Form form)
{
    const float mean = transects[shape].mean;
    station_count = MAX_STATIONS;
    int a = 0;
    for (auto _ : state) {
        std::memcpy(work_stations, arrangements[shape][a], sizeof work_stations);
        a = (a + 1) % ARRANGEMENTS;
        double distance = form == FORM_LINEAR ? distance_to_regularity(work_stations, mean)
                                              : reference_distance_to_regularity(work_stations, mean);
        benchmark::DoNotOptimize(distance);
        benchmark::ClobberMemory();
    }
}

// One shuffle of 1,000 stations: the copy, the clock, the seeding and 1,000 draws and swaps.
void bench_shuffle(benchmark::State& state, Form form)
{
    set_clock_seam(held_clock);
    station_count = MAX_STATIONS;
    std::memcpy(observed_stations, transects[SHAPE_RANDOM].stations, sizeof observed_stations);
    for (auto _ : state) {
        shuffle_counter = 7;
        if (form == FORM_LINEAR) shuffle_stations(observed_stations, work_stations);
        else reference_shuffle_stations(observed_stations, work_stations);
        benchmark::ClobberMemory();
    }
}

// Collects the median real time of every benchmark (or its single time without repetitions).
class MedianReporter : public benchmark::ConsoleReporter {
public:
    std::map<std::string, double> medians;  // by name without the aggregate suffix, in seconds

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            const double seconds = run.GetAdjustedRealTime() /
                                   benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.run_name.function_name;
            if (median || medians.count(name) == 0) medians[name] = seconds;
        }
    }
};

void print_ratio(const MedianReporter& reporter, const std::string& name, double unit,
                 const char* unit_name, const char* target)
{
    auto written = reporter.medians.find(name + "/written");
    auto linear = reporter.medians.find(name + "/linear");
    if (written == reporter.medians.end() || linear == reporter.medians.end()) return;
    std::printf("%-18s %12.3f %s %12.3f %s %9.1fx   %s\n", name.c_str(), written->second * unit,
                unit_name, linear->second * unit, unit_name, written->second / linear->second,
                target);
}

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    if (!write_transects()) {
        std::fprintf(stderr, "engine_bench: cannot write the transect files to %s\n",
                     transect_folder.string().c_str());
        return 1;
    }
    make_arrangements();
    for (int shape = 0; shape < SHAPE_COUNT; shape++) {
        const char* path = transects[shape].path.c_str();
        records_agree[shape] = same_record(analyse(FORM_LINEAR, path), analyse(FORM_WRITTEN, path));
    }
    for (int shape = 0; shape < SHAPE_COUNT; shape++)
        for (int form = 0; form < FORM_COUNT; form++)
            benchmark::RegisterBenchmark(
                ("analysis/" + std::string(SHAPE_NAMES[shape]) + "/" + FORM_NAMES[form]).c_str(),
                bench_analysis, static_cast<Shape>(shape), static_cast<Form>(form))
                ->Unit(benchmark::kMillisecond);
    for (int shape = 0; shape < SHAPE_COUNT; shape++)
        for (int form = 0; form < FORM_COUNT; form++)
            benchmark::RegisterBenchmark(
                ("distance/" + std::string(SHAPE_NAMES[shape]) + "/" + FORM_NAMES[form]).c_str(),
                bench_distance, static_cast<Shape>(shape), static_cast<Form>(form))
                ->Unit(benchmark::kMicrosecond);
    for (int form = 0; form < FORM_COUNT; form++)
        benchmark::RegisterBenchmark(("shuffle/" + std::string(FORM_NAMES[form])).c_str(),
                                     bench_shuffle, static_cast<Form>(form))
            ->Unit(benchmark::kMicrosecond);

    MedianReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(transect_folder, ignored);

    std::printf("\nMedian real time, written form beside linear form, 1,000 stations:\n");
    std::printf("%-18s %15s %15s %10s   %s\n", "benchmark", "written", "linear", "ratio",
                "target");
    for (int shape = 0; shape < SHAPE_COUNT; shape++) {
        const bool strict = shape == SHAPE_CLUMPED || shape == SHAPE_RANDOM;
        print_ratio(reporter, std::string("analysis/") + SHAPE_NAMES[shape], 1e3, "ms",
                    strict ? "linear <= 8 ms, ratio >= 20" : "linear <= 8 ms, ratio >= 10");
    }
    for (int shape = 0; shape < SHAPE_COUNT; shape++)
        print_ratio(reporter, std::string("distance/") + SHAPE_NAMES[shape], 1e6, "us", "");
    print_ratio(reporter, "shuffle", 1e6, "us", "");
    return 0;
}
