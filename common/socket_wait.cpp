// Waiting for one socket with select: for reading, or for writing and an exceptional
// state; the time-out is split into whole seconds and the rest in microseconds.
#include "socket_wait.h"

#include <winsock2.h>

namespace {

bool wait_socket(uintptr_t socket, int milliseconds, bool forWriting) {
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(SOCKET(socket), &ready);
    FD_SET(SOCKET(socket), &failed);
    timeval limit = {milliseconds / 1000, (milliseconds % 1000) * 1000};
    timeval* timeout = milliseconds < 0 ? nullptr : &limit;
    int reported = forWriting ? select(0, nullptr, &ready, &failed, timeout)
                              : select(0, &ready, nullptr, nullptr, timeout);
    return reported > 0;
}

}  // namespace

bool wait_socket_readable(uintptr_t socket, int milliseconds) {
    return wait_socket(socket, milliseconds, false);
}

bool wait_socket_writable(uintptr_t socket, int milliseconds) {
    return wait_socket(socket, milliseconds, true);
}
