// cstring's printf-style formatting. The output length is estimated from the format
// and its arguments, that much is reserved and the runtime's vsnprintf formats into it.
// The estimate is only a guess (a long %f, a multibyte %S, an unknown conversion): the
// runtime's own count decides whether to grow and format again, so nothing is overrun.
#include "cstring.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

const unsigned long long kCountLimit = 0x7FFFFFFF;
const unsigned long long kMaxLength = 0xFFFFFFFEu;

enum ArgumentSize { kIntSize, kShortSize, kLongSize, kLongLongSize, kPointerSize, kLongDoubleSize };

// The sum of the estimate; whether every conversion was understood, so that every
// argument was seen; and whether a text argument points into the buffer that is about
// to be written.
struct Estimate {
    unsigned long long bytes;
    bool complete;
    bool readsTarget;
    const char* targetBegin;
    const char* targetEnd;

    void add_text(const char* s, bool hasPrecision, unsigned long long precision) {
        if (!s) return;
        bytes += hasPrecision ? strnlen(s, size_t(precision)) : strlen(s);
        if (s >= targetBegin && s < targetEnd) readsTarget = true;
    }
    void add_wide(const wchar_t* s, bool hasPrecision, unsigned long long precision) {
        if (s) bytes += hasPrecision ? wcsnlen(s, size_t(precision)) : wcslen(s);
    }
};

// A width or a precision: digits, or "*" taking the next int argument (its absolute value).
unsigned long long read_count(const char*& p, va_list& args) {
    if (*p == '*') {
        p++;
        long long value = va_arg(args, int);
        return value < 0 ? -value : value;
    }
    unsigned long long value = 0;
    for (; *p >= '0' && *p <= '9'; p++)
        if (value < kCountLimit) value = value * 10 + unsigned(*p - '0');
    return value;
}

ArgumentSize read_size(const char*& p) {
    ArgumentSize size = kIntSize;
    for (;;) {
        if (p[0] == 'I' && p[1] == '6' && p[2] == '4') {
            size = kLongLongSize;
            p += 3;
        } else if (p[0] == 'I' && p[1] == '3' && p[2] == '2') {
            size = kIntSize;
            p += 3;
        } else if (*p == 'I' || *p == 'z' || *p == 't') {
            size = kPointerSize;
            p++;
        } else if (*p == 'j') {   // the runtime knows no "q": that is an unknown conversion
            size = kLongLongSize;
            p++;
        } else if (*p == 'l') {
            size = size == kLongSize ? kLongLongSize : kLongSize;
            p++;
        } else if (*p == 'L') {
            size = kLongDoubleSize;
            p++;
        } else if (*p == 'h') {
            size = kShortSize;
            p++;
        } else {
            return size;
        }
    }
}

// Takes the conversion's argument from the list (by its real type, so the arguments
// after it stay in step) and adds what it contributes. False for a conversion whose
// argument is unknown: the arguments after it cannot be found.
bool take_argument(char conversion, ArgumentSize size, bool hasPrecision, unsigned long long precision,
                   va_list& args, Estimate& estimate) {
    switch (conversion) {
    case 'e': case 'E': case 'f': case 'F': case 'g': case 'G': case 'a': case 'A':
        if (size == kLongDoubleSize) {
            va_arg(args, long double);
        } else {
            va_arg(args, double);
        }
        return true;
    case 's':
    case 'S':
        // %S and %ls are UTF-16, %hS and %s are 8-bit; a wide text adds its units.
        if (conversion == 'S' ? size != kShortSize : size == kLongSize) {
            estimate.add_wide(va_arg(args, const wchar_t*), hasPrecision, precision);
        } else {
            estimate.add_text(va_arg(args, const char*), hasPrecision, precision);
        }
        return true;
    case 'c': case 'C': case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
        if (size == kLongLongSize) {
            va_arg(args, long long);
        } else if (size == kPointerSize) {
            va_arg(args, size_t);
        } else {
            va_arg(args, int);   // long is 32 bits on Windows
        }
        return true;
    case 'p':
    case 'n':
        va_arg(args, void*);
        return true;
    case '%':
        return true;
    default:
        return false;
    }
}

