// Station file reader: the byte grammar, the read errors and the decimal conversion.
#include "analysis/analysis.h"
#include "analysis/station_reader.h"
#include "engine_state.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#ifdef __linux__
#include <dirent.h>
#endif

namespace {

const float INF = std::numeric_limits<float>::infinity();

struct Parsed {
    ReadOutcome outcome;
    double mean;
};

Parsed parse(const std::string& bytes)
{
    reset_engine();
    Parsed parsed = {READ_OK, 0.0};
    parsed.outcome = read_station_bytes(reinterpret_cast<const unsigned char*>(bytes.data()),
                                        bytes.size(), &parsed.mean);
    return parsed;
}

void expect_same_double(double expected, double actual)
{
    if (std::isnan(expected)) EXPECT_TRUE(std::isnan(actual)) << actual;
    else EXPECT_EQ(bits_of(expected), bits_of(actual)) << expected << " vs " << actual;
}

struct ValidCase {
    const char* name;
    std::string bytes;
    int32_t count;
    std::vector<float> stations;  // entries 0.. of work_stations; every later entry must be +0.0
    double mean;
};

TEST(StationReader, ReadsTheGrammar)
{
    const std::string long_zeros(348, '0');
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const ValidCase cases[] = {
        {"plain", "3\n1\n2\n3\n", 3, {1, 2, 3}, 2.0},
        {"all on one line", "3 1 2 3", 3, {1, 2, 3}, 2.0},
        {"CR LF line ends", "3\r\n1\r\n2\r\n3\r\n", 3, {1, 2, 3}, 2.0},
        {"lone CR line ends", "3\r1\r2\r3\r", 3, {1, 2, 3}, 2.0},
        {"tabs, vertical tabs, form feeds", "\t3\v1\f2 \t3", 3, {1, 2, 3}, 2.0},
        {"plus sign on the count", "+3 1 2 3", 3, {1, 2, 3}, 2.0},
        {"count 0 reads nothing", "0 5 6", 0, {}, nan},
        {"negative count reads nothing", "-5 1 2", -5, {}, -0.0},
        {"count reduced modulo 2^32", "4294967297 7 8", 1, {7}, 7.0},
        {"count wraps negative", "3000000000 1 2", -1294967296, {}, -0.0},
        {"count 2^31 wraps to the smallest int32", "2147483648 1", INT32_MIN, {}, -0.0},
        {"count -2^31 is the smallest int32", "-2147483648 1", INT32_MIN, {}, -0.0},
        {"count -2^32 reduces to 0", "-4294967296 5", 0, {}, nan},
        {"count past 2^64 goes on reducing", "18446744073709551617 7", 1, {7}, 7.0},
        {"count with a hundred leading zeros", std::string(100, '0') + "2 1 2", 2, {1, 2}, 1.5},
        {"missing values count as 0", "4 1 2 3", 4, {1, 2, 3, 0}, 1.5},
        {"a word stops every later field", "4 5 NA 7 8", 4, {5, 0, 0, 0}, 1.25},
        {"lone minus between spaces", "3 1 - 2", 3, {1, 0, 2}, 1.0},
        {"lone point and sign-point", "4 1 . -. 2", 4, {1, 0, 0, 2}, 0.75},
        {"a second point starts a field", "2 1.2.3", 2, {1.2f, 0.3f},
         static_cast<double>(1.2f + 0.3f) / 2.0},
        {"comma is no decimal point", "3 2,5 4 6", 3, {2, 0, 0}, 2.0 / 3.0},
        {"exponents, one without digits", "3 1.5e3 2E-2 2e", 3, {1500, 0.02f, 2},
         static_cast<double>((1500.0f + 0.02f) + 2.0f) / 3.0},
        {"exponent sign without digits is used up", "3 2e+ 2e- 3", 3, {2, 2, 3}, 7.0 / 3.0},
        {"point without digits on either side", "2 .5 5.", 2, {0.5f, 5}, 2.75},
        {"overflow keeps the sign", "2 1e39 -1", 2, {INF, -1}, static_cast<double>(INF)},
        {"negative overflow", "1 -1e39", 1, {-INF}, -static_cast<double>(INF)},
        {"underflow to zero", "2 1e-50 -1e-50", 2, {0.0f, -0.0f}, 0.0},
        {"infinity and NaN words read as nothing", "2 inf 1", 2, {0, 0}, 0.0},
        {"nan word", "2 nan 1", 2, {0, 0}, 0.0},
        {"hexadecimal reads its leading 0", "2 0x10 5", 2, {0, 0}, 0.0},
        {"count written with a point", "3.0 7 8 9", 3, {0, 7, 8}, 5.0},
        {"no whitespace at all", "3-1+2.5-4", 3, {-1, 2.5f, -4}, -2.5 / 3.0},
        {"0x1A ends the data", std::string("5 1 2\x1a 3 4 5", 13), 5, {1, 2, 0, 0, 0}, 0.6},
        {"NUL is an ordinary other byte", std::string("3 1\0 2 3", 8), 3, {1, 0, 0}, 1.0 / 3.0},
        {"text after the last value is ignored", "2 1 2 3 4 junk", 2, {1, 2}, 1.5},
        // 349 bytes after the sign: 348 zeros and a 1; the 5 begins the next field.
        {"field limit splits a long value", "2 -" + long_zeros + "15", 2, {-1, 5}, 2.0},
        {"field limit falls on the exponent marker", "2 " + std::string(347, '0') + "1e5", 2,
         {1, 5}, 3.0},
    };
    for (const ValidCase& c : cases) {
        SCOPED_TRACE(c.name);
        Parsed parsed = parse(c.bytes);
        ASSERT_EQ(READ_OK, parsed.outcome);
        EXPECT_EQ(c.count, station_count);
        for (int32_t i = 0; i < MAX_STATIONS; i++) {
            float expected = i < static_cast<int32_t>(c.stations.size()) ? c.stations[i] : 0.0f;
            ASSERT_EQ(bits_of(expected), bits_of(work_stations[i])) << "station " << i;
        }
        expect_same_double(c.mean, parsed.mean);
    }
}

TEST(StationReader, ReadsAThousandStations)
{
    std::ostringstream text;
    text << "1000";
    for (int i = 1; i <= 1000; i++) text << ' ' << i;
    Parsed parsed = parse(text.str());
    ASSERT_EQ(READ_OK, parsed.outcome);
    EXPECT_EQ(1000, station_count);
    EXPECT_EQ(1000.0f, work_stations[999]);
    expect_same_double(500.5, parsed.mean);
}

struct BadCase {
    const char* name;
    std::string bytes;
    ReadOutcome outcome;
};

TEST(StationReader, RefusesCountsItCannotUse)
{
    const BadCase cases[] = {
        {"count 1001", "1001 1 2", READ_TOO_MANY},
        {"count that wraps above 1000", "9999999999", READ_TOO_MANY},
        {"empty file", "", READ_NO_COUNT},
        {"only whitespace", " \r\n\t", READ_NO_COUNT},
        {"heading", "stations 3\n1 2 3", READ_NO_COUNT},
        {"UTF-8 byte-order mark", "\xEF\xBB\xBF" "3 1 2 3", READ_NO_COUNT},
        {"UTF-16 byte-order mark", "\xFF\xFE" "3", READ_NO_COUNT},
        {"sign without digits", "+ 3 1 2 3", READ_NO_COUNT},
        {"0x1A before the count", "\x1a" "3 1 2 3", READ_NO_COUNT},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.outcome, parse(c.bytes).outcome);
    }
    EXPECT_EQ(READ_OK, parse("1000").outcome);
}

