// CVelmorException: building its message from the caller's format, the code and an
// optional OS error with the system's text for it.
#include "exception.h"

#include <winsock2.h>
#include <windows.h>

#include "os_error.h"
#include "text_utils.h"

CVelmorException::CVelmorException() : errorCode(0), stateBits(0), messageText("") {}

CVelmorException::CVelmorException(int code, const char* format, ...) : errorCode(0), stateBits(0), messageText("") {
    va_list args;
    va_start(args, format);
    set_message_v(code, 0, format, args);
    va_end(args);
}

CVelmorException* CVelmorException::make(int code, unsigned long osError, const char* format, va_list args) {
    CVelmorException* error = new CVelmorException();
    error->set_message_v(code, osError, format, args);
    return error;
}

CVelmorException* CVelmorException::for_os_error(int code, unsigned long osError, const char* format, ...) {
    va_list args;
    va_start(args, format);
    CVelmorException* error = make(code, osError, format, args);
    va_end(args);
    return error;
}

// The last error is read first: formatting the message may change it.
CVelmorException* CVelmorException::for_last_error(int code, const char* format, ...) {
    DWORD osError = GetLastError();
    va_list args;
    va_start(args, format);
    CVelmorException* error = make(code, osError, format, args);
    va_end(args);
    return error;
}

CVelmorException* CVelmorException::for_socket_error(int code, const char* format, ...) {
    int socketError = WSAGetLastError();
    va_list args;
    va_start(args, format);
    CVelmorException* error = make(code, unsigned(socketError), format, args);
    va_end(args);
    return error;
}

void CVelmorException::set_message(int code, const char* format, ...) {
    va_list args;
    va_start(args, format);
    set_message_v(code, 0, format, args);
    va_end(args);
}

void CVelmorException::set_message_v(int code, unsigned long osError, const char* format, va_list args) {
    errorCode = code;
    stateBits = 0;
    cstring text("");
    text.vformat(format, args);
    if (osError) {
        cstring systemText;
        cstring withOsError(cstring::formatted, "%s\nOS Error %d: %s", text.c_str(), int(osError),
                            os_error_text(osError, systemText));
        text.assign(withOsError);
    }
    if (code) {
        messageText.format("Error %d: %s", code, text.c_str());
    } else {
        messageText.assign(text);
    }
}

int CVelmorException::copy_message(char* buffer, int size) const {
    return copy_truncated(messageText.c_str(), buffer, size);
}
