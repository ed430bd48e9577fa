// libFuzzer target over the station file grammar: any bytes either read or end in a read error.
#include "analysis/analysis.h"
#include "analysis/station_reader.h"
#include "tests/engine_state.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// A count no file can leave behind by accident: a count field that does not read must keep it.
static const int32_t COUNT_BEFORE = 777;

static bool same_double(double a, double b) { return (a != a && b != b) || bits_of(a) == bits_of(b); }

[[noreturn]] static void broken(const char* property)
{
    std::fprintf(stderr, "station reader property broken: %s\n", property);
    std::abort();
}

static void check(bool holds, const char* property)
{
    if (!holds) broken(property);
}

static void clear_engine()
{
    station_count = COUNT_BEFORE;
    std::memset(observed_stations, 0, sizeof observed_stations);
    std::memset(work_stations, 0, sizeof work_stations);
}

// Reads the same bytes through a real file (an anonymous in-memory one, so no disk is touched),
// which takes the chunked path of the reader, and demands the same stations and mean.
static void check_file_read_agrees(const uint8_t* data, size_t size, double memory_mean)
{
    static float memory_stations[MAX_STATIONS];
    std::memcpy(memory_stations, work_stations, sizeof memory_stations);
    const int32_t memory_count = station_count;

    int fd = memfd_create("station", 0);
    if (fd < 0) return;
    size_t written = 0;
    while (written < size) {
        ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<size_t>(n);
    }
    if (written == size) {
        char path[64];
        std::snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
        clear_engine();
        double file_mean = read_station_file(path);  // READ_OK in memory, so it returns
        check(station_count == memory_count, "file and memory give the same count");
        check(std::memcmp(work_stations, memory_stations, sizeof memory_stations) == 0,
              "file and memory give the same stations");
        check(same_double(file_mean, memory_mean), "file and memory give the same mean");
    }
    close(fd);
}

// Stations read from hostile bytes (infinities, -0.0, extremes) through the rest of an analysis:
// one measurement and one shuffle, kept to small counts so that fuzzing stays fast. The
// measurement touches nothing past the count, and the shuffle is a permutation of what was read.
static const int32_t ANALYSED_STATIONS = 64;

static int64_t held_clock() { return 1765000001; }

// A counter taken from the input itself, so that a failing input replays exactly and the counter
// visits its whole range, the wrap included.
static int32_t counter_from(const uint8_t* data, size_t size)
{
    uint32_t hash = 2166136261u;
    for (size_t i = 0; i < size; i++) hash = (hash ^ data[i]) * 16777619u;
    int32_t counter;
    std::memcpy(&counter, &hash, sizeof counter);
    return counter;
}

static void check_analysis_steps(float mean, int32_t counter)
{
    std::memcpy(observed_stations, work_stations, sizeof observed_stations);
    distance_to_regularity(work_stations, mean);
    const int32_t read = station_count > 0 ? station_count : 0;
    for (int32_t i = read; i < MAX_STATIONS; i++)
        check(bits_of(work_stations[i]) == 0, "the measurement leaves entries past the count");

    set_clock_seam(held_clock);
    shuffle_counter = counter;
    shuffle_stations(observed_stations, work_stations);
    check(static_cast<uint32_t>(shuffle_counter) - static_cast<uint32_t>(counter) == 1u,
          "a shuffle advances the counter by one, modulo 2^32");
    static uint32_t before[MAX_STATIONS], after[MAX_STATIONS];
    for (int32_t i = 0; i < MAX_STATIONS; i++) {
        before[i] = bits_of(observed_stations[i]);
        after[i] = bits_of(work_stations[i]);
    }
    check(std::equal(before + read, before + MAX_STATIONS, after + read),
          "the shuffle copies the entries past the count unchanged");
    std::sort(before, before + read);
    std::sort(after, after + read);
    check(std::equal(before, before + read, after), "the shuffle permutes the stations");
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    clear_engine();
    double mean = 12345.0;
    ReadOutcome outcome = read_station_bytes(data, size, &mean);
    for (int32_t i = 0; i < MAX_STATIONS; i++)
        check(bits_of(observed_stations[i]) == 0, "the reader never writes observed_stations");

    switch (outcome) {
    case READ_OK: {
        check(station_count <= MAX_STATIONS, "a count that read is at most MAX_STATIONS");
        const int32_t read = station_count > 0 ? station_count : 0;
        float sum = 0.0f;
        for (int32_t i = 0; i < read; i++)
            sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(work_stations[i]));
        check(same_double(mean, static_cast<double>(sum) / static_cast<double>(station_count)),
              "the mean is the single-precision sum over the count");
        for (int32_t i = read; i < MAX_STATIONS; i++)
            check(bits_of(work_stations[i]) == 0, "entries past the count stay +0.0");
        check_file_read_agrees(data, size, mean);
        if (station_count <= ANALYSED_STATIONS)
            check_analysis_steps(static_cast<float>(mean), counter_from(data, size));
        break;
    }
    case READ_NO_COUNT:
        check(station_count == COUNT_BEFORE, "a count that does not read leaves station_count");
        for (int32_t i = 0; i < MAX_STATIONS; i++)
            check(bits_of(work_stations[i]) == 0, "no value is read without a count");
        break;
    case READ_TOO_MANY:
        check(station_count > MAX_STATIONS, "only a count above MAX_STATIONS is too many");
        for (int32_t i = 0; i < MAX_STATIONS; i++)
            check(bits_of(work_stations[i]) == 0, "no value is read after too many");
        break;
    case READ_CANNOT_OPEN:
        broken("bytes in memory always open");
    default:
        broken("the outcome is one of the four");
    }
    return 0;
}
