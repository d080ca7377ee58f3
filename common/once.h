// Process-wide values computed at most once: the first caller computes, callers that
// arrive meanwhile wait for it, later callers return at once. The state is a plain
// zero-initialised global, so it works before and during global construction too.
#pragma once

typedef volatile long once_state;

// True for the one caller that must compute the value and then call once_end; false
// once the value is ready (a caller that raced waits here until then).
bool once_begin(once_state* state);
void once_end(once_state* state);

template <class Compute>
void run_once(once_state* state, Compute compute) {
    if (once_begin(state)) {
        compute();
        once_end(state);
    }
}
