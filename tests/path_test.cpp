// Paths as the open-file dialog may hand them over: long, with bytes above 0x7F, naming a folder,
// or naming a file that is gone by the time it is read.
#include "analysis/analysis.h"
#include "engine_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

const size_t DIALOG_PATH_BYTES = 259;  // the longest path the open-file dialog returns

std::string unique_prefix()
{
    return testing::TempDir() + "veltrass_path_" + std::to_string(veltrass_process_id()) + "_";
}

// A path of exactly `length` bytes in the temporary folder, or "" when that folder is too long.
std::string path_of_length(size_t length)
{
    std::string path = unique_prefix();
    if (path.size() + 5 > length) return "";
    path.append(length - path.size() - 4, 'p');
    return path + ".txt";
}

bool write_at(const std::string& path, const std::string& bytes)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

TEST(Paths, LongAndNonAsciiPathsRead)
{
    struct Row {
        const char* name;
        std::string path;
    };
    const Row rows[] = {
        {"259 bytes", path_of_length(DIALOG_PATH_BYTES)},
        {"Latin-1, UTF-8 and 0xFF bytes in the name", unique_prefix() + "\xE9t\xC3\xA9_\xFF\x80.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_FALSE(row.path.empty()) << "temporary folder path too long for this test";
        ASSERT_TRUE(write_at(row.path, "3 4 0 2")) << row.path;
        reset_engine();
        AnalysisResult r = run_analysis(row.path.c_str());
        EXPECT_EQ(3, r.stations);
        EXPECT_EQ(2.0f, r.observed_mean);
        EXPECT_EQ(2.0f, r.observed_distance);
        std::remove(row.path.c_str());
    }
    EXPECT_EQ(DIALOG_PATH_BYTES, rows[0].path.size());
}

struct WarningRow {
    const char* name;
    std::string path;
};

void expect_cannot_open(const WarningRow* rows, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        SCOPED_TRACE(rows[i].name);
        reset_engine();
        EXPECT_EXIT(run_analysis(rows[i].path.c_str()), testing::ExitedWithCode(1),
                    "uh oh\\.\\.\\.: Can't open file!");
    }
}

// Each of these ends the process with status 1 after the warning, never with a crash.
TEST(PathsDeathTest, UnreadablePathsWarnAndExitWithStatusOne)
{
    const std::string vanished = unique_prefix() + "vanished.txt";
    ASSERT_TRUE(write_at(vanished, "3 4 0 2"));
    std::remove(vanished.c_str());  // chosen in the dialog, then deleted before the read

    const WarningRow rows[] = {
        {"a file that vanished after it was chosen", vanished},
        {"259 bytes naming no file", path_of_length(DIALOG_PATH_BYTES)},
        {"far longer than any file system takes", unique_prefix() + std::string(5000, 'x')},
        {"empty", ""},
    };
    expect_cannot_open(rows, sizeof rows / sizeof rows[0]);
}

// POSIX systems open a folder for reading and fail only at its first read, which passed for a file
// without a station count; a folder is a path that cannot be opened as a file, as on Windows.
TEST(PathsDeathTest, FolderIsAFileThatCannotBeOpened)
{
    const std::string folder = unique_prefix() + "folder";
    std::filesystem::create_directory(folder);
    const WarningRow rows[] = {
        {"a folder", folder},
        {"a folder, with a trailing separator", folder + "/"},
    };
    expect_cannot_open(rows, sizeof rows / sizeof rows[0]);
    std::filesystem::remove(folder);
}

}  // namespace
