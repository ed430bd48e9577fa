// Engine-internal entry to the station file grammar over bytes in memory, for tests and fuzzing.
#ifndef VELTRASS_STATION_READER_H
#define VELTRASS_STATION_READER_H

#include <cstddef>

enum ReadOutcome {
    READ_OK,
    READ_CANNOT_OPEN,
    READ_NO_COUNT,
    READ_TOO_MANY
};

// The warning text that belongs to a failed outcome ("" for READ_OK).
const char* read_outcome_text(ReadOutcome outcome);

// Applies the station file grammar to `size` bytes at `data` exactly as read_station_file does to
// a file: sets `station_count` and the entries of `work_stations` (cleared by the caller) and
// stores the mean in `*mean` on READ_OK. Never shows a warning and never exits.
ReadOutcome read_station_bytes(const unsigned char* data, size_t size, double* mean);

#endif
