// Process-wide values computed at most once, with a three-state flag changed by
// interlocked operations (XP has no InitOnceExecuteOnce).
#include "once.h"

#include <windows.h>

namespace {

const LONG kNotStarted = 0;
const LONG kRunning = 1;
const LONG kDone = 2;

}  // namespace

bool once_begin(once_state* state) {
    for (unsigned spins = 0;; spins++) {
        LONG seen = InterlockedCompareExchange(state, kRunning, kNotStarted);
        if (seen == kNotStarted) return true;
        if (seen == kDone) return false;
        // Another thread is computing: yield, and sleep once spinning lasts, so that a
        // computing thread of lower priority gets the processor.
        Sleep(spins < 64 ? 0 : 1);
    }
}

void once_end(once_state* state) {
    InterlockedExchange(state, kDone);
}
