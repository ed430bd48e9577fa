// Engine-internal access to the platform seams: the read-error warning and the calendar clock.
#ifndef VELTRASS_SEAMS_H
#define VELTRASS_SEAMS_H

#include <cstdint>

// Shows `text` under the caption "uh oh..." through the warning seam, then exits with status 1.
[[noreturn]] void warn_and_exit(const char* text);

// Whole seconds since 1970-01-01 00:00:00 UTC, from the clock seam.
int64_t calendar_seconds();

#endif
