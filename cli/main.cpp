// veltrass-cli: analyses station files with the engine, prints the results as text, JSON or CSV
// and draws their figures.
#include "analysis/analysis.h"
#include "cli/plot.h"
#include "cli/utf8.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

enum OutputFormat { FORMAT_TEXT, FORMAT_JSON, FORMAT_CSV };

static const char USAGE[] =
    "usage: veltrass-cli [--time SECONDS] [--json [--shuffles] | --csv] [--plot DIR] FILE...\n"
    "  Analyses each station file in turn and prints its six results.\n"
    "  --time SECONDS  hold the clock at SECONDS since 1970 (reproduces a run)\n"
    "  --json          one JSON object per file, numbers at full precision\n"
    "  --shuffles      with --json: add the 999 shuffle distances to each object\n"
    "  --csv           a header row, then one row per file, numbers at full precision\n"
    "  --plot DIR      also draw each file's figure into DIR (created if missing), named\n"
    "                  after the file: a/transect.txt gives DIR/transect.svg; two files\n"
    "                  that would give the same figure name are a usage error\n"
    "  --help          print this text\n"
    "  Exit status: 0 done, 1 a file could not be read or a figure not written, 2 usage.\n";

static int64_t held_seconds = 0;
static int64_t held_clock() { return held_seconds; }

// The distances of the current analysis's shuffles, in order, as the engine's observer gives them.
static double shuffle_distances[SHUFFLE_COUNT];
static int shuffles_seen = 0;

static void remember_shuffle(void*, double distance)
{
    if (shuffles_seen < SHUFFLE_COUNT) shuffle_distances[shuffles_seen] = distance;
    shuffles_seen++;
}

static int usage_error(const char* message, const char* detail)
{
    std::fprintf(stderr, "veltrass-cli: %s%s\n%s", message, detail, USAGE);
    return 2;
}

static bool parse_seconds(const char* text, int64_t* seconds)
{
    char* end = nullptr;
    errno = 0;
    long long value = std::strtoll(text, &end, 10);
    if (end == text || *end != '\0' || errno == ERANGE) return false;
    *seconds = static_cast<int64_t>(value);
    return true;
}

// A double as text that reads back to the same value; non-finite values as NaN or +/-Infinity,
// quoted for JSON.
static void print_number(double value, bool quote_special)
{
    const char* special = nullptr;
    if (std::isnan(value)) special = "NaN";
    else if (std::isinf(value)) special = value > 0 ? "Infinity" : "-Infinity";
    if (special == nullptr) std::printf("%.17g", value);
    else if (quote_special) std::printf("\"%s\"", special);
    else std::printf("%s", special);
}

// A JSON string: quote, backslash and control bytes escaped, and bytes that are not well-formed
// UTF-8 written as U+FFFD, since a file name can hold any bytes and JSON text is UTF-8.
static void print_json_string(const char* text)
{
    std::putchar('"');
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t left = std::strlen(text);
    while (left > 0) {
        size_t step = 1;
        if (*p == '"' || *p == '\\') std::printf("\\%c", *p);
        else if (*p < 0x20) std::printf("\\u%04x", *p);
        else if (*p < 0x80) std::putchar(*p);
        else if ((step = utf8_length(p, left)) > 0) std::fwrite(p, 1, step, stdout);
        else {
            std::fputs("\\ufffd", stdout);
            step = 1;
        }
        p += step;
        left -= step;
    }
    std::putchar('"');
}

static void print_csv_field(const char* text)
{
    if (std::strpbrk(text, ",\"\r\n") == nullptr) {
        std::fputs(text, stdout);
        return;
    }
    std::putchar('"');
    for (const char* p = text; *p; p++) {
        if (*p == '"') std::putchar('"');
        std::putchar(*p);
    }
    std::putchar('"');
}

static const char* const FIELD_NAMES[] = {
    "stations", "observed_mean", "observed_distance", "average_shuffle_distance",
    "shuffles_at_or_above", "index_of_patchiness", "probability"};

// One record as a JSON object or a CSV row; with `with_shuffles` the JSON object also lists the
// shuffle distances.
static void print_record(const AnalysisResult& r, OutputFormat format, const char* path,
                         bool with_shuffles)
{
    const double values[] = {static_cast<double>(r.stations), r.observed_mean, r.observed_distance,
                             r.average_shuffle_distance, static_cast<double>(r.shuffles_at_or_above),
                             r.index_of_patchiness, r.probability};
    bool json = format == FORMAT_JSON;
    if (json) {
        std::fputs("{\"file\":", stdout);
        print_json_string(path);
    } else {
        print_csv_field(path);
    }
    for (size_t i = 0; i < sizeof values / sizeof values[0]; i++) {
        if (json) std::printf(",\"%s\":", FIELD_NAMES[i]);
        else std::putchar(',');
        print_number(values[i], json);
    }
    if (json && with_shuffles) {
        std::fputs(",\"shuffle_distances\":[", stdout);
        for (int i = 0; i < shuffles_seen && i < SHUFFLE_COUNT; i++) {
            if (i > 0) std::putchar(',');
            print_number(shuffle_distances[i], true);
        }
        std::putchar(']');
    }
    std::fputs(json ? "}\n" : "\n", stdout);
}

