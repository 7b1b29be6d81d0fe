// The bounds the performance counter exports keep on what PDH and the caller hand them.
#pragma once

#include <stddef.h>

// The number of paths in a multi-string of at most size characters; a list that is not closed
// within size ends at size.
size_t CountMultiStringEntries(const char* list, size_t size);

// The milliseconds of a delay given in seconds, 0 for none; a delay whose milliseconds do not
// fit an int is cut to the longest that does, rather than wrapping to a negative count.
int DelayMilliseconds(int delaySeconds);
