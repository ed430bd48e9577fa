// Distance to regularity: greedy transport of surplus to deficit in index order, in linear time.
#include "analysis/analysis.h"

#include <cstdlib>

// Scratch for one call: the indices of the donors and of the receivers, in index order.
static int32_t donors[MAX_STATIONS];
static int32_t receivers[MAX_STATIONS];

// The same operations on the total and the stations, in the same order, as the greedy transport
// in which every donor scans all stations from index 0; only steps that cannot change a bit are
// left out, so the result is the same double and the array the same, signs of zero aside:
// - Which stations are donors and which are receivers is settled by the arrangement as passed:
//   no scan touches a station above the mean, so it is still a donor when the donor loop comes
//   to it, and a receiver never rises above the mean (an overflow sets it to the mean). So both
//   are listed in one pass before the transport.
// - A receiver only gains, since the carried amount is always above 0 (or turns NaN, as
//   -inf + +inf), so once it is not below the mean no later scan stops at it: receivers are
//   filled strictly in index order, and each donor begins at the first one still open.
// - Once a receiver is not filled past the mean the carried amount is 0, and the rest of a full
//   scan would add d * (+0) to the total (never -0, so the total keeps its bits, NaN and
//   infinities included) and rewrite each receiver as 0 + itself, which keeps its bits except
//   that -0 would become +0. So the donor's scan ends there.
// - Surplus still carried after the last receiver is dropped, as at the end of a full scan; the
//   donors left then are only set to the mean.
// - d is below 2^24, so its double and its single-precision copy are the same exact number.
// Every receiver is visited once, plus once more per donor that ends on it: linear cost.
double distance_to_regularity(float* stations, float mean)
{
    double total = 0.0;
    const int32_t count = station_count;
    if (count <= 0) return total;
    const double m = mean;
    int32_t donor_count = 0;
    int32_t receiver_count = 0;
    for (int32_t s = 0; s < count; s++) {  // without a branch, which the data would make random
        const float value = stations[s];
        donors[donor_count] = s;
        donor_count += value > mean;  // false for every station when the mean is NaN
        receivers[receiver_count] = s;
        receiver_count += value < mean;
    }
    int32_t d = 0;
    int32_t r = 0;
    for (; d < donor_count && r < receiver_count; d++) {
        const int32_t i = donors[d];
        double carried = static_cast<double>(stations[i]) - m;
        stations[i] = mean;
        for (;;) {
            const int32_t j = receivers[r];
            const double steps = static_cast<double>(std::abs(i - j));
            total = total + steps * carried;
            const float filled = static_cast<float>(carried + static_cast<double>(stations[j]));
            if (!(filled > mean)) {
                stations[j] = filled;
                r += !(filled < mean);  // filled exactly (or NaN): the next donor starts beyond it
                break;
            }
            // Book the whole carried amount, then take back the overflow: two products,
            // each rounded, never one product of the amount actually delivered.
            const double overflow = static_cast<double>(filled) - m;
            stations[j] = mean;
            total = total - overflow * steps;
            carried = overflow;
            if (++r == receiver_count) break;
        }
    }
    for (; d < donor_count; d++) stations[donors[d]] = mean;
    return total;
}
