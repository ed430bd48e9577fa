// The SVG figure of one analysis: station values along the transect above, the histogram of the
// shuffle distances with the observed distance below, and the index and probability between.
#include "cli/plot.h"
#include "cli/utf8.h"

#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <vector>

// Layout in user units: the figure is 85 mm wide (one journal column), 4 units to the millimetre.
static const double WIDTH = 340;
static const double HEIGHT = 284;
static const double PLOT_LEFT = 48;
static const double PLOT_RIGHT = 320;
static const double TRANSECT_TOP = 34;
static const double TRANSECT_BOTTOM = 112;
static const double RESULTS_LINE = 157;
static const double SHUFFLES_TOP = 180;
static const double SHUFFLES_BOTTOM = 254;

static const char BAR_COLOUR[] = "#4f7199";
static const char HISTOGRAM_COLOUR[] = "#b4b4b4";
static const char MARK_COLOUR[] = "#c0392b";
static const char AXIS_COLOUR[] = "#222222";
static const char NOTE_COLOUR[] = "#555555";
static const char MARK_TEXT[] = " font-size=\"10\" fill=\"#c0392b\"";

// Appends printf-style text to the document.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
static void add(std::string& svg, const char* format, ...)
{
    char buffer[512];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return;
    if (static_cast<size_t>(length) < sizeof buffer) {
        svg.append(buffer, static_cast<size_t>(length));
        return;
    }
    std::vector<char> large(static_cast<size_t>(length) + 1);
    va_start(args, format);
    std::vsnprintf(large.data(), large.size(), format, args);
    va_end(args);
    svg.append(large.data(), static_cast<size_t>(length));
}

// A coordinate as the document writes it. The drawing code never computes a non-finite one; this
// is the last guard that keeps the document valid if it ever did.
static double at(double coordinate) { return std::isfinite(coordinate) ? coordinate : 0.0; }