// The format's length plus 1, and per conversion its width and precision, 30 bytes and
// the length of a text argument.
Estimate estimate_length(const char* format, va_list& args, const char* target, unsigned targetSize) {
    Estimate estimate = {strlen(format) + 1, true, false, target, target + targetSize};
    for (const char* p = strchr(format, '%'); p; p = strchr(p, '%')) {
        p++;
        while (*p && strchr("-+ #0", *p)) p++;
        unsigned long long width = read_count(p, args), precision = 0;
        bool hasPrecision = *p == '.';
        if (hasPrecision) {
            p++;
            precision = read_count(p, args);
        }
        estimate.bytes += width + precision + 30;
        ArgumentSize size = read_size(p);
        if (!*p) break;
        if (!take_argument(*p, size, hasPrecision, precision, args, estimate)) {
            // An unknown conversion consumes no argument here and is left to the runtime,
            // which may yet take one for it ("%'d"): the arguments after it cannot be
            // found, so the estimate ends and the runtime's count decides.
            estimate.complete = false;
            break;
        }
        p++;
    }
    return estimate;
}

}  // namespace

// Formats at offset (0: replacing the text, the length: appending). False when the
// runtime reports an encoding error or the room for the output cannot be allocated;
// then the text before offset is kept, and whatever output fitted.
bool cstring::format_at(unsigned offset, const char* fmt, va_list args) {
    if (!fmt || !strchr(fmt, '%')) {
        if (offset == 0) {
            assign(fmt);
        } else {
            append(fmt);
        }
        return true;
    }
    if (owns_pointer(fmt)) {
        // The output would overwrite the format, or free it when the buffer moves.
        cstring copy(fmt);
        return copy.length() && format_at(offset, copy.c_str(), args);
    }
    va_list walk;
    va_copy(walk, args);
    Estimate estimate = estimate_length(fmt, walk, allocated ? text : nullptr, allocated);
    va_end(walk);

    // An argument in this buffer would be overwritten or moved by the output; after an
    // unknown conversion any argument may be. Then the output is made in a string of
    // its own, which starts as the shared empty text: nothing can point into it, so
    // this happens at most once.
    if (estimate.readsTarget || (!estimate.complete && allocated)) {
        cstring output("");
        output.set_growth_step(growthStep);
        if (!output.format_at(0, fmt, args)) return false;
        if (offset == 0) {
            take_buffer(output);
        } else {
            append(output);
        }
        return true;
    }

    unsigned long long room = offset + estimate.bytes + 1;
    if (room > kMaxLength + 1 || !reserve(unsigned(room))) {
        va_list measure;
        va_copy(measure, args);
        int needed = vsnprintf(nullptr, 0, fmt, measure);
        va_end(measure);
        if (needed < 0 || offset + (unsigned long long)needed > kMaxLength) return false;
        if (!reserve(offset + unsigned(needed) + 1)) return false;
    }
    va_list pass;
    va_copy(pass, args);
    int written = vsnprintf(text + offset, allocated - offset, fmt, pass);
    va_end(pass);
    if (written >= 0 && unsigned(written) >= allocated - offset &&
        offset + (unsigned long long)written <= kMaxLength && reserve(offset + unsigned(written) + 1)) {
        va_copy(pass, args);
        written = vsnprintf(text + offset, allocated - offset, fmt, pass);
        va_end(pass);
    }
    if (written < 0) {
        set_end(offset);
        return false;
    }
    set_end(offset + unsigned(strlen(text + offset)));
    return written >= 0 && unsigned(written) < allocated - offset;
}

cstring& cstring::vformat(const char* fmt, va_list args) {
    format_at(0, fmt, args);
    return *this;
}

cstring& cstring::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    format_at(0, fmt, args);
    va_end(args);
    return *this;
}

cstring& cstring::append_format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    format_at(len, fmt, args);
    va_end(args);
    return *this;
}
