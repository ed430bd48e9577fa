// veltrass-cli: output formats, usage errors and exit statuses, run as a separate process.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct CliRun {
    int status;
    std::string out, err;
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string temp_path(const std::string& name)
{
    return testing::TempDir() + "cli_test_" + name;
}

std::string station_file(const std::string& name, const std::string& bytes)
{
    std::string path = temp_path(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

CliRun run_cli(const std::string& args)
{
    std::string out = temp_path("stdout"), err = temp_path("stderr");
    std::string command = std::string(VELTRASS_CLI) + " " + args + " >" + out + " 2>" + err;
    int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
}

const char TIED_TEXT[] =
    "Number of Stations: 2\nObserved Mean: 2.000\nObserved Distance: 1.000\n"
    "Average Shuffle Distance: 1.000\nIndex of patchiness: 1.000\nProbability: 1.000\n";

TEST(Cli, PrintsTheSixResults)
{
    const std::string clumped = station_file("clumped.txt", "3\n3\n0\n0\n");
    const std::string tied = station_file("tied.txt", "2 3 1");
    const std::string empty = station_file("empty.txt", "0");
    struct Row {
        const char* name;
        std::string args, out;
    };
    const Row rows[] = {
        {"held clock, first analysis", "--time 1000000000 " + clumped,
         "Number of Stations: 3\nObserved Mean: 1.000\nObserved Distance: 3.000\n"
         "Average Shuffle Distance: 2.667\nIndex of patchiness: 1.125\nProbability: 0.667\n"},
        {"several files: named blocks, state carries on", "--time 1000000000 " + clumped + " " +
         clumped + " " + tied,
         "File: " + clumped + "\nNumber of Stations: 3\nObserved Mean: 1.000\n"
         "Observed Distance: 3.000\nAverage Shuffle Distance: 2.667\nIndex of patchiness: 1.125\n"
         "Probability: 0.667\n\nFile: " + clumped + "\nNumber of Stations: 3\n"
         "Observed Mean: 1.000\nObserved Distance: 3.000\nAverage Shuffle Distance: 2.669\n"
         "Index of patchiness: 1.124\nProbability: 0.669\n\nFile: " + tied + "\n" + TIED_TEXT},
        {"json at full precision", "--json --time 1000000000 " + clumped + " " + tied + " " + empty,
         "{\"file\":\"" + clumped + "\",\"stations\":3,\"observed_mean\":1,"
         "\"observed_distance\":3,\"average_shuffle_distance\":2.6666667461395264,"
         "\"shuffles_at_or_above\":667,\"index_of_patchiness\":1.1249999664723882,"
         "\"probability\":0.66700003168080002}\n"
         "{\"file\":\"" + tied + "\",\"stations\":2,\"observed_mean\":2,\"observed_distance\":1,"
         "\"average_shuffle_distance\":1,\"shuffles_at_or_above\":1000,"
         "\"index_of_patchiness\":1,\"probability\":1.0000000474974513}\n"
         "{\"file\":\"" + empty + "\",\"stations\":0,\"observed_mean\":\"NaN\","
         "\"observed_distance\":0,\"average_shuffle_distance\":0,\"shuffles_at_or_above\":1000,"
         "\"index_of_patchiness\":\"NaN\",\"probability\":1.0000000474974513}\n"},
        {"csv", "--csv " + tied + " " + empty,
         "file,stations,observed_mean,observed_distance,average_shuffle_distance,"
         "shuffles_at_or_above,index_of_patchiness,probability\n" +
         tied + ",2,2,1,1,1000,1,1.0000000474974513\n" +
         empty + ",0,NaN,0,0,1000,NaN,1.0000000474974513\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CliRun run = run_cli(row.args);
        EXPECT_EQ(0, run.status);
        EXPECT_EQ(row.out, run.out);
        EXPECT_EQ("", run.err);
    }
}

TEST(Cli, QuotesFileNamesInJsonAndCsv)
{
    const std::string odd = station_file("a,\"b\".txt", "2 3 1");
    CliRun json = run_cli("--json '" + odd + "'");
    EXPECT_NE(std::string::npos, json.out.find("a,\\\"b\\\".txt\""));
    CliRun csv = run_cli("--csv '" + odd + "'");
    EXPECT_NE(std::string::npos, csv.out.find("\n\"" + temp_path("a,\"\"b\"\".txt\",2,")));
    // JSON text is UTF-8: a well-formed sequence stays, a stray byte becomes U+FFFD.
    const std::string latin = station_file("caf\xC3\xA9-\xFF.txt", "2 3 1");
    CliRun named = run_cli("--json '" + latin + "'");
    EXPECT_NE(std::string::npos, named.out.find("caf\xC3\xA9-\\ufffd.txt\""));
}

TEST(Cli, UsageErrorsAndReadErrors)
{
    const std::string tied = station_file("tied.txt", "2 3 1");
    const std::string too_many = station_file("too_many.txt", "1001");
    const std::string missing = temp_path("missing.txt");
    struct Row {
        const char* name;
        std::string args;
        int status;
        std::string out, err_start;
    };
    const Row rows[] = {
        {"no file", "", 2, "", "veltrass-cli: no station file given\nusage: "},
        {"unknown option", "--fast " + tied, 2, "", "veltrass-cli: unknown option: --fast\nusage: "},
        {"missing time", "--time", 2, "", "veltrass-cli: --time needs a value\nusage: "},
        {"bad time", "--time soon " + tied, 2, "",
         "veltrass-cli: --time needs whole seconds, not: soon\nusage: "},
        {"two formats", "--json --csv " + tied, 2, "",
         "veltrass-cli: choose one of --json and --csv\nusage: "},
        {"cannot open, after a good file", tied + " " + missing, 1,
         "File: " + tied + "\n" + TIED_TEXT + "\nFile: " + missing + "\n",
         "uh oh...: Can't open file!\n"},
        {"too much data", too_many, 1, "", "uh oh...: Too much data for program!\n"},
        {"shuffles without json", "--shuffles " + tied, 2, "",
         "veltrass-cli: --shuffles needs --json\nusage: "},
        {"shuffles with csv", "--csv --shuffles " + tied, 2, "",
         "veltrass-cli: --shuffles needs --json\nusage: "},
        {"plot without folder", "--plot", 2, "", "veltrass-cli: --plot needs a folder\nusage: "},
        {"plot folder is a file", "--plot " + tied + " " + tied, 1, "",
         "veltrass-cli: cannot create the folder " + tied + ": "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        CliRun run = run_cli(row.args);
        EXPECT_EQ(row.status, run.status);
        EXPECT_EQ(row.out, run.out);
        EXPECT_EQ(row.err_start, run.err.substr(0, row.err_start.size()));
    }
    CliRun help = run_cli("--help");
    EXPECT_EQ(0, help.status);
    EXPECT_EQ(0u, help.out.find("usage: veltrass-cli [--time SECONDS] [--json [--shuffles] | --csv] "
                                "[--plot DIR] FILE..."));
}

TEST(Cli, PlotRefusesTwoFilesThatWouldShareAFigure)
{
    const std::string tied = station_file("tied.txt", "2 3 1");
    const std::string other_extension = station_file("tied.dat", "2 3 1");
    const std::string other_case = station_file("TIED.txt", "2 3 1");
    const std::string folder = temp_path("clashing_figures");
    struct Row {
        const char* name;
        std::string second;
    };
    const Row rows[] = {
        {"the same file twice", tied},
        {"another extension", other_extension},
        {"names that differ in letter case", other_case},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(folder);
        CliRun run = run_cli("--plot " + folder + " " + tied + " " + row.second);
        EXPECT_EQ(2, run.status);
        EXPECT_EQ("", run.out);
        std::string name = std::filesystem::path(row.second).stem().string() + ".svg";
        EXPECT_EQ(0u, run.err.find("veltrass-cli: --plot: " + tied + " and " + row.second +
                                   " would both be drawn as " + name + "\nusage: "))
            << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder));  // refused before anything ran
    }
}

TEST(Cli, PlotWritesOneFigurePerFileBesideTheUsualOutput)
{
    const std::string clumped = station_file("clumped.txt", "3\n3\n0\n0\n");
    const std::string dotted = station_file("two.dots.dat", "2 3 1");
    const std::string missing = temp_path("missing.txt");
    const std::string parent = temp_path("figures");
    const std::string folder = parent + "/nested";
    std::filesystem::remove_all(parent);
    std::string files = clumped + " " + dotted;
    CliRun plain = run_cli("--time 1000000000 " + files);
    CliRun plotted = run_cli("--time 1000000000 --plot " + folder + " " + files);
    EXPECT_EQ(0, plotted.status);
    EXPECT_EQ(plain.out, plotted.out);
    EXPECT_EQ("", plotted.err);
    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        written.push_back(entry.path().filename().string());
    std::sort(written.begin(), written.end());
    EXPECT_EQ((std::vector<std::string>{"cli_test_clumped.svg", "cli_test_two.dots.svg"}), written);
    EXPECT_EQ(0u, slurp(folder + "/cli_test_clumped.svg").find("<?xml"));

    // A read error ends the run; the figures of the files before it stay.
    std::filesystem::remove_all(parent);
    CliRun failed = run_cli("--plot " + folder + " " + clumped + " " + missing);
    EXPECT_EQ(1, failed.status);
    EXPECT_TRUE(std::filesystem::exists(folder + "/cli_test_clumped.svg"));
    std::filesystem::remove_all(parent);
}

// The value of `"name":` in a JSON line, read as a number.
double json_number(const std::string& line, const std::string& name)
{
    size_t at = line.find("\"" + name + "\":");
    if (at == std::string::npos) return std::nan("");
    return std::strtod(line.c_str() + at + name.size() + 3, nullptr);
}

TEST(Cli, JsonShufflesListTheDistancesThatMakeTheRecord)
{
    const std::string example = std::string(VELTRASS_EXAMPLES) + "/transect.txt";
    const std::string tenths = station_file("tenths.txt", "2 0.3 0.1");
    const std::string clumped = station_file("clumped.txt", "3 3 0 0");
    const std::string files = example + " " + tenths + " " + clumped;
    CliRun plain = run_cli("--json --time 1000000000 " + files);
    CliRun listed = run_cli("--json --shuffles --time 1000000000 " + files);
    ASSERT_EQ(0, listed.status);
    std::istringstream plain_lines(plain.out), listed_lines(listed.out);
    std::string plain_line, line;
    int records = 0;
    while (std::getline(listed_lines, line)) {
        SCOPED_TRACE(line.substr(0, 80));
        records++;
        ASSERT_TRUE(std::getline(plain_lines, plain_line));
        const std::string key = ",\"shuffle_distances\":[";
        size_t list = line.find(key);
        ASSERT_NE(std::string::npos, list);
        EXPECT_EQ(plain_line.substr(0, plain_line.size() - 1), line.substr(0, list));
        EXPECT_EQ("]}", line.substr(line.size() - 2));

        const char* p = line.c_str() + list + key.size();
        int count = 0;
        float sum = 0.0f;
        int32_t at_or_above = 1;
        double observed = json_number(line, "observed_distance");
        while (*p != ']') {
            char* end = nullptr;
            double d = std::strtod(p, &end);
            ASSERT_NE(p, end);
            count++;
            sum = static_cast<float>(static_cast<double>(sum) + d);
            if (d >= observed) at_or_above++;
            p = *end == ',' ? end + 1 : end;
        }
        EXPECT_EQ(999, count);
        float average =
            static_cast<float>(static_cast<double>(sum) * static_cast<double>(0.0010010009864345193f));
        EXPECT_EQ(static_cast<float>(json_number(line, "average_shuffle_distance")), average);
        EXPECT_EQ(json_number(line, "shuffles_at_or_above"), at_or_above);
    }
    EXPECT_EQ(3, records);
}

TEST(Cli, AnalysesTheBundledExample)
{
    CliRun run = run_cli(std::string(VELTRASS_EXAMPLES) + "/transect.txt");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ(0u, run.out.find("Number of Stations: 120\n"));
}

}  // namespace
