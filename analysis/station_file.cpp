// The station file reader: byte classes, the count and value fields, and the running mean.
#include "analysis/analysis.h"
#include "analysis/station_reader.h"
#include "analysis/seams.h"
#include "analysis/wrap32.h"

#include <charconv>
#include <cstdio>
#include <limits>

#ifndef _WIN32
#include <sys/stat.h>
#endif

static_assert(std::numeric_limits<float>::is_iec559 && sizeof(float) == 4,
              "station values are IEEE 754 single precision");
static_assert(std::numeric_limits<double>::is_iec559 && sizeof(double) == 8,
              "arithmetic between stores is IEEE 754 double precision");

// Bytes a value field may take after its sign before it ends regardless of what follows.
static const int FIELD_LIMIT = 349;
static const int END_OF_DATA = -1;

// One byte of look-ahead over either a file (read in chunks) or bytes in memory. Once the end of
// data is met (end of file, a read error or the byte 0x1A) nothing more is read.
struct ByteSource {
    std::FILE* file;
    const unsigned char* data;
    size_t size;
    size_t pos;
    bool ended;
};

static unsigned char file_chunk[4096];

static int peek_byte(ByteSource* src)
{
    if (src->ended) return END_OF_DATA;
    if (src->pos == src->size) {
        if (src->file == nullptr) { src->ended = true; return END_OF_DATA; }
        src->size = std::fread(file_chunk, 1, sizeof file_chunk, src->file);
        src->data = file_chunk;
        src->pos = 0;
        if (src->size == 0) { src->ended = true; return END_OF_DATA; }
    }
    unsigned char byte = src->data[src->pos];
    if (byte == 0x1A) { src->ended = true; return END_OF_DATA; }
    return byte;
}

static void take_byte(ByteSource* src) { src->pos++; }

static bool is_whitespace(int c) { return c == ' ' || (c >= 0x09 && c <= 0x0D); }
static bool is_digit(int c) { return c >= '0' && c <= '9'; }
static bool is_sign(int c) { return c == '+' || c == '-'; }

static void skip_whitespace(ByteSource* src)
{
    while (is_whitespace(peek_byte(src))) take_byte(src);
}

// Skips the whitespace before a field and takes its optional sign; true for a minus.
static bool take_leading_sign(ByteSource* src)
{
    skip_whitespace(src);
    const int c = peek_byte(src);
    if (!is_sign(c)) return false;
    take_byte(src);
    return c == '-';
}

// Count field: optional sign, then digits without limit, taken modulo 2^32.
static bool read_count_field(ByteSource* src, int32_t* count)
{
    const bool negative = take_leading_sign(src);
    bool any_digit = false;
    uint32_t value = 0;
    for (int c = peek_byte(src); is_digit(c); c = peek_byte(src)) {
        value = value * 10u + static_cast<uint32_t>(c - '0');
        any_digit = true;
        take_byte(src);
    }
    if (!any_digit) return false;
    *count = as_int32(negative ? 0u - value : value);
    return true;
}

// Decides the result of a conversion that left the single-precision range: the decimal exponent
// of the leading significant digit tells an overflow (infinity) from an underflow (zero).
static float out_of_range_value(const char* digits, int int_digits, int all_digits,
                                const char* exponent, int exponent_digits, bool exponent_negative)
{
    int first = 0;
    while (first < all_digits && digits[first] == '0') first++;
    long long scale = 0;
    for (int i = 0; i < exponent_digits; i++) {
        if (scale < 1000000000LL) scale = scale * 10 + (exponent[i] - '0');  // saturates far past any float
    }
    if (exponent_negative) scale = -scale;
    long long leading = static_cast<long long>(int_digits - 1 - first) + scale;
    return leading > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
}

