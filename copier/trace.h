// An optional timing trace, for finding out where the time of a copy goes.
// Off unless the environment variable KOPIWA_TRACE names a file when the
// program starts; then every event appends one line "<milliseconds> <event>"
// to that file, counted from the first event with three decimals. Costs one test of a flag when off.
#pragma once

void TraceEvent(const char* event);
