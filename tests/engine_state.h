// Test helpers: the engine's start-up state, bit patterns and station files on disk.
#ifndef VELTRASS_TESTS_ENGINE_STATE_H
#define VELTRASS_TESTS_ENGINE_STATE_H

#include "analysis/analysis.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#ifdef _WIN32
#include <process.h>
#define veltrass_process_id _getpid
#else
#include <unistd.h>
#define veltrass_process_id getpid
#endif

// Puts every piece of engine state back to what it is at start-up.
inline void reset_engine()
{
    station_count = 0;
    shuffle_counter = 0;
    random_state = 1;
    std::memset(observed_stations, 0, sizeof observed_stations);
    std::memset(work_stations, 0, sizeof work_stations);
    set_clock_seam(nullptr);
    set_warning_seam(nullptr);
    set_shuffle_observer(nullptr, nullptr);
}

inline uint32_t bits_of(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline uint64_t bits_of(double value)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline float float_from_bits(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// Writes `bytes` to a fresh file in the temporary folder and returns its path.
inline std::string write_station_file(const std::string& bytes)
{
    static int serial = 0;
    char name[64];
    std::snprintf(name, sizeof name, "veltrass_test_%d_%d.txt",
                  static_cast<int>(veltrass_process_id()), serial++);
    const char* tmp = std::getenv("TMPDIR");
#ifdef _WIN32
    if (tmp == nullptr) tmp = std::getenv("TEMP");
#endif
    std::string path = std::string(tmp ? tmp : "/tmp") + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file != nullptr) {
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    return path;
}

#endif
