// CVelmorException, the utility library's one exception type: a code naming the throw
// site, state bits for whoever handles it, and the full message. It is thrown as a
// pointer to a heap object (throw new CVelmorException(...)); the catcher deletes it.
#pragma once

#include <stdarg.h>

#include "cstring.h"

class CVelmorException {
public:
    // State bits, set by the code that handles the exception; a new message clears them.
    static const unsigned kLogged = 0x1;   // the message has been written to a log
    static const unsigned kShown = 0x2;    // the message has been shown to the user

    CVelmorException();
    // The message is the formatted text, preceded by "Error <code>: " unless code is 0.
    CVelmorException(int code, const char* format, ...) CSTRING_PRINTF(3, 4);
    CVelmorException(const CVelmorException& other) = default;
    CVelmorException& operator=(const CVelmorException& other) = default;

    // The same with an OS error code (0: none) and its system text appended.
    static CVelmorException* for_os_error(int code, unsigned long osError, const char* format, ...)
        CSTRING_PRINTF(3, 4);
    static CVelmorException* for_last_error(int code, const char* format, ...) CSTRING_PRINTF(2, 3);
    static CVelmorException* for_socket_error(int code, const char* format, ...) CSTRING_PRINTF(2, 3);

    void set_message(int code, const char* format, ...) CSTRING_PRINTF(3, 4);
    void set_message_v(int code, unsigned long osError, const char* format, va_list args);

    int code() const { return errorCode; }
    const char* message() const { return messageText.c_str(); }
    unsigned state() const { return stateBits; }
    void set_state(unsigned bits) { stateBits |= bits; }
    bool has_state(unsigned bits) const { return (stateBits & bits) != 0; }
    // Copies the message into buffer, cut to size - 1 bytes and terminated; returns the
    // number of bytes copied.
    int copy_message(char* buffer, int size) const;

private:
    static CVelmorException* make(int code, unsigned long osError, const char* format, va_list args);

    int errorCode;
    unsigned stateBits;
    cstring messageText;
};
