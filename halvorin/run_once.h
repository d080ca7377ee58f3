// Once-per-process initialisation without a lock object of its own: a second thread
// that arrives while the first runs the initialisation waits until it has finished.
#pragma once

#include <windows.h>

template <class Init>
void runOnce(volatile LONG& state, Init init) {
    if (InterlockedCompareExchange(&state, 2, 2) == 2) return;
    if (InterlockedCompareExchange(&state, 1, 0) == 0) {
        init();
        InterlockedExchange(&state, 2);
        return;
    }
    while (InterlockedCompareExchange(&state, 2, 2) != 2) Sleep(0);
}
