// Waiting for one socket to become readable or writable, with a time-out in
// milliseconds (negative: no time-out). The socket is a Winsock SOCKET.
#pragma once

#include <stdint.h>

// True when the socket is reported ready; false on time-out or failure.
bool wait_socket_readable(uintptr_t socket, int milliseconds);
// Writable, or in an exceptional state (a failed non-blocking connect is reported so).
bool wait_socket_writable(uintptr_t socket, int milliseconds);
