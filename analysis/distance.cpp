// Distance to regularity: greedy transport of surplus to deficit in index order.
#include "analysis/analysis.h"

double distance_to_regularity(float* stations, float mean)
{
    double total = 0.0;
    if (station_count <= 0) return total;
    const double m = mean;
    for (int32_t i = 0; i < station_count; i++) {
        if (!(stations[i] > mean)) continue;  // false for every station when the mean is NaN
        double carried = static_cast<double>(stations[i]) - m;
        stations[i] = mean;
        for (int32_t j = 0; j < station_count; j++) {
            if (!(stations[j] < mean)) continue;
            int32_t steps = i > j ? i - j : j - i;
            total = total + static_cast<double>(steps) * carried;
            float filled = static_cast<float>(carried + static_cast<double>(stations[j]));
            stations[j] = filled;
            if (filled > mean) {
                // Book the whole carried amount, then take back the overflow: two products,
                // each rounded, never one product of the amount actually delivered.
                double overflow = static_cast<double>(filled) - m;
                stations[j] = mean;
                total = total - overflow * static_cast<double>(static_cast<float>(steps));
                carried = overflow;
            } else {
                carried = 0.0;
            }
        }
    }
    return total;
}