// One number as text; large enough for "%.3f" of the largest double.
static std::string formatted(const char* format, double value)
{
    char text[400];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// `text` as XML character data: markup characters escaped, and bytes that are not well-formed
// UTF-8 or not allowed in XML (control characters) replaced by U+FFFD, since a file name can hold
// any bytes.
static std::string xml_text(const char* text)
{
    std::string out;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    size_t left = std::char_traits<char>::length(text);
    while (left > 0) {
        unsigned char c = *p;
        size_t step = 1;
        if (c == '&') out += "&amp;";
        else if (c == '<') out += "&lt;";
        else if (c == '>') out += "&gt;";
        else if (c == '"') out += "&quot;";
        else if (c == '\'') out += "&apos;";
        else if (c >= 0x20 && c < 0x7F) out += static_cast<char>(c);
        else if (c >= 0x80 && (step = utf8_length(p, left)) > 0)
            out.append(reinterpret_cast<const char*>(p), step);
        else {
            out += "\xEF\xBF\xBD";
            step = 1;
        }
        p += step;
        left -= step;
    }
    return out;
}

// The smallest of 1, 2, 2.5 and 5 times a power of ten that is at least `raw` (> 0).
static double nice_number(double raw)
{
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double fraction = raw / magnitude;
    if (fraction <= 1.0) return magnitude;
    if (fraction <= 2.0) return 2.0 * magnitude;
    if (fraction <= 2.5) return 2.5 * magnitude;
    if (fraction <= 5.0) return 5.0 * magnitude;
    return 10.0 * magnitude;
}

// The one of 1, 2, 2.5 and 5 times a power of ten that lies nearest `raw` (> 0).
static double nearest_nice_number(double raw)
{
    double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    double fraction = raw / magnitude;
    if (fraction < 1.5) return magnitude;
    if (fraction < 2.25) return 2.0 * magnitude;
    if (fraction < 3.5) return 2.5 * magnitude;
    if (fraction < 7.5) return 5.0 * magnitude;
    return 10.0 * magnitude;
}

// The smallest of 1, 2 and 5 times a power of ten that is at least `raw`, as a whole number.
static int64_t nice_whole_number(double raw)
{
    int64_t step = 1;
    while (static_cast<double>(step) < raw) {
        if (static_cast<double>(2 * step) >= raw) return 2 * step;
        if (static_cast<double>(5 * step) >= raw) return 5 * step;
        step *= 10;
    }
    return step;
}

// A value axis: the range shown, widened to whole ticks, and the spacing of the ticks.
struct Axis {
    double low, high, step;
};

// About `ticks` intervals covering `low` to `high` (finite, `low` < `high`).
static Axis nice_axis(double low, double high, int ticks)
{
    double step = nice_number((high - low) / ticks);
    return {std::floor(low / step) * step, std::ceil(high / step) * step, step};
}

static Axis whole_axis(double high, int ticks)
{
    double step = static_cast<double>(nice_whole_number(high / ticks));
    return {0.0, std::ceil(high / step) * step, step};
}

static double x_of(const Axis& axis, double value)
{
    return PLOT_LEFT + (value - axis.low) / (axis.high - axis.low) * (PLOT_RIGHT - PLOT_LEFT);
}

static double y_of(const Axis& axis, double value, double top, double bottom)
{
    return bottom - (value - axis.low) / (axis.high - axis.low) * (bottom - top);
}

// The power of ten by which an axis's tick labels are divided: 0 for ordinary magnitudes, so
// that very large or very small values read as short labels under a "×10ⁿ" axis title.
static int label_exponent(const Axis& axis)
{
    double largest = std::fmax(std::fabs(axis.low), std::fabs(axis.high));
    if (largest < 1e6 && (largest >= 1e-3 || largest == 0.0)) return 0;
    return static_cast<int>(std::floor(std::log10(largest)));
}

// A tick label divided by 10^`exponent`: enough digits for the tick, and no "-0" or rounding
// noise near zero.
static std::string tick_label(double value, double step, int exponent)
{
    if (std::fabs(value) < step * 1e-6) value = 0.0;
    return formatted("%.12g", value / std::pow(10.0, exponent));
}

// The axis title, with " (×10ⁿ)" when the labels are divided by 10ⁿ.
static std::string axis_title(const char* title, int exponent)
{
    static const char* const SUPERSCRIPT[] = {"\u2070", "\u00B9", "\u00B2", "\u00B3", "\u2074",
                                              "\u2075", "\u2076", "\u2077", "\u2078", "\u2079"};
    std::string text = title;
    if (exponent == 0) return text;
    text += " (\u00D710";
    if (exponent < 0) text += "\u207B";
    std::string digits = formatted("%.0f", std::fabs(static_cast<double>(exponent)));
    for (char digit : digits) text += SUPERSCRIPT[digit - '0'];
    return text + ")";
}

static void text_at(std::string& svg, double x, double y, const char* anchor, const char* extra,
                    const std::string& text)
{
    add(svg, "<text x=\"%.2f\" y=\"%.2f\" text-anchor=\"%s\"%s>%s</text>\n", at(x), at(y), anchor,
        extra, text.c_str());
}

static std::string value_attribute(double value)
{
    return formatted(" data-value=\"%.17g\"", value);
}

static int tick_count(const Axis& axis)
{
    return static_cast<int>(std::floor((axis.high - axis.low) / axis.step + 1e-9));
}

// The value axis on the left of a panel: ticks, labels and the rotated axis title.
static void left_axis(std::string& svg, const Axis& axis, double top, double bottom,
                      const char* title)
{
    add(svg, "<g class=\"y-axis\" stroke=\"%s\" stroke-width=\"0.8\">\n", AXIS_COLOUR);
    add(svg, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", PLOT_LEFT, top,
        PLOT_LEFT, bottom);
    int count = tick_count(axis);
    for (int k = 0; k <= count; k++) {
        double value = axis.low + k * axis.step;
        double y = y_of(axis, value, top, bottom);
        add(svg, "<line x1=\"%.2f\" y1=\"%.3f\" x2=\"%.2f\" y2=\"%.3f\"%s/>\n", PLOT_LEFT - 3,
            at(y), PLOT_LEFT, at(y), value_attribute(value).c_str());
    }
    int exponent = label_exponent(axis);
    svg += "</g>\n<g class=\"y-labels\" font-size=\"10\">\n";
    for (int k = 0; k <= count; k++) {
        double value = axis.low + k * axis.step;
        text_at(svg, PLOT_LEFT - 5, y_of(axis, value, top, bottom) + 3.5, "end", "",
                tick_label(value, axis.step, exponent));
    }
    svg += "</g>\n";
    double middle = (top + bottom) / 2;
    add(svg,
        "<text class=\"y-title\" x=\"12\" y=\"%.2f\" text-anchor=\"middle\" font-size=\"11\" "
        "transform=\"rotate(-90 12 %.2f)\">%s</text>\n",
        middle, middle, axis_title(title, exponent).c_str());
}

// The baseline of a panel with ticks at the data `values`, drawn at x `positions`.
static void bottom_axis(std::string& svg, double bottom, const std::vector<double>& positions,
                        const std::vector<double>& values, const std::vector<std::string>& labels,
                        const std::string& title)
{
    add(svg, "<g class=\"x-axis\" stroke=\"%s\" stroke-width=\"0.8\">\n", AXIS_COLOUR);
    add(svg, "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\"/>\n", PLOT_LEFT, bottom,
        PLOT_RIGHT, bottom);
    for (size_t i = 0; i < positions.size(); i++)
        add(svg, "<line x1=\"%.3f\" y1=\"%.2f\" x2=\"%.3f\" y2=\"%.2f\"%s/>\n", at(positions[i]),
            bottom, at(positions[i]), bottom + 3, value_attribute(values[i]).c_str());
    svg += "</g>\n<g class=\"x-labels\" font-size=\"10\">\n";
    for (size_t i = 0; i < positions.size(); i++)
        text_at(svg, positions[i], bottom + 12.5, "middle", "", labels[i]);
    svg += "</g>\n";
    text_at(svg, (PLOT_LEFT + PLOT_RIGHT) / 2, bottom + 25, "middle",
            " class=\"x-title\" font-size=\"11\"", title);
}

// Says in the panel why it shows no drawing.
static void panel_message(std::string& svg, double top, double bottom,
                          const std::vector<std::string>& lines)
{
    add(svg,
        "<rect x=\"%.2f\" y=\"%.2f\" width=\"%.2f\" height=\"%.2f\" fill=\"none\" "
        "stroke=\"%s\" stroke-width=\"0.6\" stroke-dasharray=\"3 2\"/>\n",
        PLOT_LEFT, top, PLOT_RIGHT - PLOT_LEFT, bottom - top, NOTE_COLOUR);
    double y = (top + bottom) / 2 - 7.0 * (static_cast<double>(lines.size()) - 1) + 3.5;
    svg += "<g class=\"message\" font-size=\"10.5\" font-style=\"italic\">\n";
    for (const std::string& line : lines) {
        text_at(svg, (PLOT_LEFT + PLOT_RIGHT) / 2, y, "middle", "", line);
        y += 14;
    }
    svg += "</g>\n";
}

// A value written beside its mark: three decimals like the results, or six significant digits
// where three decimals would make a label wider than the figure.
static std::string value_text(double value)
{
    return formatted(std::fabs(value) < 1e9 ? "%.3f" : "%.6g", value);
}

static std::string count_text(int count, const char* one, const char* many)
{
    char text[96];
    std::snprintf(text, sizeof text, "%d %s", count, count == 1 ? one : many);
    return text;
}

// A legend entry at the right above a panel: a short sample of the line, then `text`. The text
// starts after the sample, so a font wider than the estimate cannot make them overlap.
static void legend(std::string& svg, double y, bool dashed, const std::string& text)
{
    double x = PLOT_RIGHT - 6.0 * static_cast<double>(text.size());  // 10-unit text, generously
    add(svg,
        "<line x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
        "stroke-width=\"1.2\"%s/>\n",
        x - 20, y - 3.5, x - 4, y - 3.5, MARK_COLOUR, dashed ? " stroke-dasharray=\"4 2\"" : "");
    text_at(svg, x, y, "start", MARK_TEXT, text);
}

// Top panel: one bar per station along the transect, and the mean as a horizontal line.
static void draw_transect(std::string& svg, const AnalysisResult& result, const float* stations)
{
    int n = result.stations;
    svg += "<g id=\"transect\">\n";
    int not_finite = 0;
    double low = 0.0, high = 0.0;
    for (int i = 0; i < n; i++) {
        double value = stations[i];
        if (!std::isfinite(value)) not_finite++;
        else if (value < low) low = value;
        else if (value > high) high = value;
    }
    std::vector<std::string> message;
    if (n <= 0) {
        message.push_back(formatted("No stations to draw: the file gives a count of %.0f.",
                                    static_cast<double>(n)));
    } else if (not_finite > 0) {
        message.push_back(count_text(not_finite, "station value is", "station values are") +
                          " not a finite number:");
        message.push_back("the transect cannot be drawn to scale.");
    } else if (!std::isfinite(high - low)) {
        message.push_back("The values span more than double precision holds:");
        message.push_back("the transect cannot be drawn to scale.");
    }
    if (!message.empty()) {
        panel_message(svg, TRANSECT_TOP, TRANSECT_BOTTOM, message);
        svg += "</g>\n";
        return;
    }
    if (high == low) high = 1.0;  // every station is 0
    Axis axis = nice_axis(low, high, 4);
    double slot = (PLOT_RIGHT - PLOT_LEFT) / n;
    double gap = n <= 60 ? slot * 0.18 : 0.0;
    double zero = y_of(axis, 0.0, TRANSECT_TOP, TRANSECT_BOTTOM);
    add(svg, "<g id=\"bars\" fill=\"%s\">\n", BAR_COLOUR);
    for (int i = 0; i < n; i++) {
        double y = y_of(axis, stations[i], TRANSECT_TOP, TRANSECT_BOTTOM);
        add(svg, "<rect x=\"%.3f\" y=\"%.3f\" width=\"%.3f\" height=\"%.3f\"/>\n",
            at(PLOT_LEFT + i * slot + gap / 2), at(std::fmin(y, zero)), at(slot - gap),
            at(std::fabs(zero - y)));
    }
    svg += "</g>\n";
    left_axis(svg, axis, TRANSECT_TOP, TRANSECT_BOTTOM, "Station value");

    int64_t step = nice_whole_number(n / 6.0);
    std::vector<double> positions, values;
    std::vector<std::string> labels;
    for (int64_t k = 0; k < n; k += step) {
        positions.push_back(PLOT_LEFT + (static_cast<double>(k) + 0.5) * slot);
        values.push_back(static_cast<double>(k));
        labels.push_back(formatted("%.0f", static_cast<double>(k)));
    }
    bottom_axis(svg, TRANSECT_BOTTOM, positions, values, labels,
                "Station (position along the transect)");

    double mean = result.observed_mean;
    if (std::isfinite(mean)) {
        double y = y_of(axis, mean, TRANSECT_TOP, TRANSECT_BOTTOM);
        add(svg,
            "<line id=\"mean\" x1=\"%.2f\" y1=\"%.2f\" x2=\"%.2f\" y2=\"%.2f\" stroke=\"%s\" "
            "stroke-width=\"1.2\" stroke-dasharray=\"4 2\" data-value=\"%.17g\"/>\n",
            PLOT_LEFT, at(y), PLOT_RIGHT, at(y), MARK_COLOUR, mean);
        legend(svg, TRANSECT_TOP - 6, true, "mean " + value_text(mean));
    }
    svg += "</g>\n";
}

// Bottom panel: histogram of the shuffle distances, the observed distance as a vertical line.
static void draw_shuffles(std::string& svg, const AnalysisResult& result, const double* distances,
                          int count)
{
    svg += "<g id=\"shuffles\">\n";
    int not_finite = 0;
    bool all_zero = true, all_whole = true;
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (int i = 0; i < count; i++) {
        double d = distances[i];
        if (!std::isfinite(d)) {
            not_finite++;
            continue;
        }
        if (d != 0.0) all_zero = false;
        if (d != std::floor(d)) all_whole = false;
        low = std::fmin(low, d);
        high = std::fmax(high, d);
    }
    double observed = result.observed_distance;
    std::vector<std::string> message;
    if (count <= 0) {
        message.push_back("No shuffle distances to draw.");
    } else if (not_finite > 0) {
        message.push_back(count_text(not_finite, "shuffle distance is", "shuffle distances are") +
                          " not a finite number:");
        message.push_back("the histogram cannot be drawn.");
    } else if (all_zero && observed == 0.0) {
        if (result.stations <= 0) {
            message.push_back("No stations: every arrangement measures 0,");
        } else {
            message.push_back("Every arrangement measures 0:");
            message.push_back(std::isfinite(result.observed_mean)
                                  ? "the stations are level,"
                                  : "the mean is not a finite number,");
        }
        message.push_back("so there is no patchiness to test.");
    }
    if (!message.empty()) {
        panel_message(svg, SHUFFLES_TOP, SHUFFLES_BOTTOM, message);
        svg += "</g>\n";
        return;
    }

    bool observed_shown = std::isfinite(observed);
    double axis_low = observed_shown ? std::fmin(low, observed) : low;
    double axis_high = observed_shown ? std::fmax(high, observed) : high;
    double spread = high - low;
    double span = axis_high - axis_low;
    double magnitude = std::fmax(std::fabs(axis_low), std::fabs(axis_high));
    if (!std::isfinite(span)) {
        panel_message(svg, SHUFFLES_TOP, SHUFFLES_BOTTOM,
                      {"The distances span more than double precision holds:",
                       "the histogram cannot be drawn."});
        svg += "</g>\n";
        return;
    }
    if (span <= magnitude * 1e-9) {
        // Every distance is the same number (up to rounding): centre it on a readable axis.
        double centre = (axis_low + axis_high) / 2;
        double half = centre != 0.0 ? std::fabs(centre) / 2 : 1.0;
        axis_low = centre - half;
        axis_high = centre + half;
        spread = 0.0;
    }
    Axis axis = nice_axis(axis_low, axis_high, 5);
    if (axis.low < 0.0 && axis_low >= 0.0) axis.low = 0.0;  // distances are never negative

    // Bins follow the spread of the shuffles alone, so a far-off observed distance does not
    // squeeze them into a few bars; whole-number distances get whole-number bins.
    double bin = nearest_nice_number((spread > 0.0 ? spread : axis.high - axis.low) / 30);
    if (all_whole && spread > 0.0 && bin < 1.0) bin = 1.0;
    if (bin < (axis.high - axis.low) / 150) bin = nice_number((axis.high - axis.low) / 150);
    double origin = spread > 0.0 ? std::floor(low / bin) * bin : low - bin / 2;
    size_t bins = static_cast<size_t>(std::floor((high - origin) / bin)) + 1;
    if (bins > 4096) bins = 4096;
    std::vector<int> tally(bins, 0);
    for (int i = 0; i < count; i++) {
        double k = std::floor((distances[i] - origin) / bin);
        size_t index = k <= 0.0 ? 0 : static_cast<size_t>(k);
        tally[index < bins ? index : bins - 1]++;
    }
    int tallest = 1;
    for (int t : tally) tallest = t > tallest ? t : tallest;
    Axis counts = whole_axis(tallest, 4);

    add(svg, "<g id=\"histogram\" fill=\"%s\" stroke=\"#ffffff\" stroke-width=\"0.3\">\n",
        HISTOGRAM_COLOUR);
    for (size_t b = 0; b < bins; b++) {
        if (tally[b] == 0) continue;
        double left = origin + static_cast<double>(b) * bin;
        double x0 = std::fmax(x_of(axis, left), PLOT_LEFT);
        double x1 = std::fmin(x_of(axis, left + bin), PLOT_RIGHT);
        double y = y_of(counts, tally[b], SHUFFLES_TOP, SHUFFLES_BOTTOM);
        add(svg,
            "<rect x=\"%.3f\" y=\"%.3f\" width=\"%.3f\" height=\"%.3f\" data-count=\"%d\"/>\n",
            at(x0), at(y), at(x1 - x0), at(SHUFFLES_BOTTOM - y), tally[b]);
    }
    svg += "</g>\n";
    left_axis(svg, counts, SHUFFLES_TOP, SHUFFLES_BOTTOM, "Shuffles");

    std::vector<double> positions, values;
    std::vector<std::string> labels;
    int exponent = label_exponent(axis);
    for (int k = 0; k <= tick_count(axis); k++) {
        double value = axis.low + k * axis.step;
        positions.push_back(x_of(axis, value));
        values.push_back(value);
        labels.push_back(tick_label(value, axis.step, exponent));
    }
    bottom_axis(svg, SHUFFLES_BOTTOM, positions, values, labels,
                axis_title("Distance to regularity", exponent));

    if (observed_shown) {
        double x = x_of(axis, observed);
        add(svg,
            "<line id=\"observed\" x1=\"%.3f\" y1=\"%.2f\" x2=\"%.3f\" y2=\"%.2f\" stroke=\"%s\" "
            "stroke-width=\"1.4\" data-value=\"%.17g\"/>\n",
            at(x), SHUFFLES_TOP - 4, at(x), SHUFFLES_BOTTOM, MARK_COLOUR, observed);
        bool left_side = x > (PLOT_LEFT + PLOT_RIGHT) / 2;
        text_at(svg, left_side ? x + 2 : x - 2, SHUFFLES_TOP - 6, left_side ? "end" : "start",
                MARK_TEXT, "observed " + value_text(observed));
    } else {
        text_at(svg, PLOT_RIGHT, SHUFFLES_TOP + 8, "end",
                " font-size=\"10\" font-style=\"italic\"",
                "observed distance " + value_text(observed) + ": off the axis");
    }
    svg += "</g>\n";
}

std::string plot_svg(const char* name, const AnalysisResult& result, const float* stations,
                     const double* distances, int distance_count)
{
    std::string svg;
    add(svg,
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"85mm\" height=\"%.0fmm\" "
        "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\" fill=\"%s\">\n",
        HEIGHT / 4, WIDTH, HEIGHT, AXIS_COLOUR);
    std::string title = xml_text(name) + ": " +
                        (result.stations >= 0 ? count_text(result.stations, "station", "stations")
                                              : formatted("station count %.0f", result.stations));
    add(svg, "<title>%s</title>\n", title.c_str());
    add(svg, "<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", WIDTH, HEIGHT);
    text_at(svg, WIDTH / 2, 15, "middle",
            " id=\"figure-title\" font-size=\"12\" font-weight=\"bold\"", title);

    draw_transect(svg, result, stations);

    double line = RESULTS_LINE;
    text_at(svg, PLOT_LEFT, line, "start", " id=\"index\" font-size=\"11\"",
            "Index of patchiness: " + formatted("%.3f", result.index_of_patchiness));
    text_at(svg, PLOT_RIGHT, line, "end", " id=\"probability\" font-size=\"11\"",
            "Probability: " + formatted("%.3f", result.probability));

    draw_shuffles(svg, result, distances, distance_count);
    svg += "</svg>\n";
    return svg;
}
