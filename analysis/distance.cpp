// Distance to regularity: greedy transport of surplus to deficit in index order, in linear time.
#include "analysis/analysis.h"

// Same operations, in the same order, as the greedy transport whose every donor scans all
// stations from index 0; only steps that cannot change a bit are left out:
// - A station never returns below the mean once it is not below it: donors are set to the mean,
//   and a receiver only ever gains (the carried amount is always above 0) or turns NaN
//   (-inf + +inf). So every station before `open` stays out of every later scan, and each scan
//   may begin at `open`.
// - Once a receiver is not filled past the mean, the carried amount is 0, and the rest of a full
//   scan would add d * (+0) to the total (never -0, so the total keeps its bits, NaN and
//   infinities included) and rewrite each receiver as 0 + itself, which keeps its bits except
//   that -0 would become +0. So the scan ends there, and that receiver is where the next begins.
// - d is below 2^24, so its double and its single-precision copy are the same exact number.
// Each station is passed by the scans once, plus once per donor: the cost grows linearly.
double distance_to_regularity(float* stations, float mean)
{
    double total = 0.0;
    const int32_t count = station_count;
    if (count <= 0) return total;
    const double m = mean;
    int32_t open = 0;  // every station before it is at or above the mean (or NaN) for good
    for (int32_t i = 0; i < count; i++) {
        if (!(stations[i] > mean)) continue;  // false for every station when the mean is NaN
        double carried = static_cast<double>(stations[i]) - m;
        stations[i] = mean;
        int32_t j = open;
        for (; j < count; j++) {
            if (!(stations[j] < mean)) continue;
            const double steps = static_cast<double>(i > j ? i - j : j - i);
            total = total + steps * carried;
            const float filled = static_cast<float>(carried + static_cast<double>(stations[j]));
            if (!(filled > mean)) {
                stations[j] = filled;
                break;
            }
            // Book the whole carried amount, then take back the overflow: two products,
            // each rounded, never one product of the amount actually delivered.
            const double overflow = static_cast<double>(filled) - m;
            stations[j] = mean;
            total = total - overflow * steps;
            carried = overflow;
        }
        open = j;
    }
    return total;
}