// The read errors end the process with status 1 after the warning line.
TEST(StationReaderDeathTest, WarnsAndExitsWithStatusOne)
{
    struct Row {
        const char* name;
        std::string path;
        const char* warning;
    };
    const std::string present = write_station_file("1 1");
    const Row rows[] = {
        {"missing file", present + ".missing", "Can't open file!"},
        {"count above 1000", write_station_file("1001\n"), "Too much data for program!"},
        {"no count", write_station_file(""), "Can't read station count!"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        reset_engine();
        std::string expected = std::string("uh oh\\.\\.\\.: ") + row.warning;
        EXPECT_EXIT(read_station_file(row.path.c_str()), testing::ExitedWithCode(1), expected);
    }
    for (const Row& row : rows) std::remove(row.path.c_str());
    std::remove(present.c_str());
}

TEST(StationReader, ReadsAFileOnDisk)
{
    reset_engine();
    std::string path = write_station_file("4\r\n0.5\r\n-2\r\n1e1\x1a 9");
    double mean = read_station_file(path.c_str());
    EXPECT_EQ(4, station_count);
    EXPECT_EQ(0.5f, work_stations[0]);
    EXPECT_EQ(-2.0f, work_stations[1]);
    EXPECT_EQ(10.0f, work_stations[2]);
    EXPECT_EQ(0.0f, work_stations[3]);
    EXPECT_EQ(2.125, mean);
    std::remove(path.c_str());
}

#ifdef __linux__
int open_descriptors()
{
    int count = 0;
    DIR* dir = opendir("/proc/self/fd");
    while (dir != nullptr && readdir(dir) != nullptr) count++;
    if (dir != nullptr) closedir(dir);
    return count;
}

TEST(StationReader, ClosesTheFileAfterReading)
{
    std::string path = write_station_file("2 1 2");
    int before = open_descriptors();
    for (int i = 0; i < 100; i++) read_station_file(path.c_str());
    EXPECT_EQ(before, open_descriptors());
    std::remove(path.c_str());
}
#endif

// Every string of the shared decimal-to-float collection that fits one value field must convert
// to the correctly rounded single-precision value.
TEST(StationReader, ConvertsDecimalsCorrectlyRounded)
{
    const char* files[] = {"freetype-2-7.txt", "lemire-fast-float.txt", "more-test-cases.txt",
                           "tencent-rapidjson.txt"};
    int checked = 0;
    for (const char* name : files) {
        std::string path = std::string(VELTRASS_TESTDATA) + "/decimal-to-float/" + name;
        std::ifstream in(path);
        ASSERT_TRUE(in.good()) << "missing test data: " << path;
        std::string half, single, dbl, text;
        while (in >> half >> single >> dbl >> text) {
            if (text.size() > 349) continue;  // longer strings are split by the field limit
            SCOPED_TRACE(text);
            Parsed parsed = parse("1 " + text);
            ASSERT_EQ(READ_OK, parsed.outcome);
            uint32_t expected = static_cast<uint32_t>(std::stoul(single, nullptr, 16));
            EXPECT_EQ(expected, bits_of(work_stations[0]));
            ASSERT_EQ(READ_OK, parse("1 -" + text).outcome);
            EXPECT_EQ(expected | 0x80000000u, bits_of(work_stations[0]));
            checked++;
        }
    }
    EXPECT_GT(checked, 10000);
}

}  // namespace