static void print_text(const AnalysisResult& r)
{
    std::printf("Number of Stations: %d\n", static_cast<int>(r.stations));
    std::printf("Observed Mean: %.3f\n", static_cast<double>(r.observed_mean));
    std::printf("Observed Distance: %.3f\n", static_cast<double>(r.observed_distance));
    std::printf("Average Shuffle Distance: %.3f\n", static_cast<double>(r.average_shuffle_distance));
    std::printf("Index of patchiness: %.3f\n", r.index_of_patchiness);
    std::printf("Probability: %.3f\n", r.probability);
}

// The figure's file name for a station file: its base name with ".svg" in place of its extension.
static std::string figure_name(const char* station_path)
{
    return std::filesystem::path(station_path).filename().stem().string() + ".svg";
}

static bool same_name_ignoring_case(const std::string& a, const std::string& b)
{
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

static int output_error(const char* what, const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "veltrass-cli: cannot %s %s: %s\n", what, path.c_str(), reason.c_str());
    return 1;
}

// Writes the document to `path`, replacing any file there. Returns false with `*reason` set when
// the file cannot be written completely.
static bool write_file(const std::string& path, const std::string& document, std::string* reason)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        *reason = std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(document.data(), 1, document.size(), file) == document.size();
    if (!written) *reason = std::strerror(errno);
    if (std::fclose(file) != 0 && written) {
        *reason = std::strerror(errno);
        written = false;
    }
    return written;
}

int main(int argc, char** argv)
{
    OutputFormat format = FORMAT_TEXT;
    bool format_given = false;
    bool with_shuffles = false;
    const char* plot_folder = nullptr;
    int first_file = argc;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) { first_file = i + 1; break; }
        if (std::strcmp(arg, "--help") == 0) { std::fputs(USAGE, stdout); return 0; }
        if (std::strcmp(arg, "--json") == 0 || std::strcmp(arg, "--csv") == 0) {
            if (format_given) return usage_error("choose one of --json and --csv", "");
            format = arg[2] == 'j' ? FORMAT_JSON : FORMAT_CSV;
            format_given = true;
        } else if (std::strcmp(arg, "--shuffles") == 0) {
            with_shuffles = true;
        } else if (std::strcmp(arg, "--plot") == 0) {
            if (i + 1 >= argc || argv[i + 1][0] == '\0')
                return usage_error("--plot needs a folder", "");
            plot_folder = argv[++i];
        } else if (std::strcmp(arg, "--time") == 0) {
            if (i + 1 >= argc) return usage_error("--time needs a value", "");
            if (!parse_seconds(argv[++i], &held_seconds))
                return usage_error("--time needs whole seconds, not: ", argv[i]);
            set_clock_seam(held_clock);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return usage_error("unknown option: ", arg);
        } else {
            first_file = i;
            break;
        }
    }
    if (first_file >= argc) return usage_error("no station file given", "");
    if (with_shuffles && format != FORMAT_JSON) return usage_error("--shuffles needs --json", "");

    // Figure names are checked before anything runs, so that no figure overwrites another from
    // the same run. Names that differ only in letter case clash too: they are one file on the
    // file systems of some platforms.
    std::vector<std::string> figures;
    if (plot_folder != nullptr) {
        for (int i = first_file; i < argc; i++) {
            std::string name = figure_name(argv[i]);
            for (size_t j = 0; j < figures.size(); j++) {
                if (!same_name_ignoring_case(figures[j], name)) continue;
                std::string clash = std::string(argv[first_file + static_cast<int>(j)]) + " and " +
                                    argv[i] + " would both be drawn as " + name;
                return usage_error("--plot: ", clash.c_str());
            }
            figures.push_back(name);
        }
        std::error_code error;
        std::filesystem::create_directories(plot_folder, error);
        if (!std::filesystem::is_directory(plot_folder))
            return output_error("create the folder", plot_folder,
                                error ? error.message() : "a file of that name is in the way");
    }
    if (plot_folder != nullptr || with_shuffles) set_shuffle_observer(remember_shuffle, nullptr);

    if (format == FORMAT_CSV) {
        std::fputs("file", stdout);
        for (const char* name : FIELD_NAMES) std::printf(",%s", name);
        std::putchar('\n');
    }
    bool several = argc - first_file > 1;
    for (int i = first_file; i < argc; i++) {
        // The file's heading comes first, so a read error that ends the run follows its name.
        if (format == FORMAT_TEXT && several)
            std::printf("%sFile: %s\n", i > first_file ? "\n" : "", argv[i]);
        std::fflush(stdout);
        shuffles_seen = 0;
        AnalysisResult result = run_analysis(argv[i]);
        if (format == FORMAT_TEXT) print_text(result);
        else print_record(result, format, argv[i], with_shuffles);
        if (plot_folder != nullptr) {
            std::string path =
                (std::filesystem::path(plot_folder) / figures[static_cast<size_t>(i - first_file)])
                    .string();
            std::string document =
                plot_svg(std::filesystem::path(argv[i]).filename().string().c_str(), result,
                         observed_stations, shuffle_distances,
                         shuffles_seen < SHUFFLE_COUNT ? shuffles_seen : SHUFFLE_COUNT);
            std::string reason;
            std::fflush(stdout);
            if (!write_file(path, document, &reason)) return output_error("write", path, reason);
        }
    }
    return 0;
}
