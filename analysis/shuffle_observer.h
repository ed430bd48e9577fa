// Engine-internal side of the shuffle observer: run_analysis reports each shuffle's distance here.
#ifndef VELTRASS_SHUFFLE_OBSERVER_H
#define VELTRASS_SHUFFLE_OBSERVER_H

// Passes `distance` to the registered observer, if there is one; does nothing otherwise.
void report_shuffle_distance(double distance);

#endif