// Value field: sign, integer digits, point and fraction, exponent, at most FIELD_LIMIT bytes after
// the sign. Bytes taken stay taken even when the field then fails.
static bool read_value_field(ByteSource* src, float* value)
{
    const bool negative = take_leading_sign(src);
    // Canonical text for the converter: digits '.' digits ['e' ['-'] digits]; never longer than
    // the field itself plus a leading zero.
    char text[FIELD_LIMIT + 4];
    char digits[FIELD_LIMIT];
    int length = 0, digit_count = 0, int_digits = 0, taken = 0;

    for (int c = peek_byte(src); taken < FIELD_LIMIT && is_digit(c); c = peek_byte(src)) {
        digits[digit_count++] = static_cast<char>(c);
        text[length++] = static_cast<char>(c);
        int_digits++;
        taken++;
        take_byte(src);
    }
    if (int_digits == 0) text[length++] = '0';
    if (taken < FIELD_LIMIT && peek_byte(src) == '.') {
        text[length++] = '.';
        taken++;
        take_byte(src);
        for (int c = peek_byte(src); taken < FIELD_LIMIT && is_digit(c); c = peek_byte(src)) {
            digits[digit_count++] = static_cast<char>(c);
            text[length++] = static_cast<char>(c);
            taken++;
            take_byte(src);
        }
    }
    if (digit_count == 0) return false;

    const char* exponent = nullptr;
    int exponent_digits = 0;
    bool exponent_negative = false;
    int c = peek_byte(src);
    if (taken < FIELD_LIMIT && (c == 'e' || c == 'E')) {
        taken++;
        take_byte(src);
        c = peek_byte(src);
        if (taken < FIELD_LIMIT && is_sign(c)) {
            exponent_negative = c == '-';
            taken++;
            take_byte(src);
        }
        int mark = length;
        text[length++] = 'e';
        if (exponent_negative) text[length++] = '-';
        exponent = text + length;
        for (c = peek_byte(src); taken < FIELD_LIMIT && is_digit(c); c = peek_byte(src)) {
            text[length++] = static_cast<char>(c);
            exponent_digits++;
            taken++;
            take_byte(src);
        }
        if (exponent_digits == 0) length = mark;  // a marker without digits counts as no exponent
    }

    float magnitude = 0.0f;
    std::from_chars_result converted = std::from_chars(text, text + length, magnitude);
    if (converted.ec == std::errc::result_out_of_range) {
        magnitude = out_of_range_value(digits, int_digits, digit_count, exponent, exponent_digits,
                                       exponent_negative);
    }
    *value = negative ? -magnitude : magnitude;
    return true;
}

static ReadOutcome read_stations(ByteSource* src, double* mean)
{
    int32_t count = 0;
    if (!read_count_field(src, &count)) return READ_NO_COUNT;
    station_count = count;
    if (station_count > MAX_STATIONS) return READ_TOO_MANY;

    float sum = 0.0f;
    for (int32_t i = 0; i < station_count; i++) {
        read_value_field(src, &work_stations[i]);  // a failed field leaves the cleared +0.0
        sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(work_stations[i]));
    }
    *mean = static_cast<double>(sum) / static_cast<double>(station_count);
    return READ_OK;
}

const char* read_outcome_text(ReadOutcome outcome)
{
    switch (outcome) {
    case READ_CANNOT_OPEN: return "Can't open file!";
    case READ_NO_COUNT: return "Can't read station count!";
    case READ_TOO_MANY: return "Too much data for program!";
    case READ_OK: break;
    }
    return "";
}

ReadOutcome read_station_bytes(const unsigned char* data, size_t size, double* mean)
{
    ByteSource src = {nullptr, data, size, 0, false};
    return read_stations(&src, mean);
}

// True when the open stream is a folder. POSIX systems open a folder for reading and fail only at
// the first read, which would pass for an empty file; Windows refuses to open one at all.
static bool is_folder(std::FILE* file)
{
#ifdef _WIN32
    (void)file;
    return false;
#else
    struct stat info;
    return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
#endif
}

double read_station_file(const char* path)
{
    // Binary mode: the byte classes, not the platform's text translation, decide what is read.
    std::FILE* file = std::fopen(path, "rb");
    if (file != nullptr && is_folder(file)) {
        std::fclose(file);
        file = nullptr;
    }
    if (file == nullptr) warn_and_exit(read_outcome_text(READ_CANNOT_OPEN));

    ByteSource src = {file, nullptr, 0, 0, false};
    double mean = 0.0;
    ReadOutcome outcome = read_stations(&src, &mean);
    std::fclose(file);
    if (outcome != READ_OK) warn_and_exit(read_outcome_text(outcome));
    return mean;
}
