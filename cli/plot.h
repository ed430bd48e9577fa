// The figure of one analysis: the transect and the shuffle distances, as a self-contained SVG.
#ifndef VELTRASS_CLI_PLOT_H
#define VELTRASS_CLI_PLOT_H

#include "analysis/analysis.h"

#include <string>

// Returns the SVG document that shows `result` of the station file named `name` (shown in the
// title as given): the `result.stations` values at `stations` as bars with their mean, and the
// `distance_count` shuffle distances at `distances` as a histogram with the observed distance
// marked. Degenerate or non-finite input gives a figure that says what happened; every
// coordinate in the document is a finite number.
std::string plot_svg(const char* name, const AnalysisResult& result, const float* stations,
                     const double* distances, int distance_count);

#endif
