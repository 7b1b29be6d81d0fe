// The bounds the performance counter exports keep on what PDH and the caller hand them.
#pragma once

#include <stddef.h>

// The number of paths in a multi-string of at most size characters; a list that is not closed
// within size ends at size.
size_t CountMultiStringEntries(const char* list, size_t size);

// Where the path after the one at offset starts, in a multi-string of at most size characters:
// size when that path is not terminated within them.
size_t NextMultiStringEntry(const char* list, size_t size, size_t offset);

// The milliseconds of a delay given in seconds, 0 for none; a delay whose milliseconds do not
// fit an int is cut to the longest that does, rather than wrapping to a negative count.
int DelayMilliseconds(int delaySeconds);
