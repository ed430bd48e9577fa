// veltrass-cli: analyses station files with the engine and prints the results as text, JSON or CSV.
#include "analysis/analysis.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

enum OutputFormat { FORMAT_TEXT, FORMAT_JSON, FORMAT_CSV };

static const char USAGE[] =
    "usage: veltrass-cli [--time SECONDS] [--json | --csv] FILE...\n"
    "  Analyses each station file in turn and prints its six results.\n"
    "  --time SECONDS  hold the clock at SECONDS since 1970 (reproduces a run)\n"
    "  --json          one JSON object per file, numbers at full precision\n"
    "  --csv           a header row, then one row per file, numbers at full precision\n"
    "  --help          print this text\n";

static int64_t held_seconds = 0;
static int64_t held_clock() { return held_seconds; }

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

static void print_json_string(const char* text)
{
    std::putchar('"');
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; p++) {
        if (*p == '"' || *p == '\\') std::printf("\\%c", *p);
        else if (*p < 0x20) std::printf("\\u%04x", *p);
        else std::putchar(*p);
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

static void print_record(const AnalysisResult& r, OutputFormat format, const char* path)
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

int main(int argc, char** argv)
{
    OutputFormat format = FORMAT_TEXT;
    bool format_given = false;
    int first_file = argc;
    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "--") == 0) { first_file = i + 1; break; }
        if (std::strcmp(arg, "--help") == 0) { std::fputs(USAGE, stdout); return 0; }
        if (std::strcmp(arg, "--json") == 0 || std::strcmp(arg, "--csv") == 0) {
            if (format_given) return usage_error("choose one of --json and --csv", "");
            format = arg[2] == 'j' ? FORMAT_JSON : FORMAT_CSV;
            format_given = true;
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
        AnalysisResult result = run_analysis(argv[i]);
        if (format == FORMAT_TEXT) print_text(result);
        else print_record(result, format, argv[i]);
    }
    return 0;
}
