// The service host's string class (see cstring.h). Every buffer is a zero-filled
// global-heap block, so a string never needs its unused bytes cleared; an allocation
// that fails leaves the string as it was instead of writing past its buffer.
#include "cstring.h"

#include <ctype.h>
#include <string.h>
#include <windows.h>

#include "run_once.h"

namespace {

const unsigned kDefaultStep = 64;
const unsigned kDefaultBuffer = 24;
const unsigned kFormatLimit = 1024;   // wvsprintfA never writes more

// wvsprintfA lives in user32.dll, which a service has no other use for. Under Wine,
// loading user32 adds some 30 ms to the start of the process and work to the start and
// end of every thread, so it is loaded at the first formatting, which a normal service
// run never reaches.
typedef int(WINAPI* FormatFunction)(char*, const char*, va_list);
FormatFunction formatFunction;
volatile LONG formatOnce;

FormatFunction windowsFormat() {
    runOnce(formatOnce, [] {
        HMODULE user32 = LoadLibraryA("user32.dll");
        if (user32) formatFunction = reinterpret_cast<FormatFunction>(GetProcAddress(user32, "wvsprintfA"));
    });
    return formatFunction;
}

char* allocZeroed(unsigned bytes) {
    return static_cast<char*>(GlobalAlloc(GPTR, bytes));
}

bool isSpace(char c) {
    return isspace(static_cast<unsigned char>(c)) != 0;
}

}  // namespace

cstring::cstring()
    : text(allocZeroed(kDefaultBuffer)), len(0), capacity(text ? kDefaultBuffer : 0),
      growthStep(kDefaultStep) {}

cstring::cstring(const char* source, int count)
    : text(nullptr), len(0), capacity(0), growthStep(kDefaultStep) {
    if (count < 0) {
        assign(source);
        return;
    }
    text = allocZeroed(unsigned(count) + 1);
    if (text) {
        capacity = unsigned(count) + 1;
        assign(source, count);
    }
}

cstring::cstring(const cstring& other)
    : text(allocZeroed(other.len + 1)), len(0), capacity(text ? other.len + 1 : 0),
      growthStep(other.growthStep) {
    if (text) {
        memcpy(text, other.text, other.len);
        len = other.len;
    }
}

cstring::~cstring() {
    if (text) GlobalFree(text);
}

void cstring::reserve(unsigned bytes) {
    if (bytes <= capacity) return;
    unsigned newCapacity = (bytes / growthStep + 1) * growthStep;
    char* grown = text ? static_cast<char*>(GlobalReAlloc(text, newCapacity, GMEM_MOVEABLE | GMEM_ZEROINIT))
                       : allocZeroed(newCapacity);
    if (!grown) return;
    text = grown;
    capacity = newCapacity;
}

char* cstring::get_buffer(unsigned n) {
    reserve(n + 1);
    return n < capacity ? text : nullptr;
}

unsigned cstring::set_length(unsigned n) {
    if (n < capacity) {
        text[n] = 0;
        len = n;
    }
    return len;
}

void cstring::clear() {
    len = 0;
    if (text) text[0] = 0;
}

const char* cstring::remove_last() {
    if (len) text[--len] = 0;
    return c_str();
}

cstring& cstring::assign(const char* source) {
    assign(source, -1);
    return *this;
}

const char* cstring::assign(const char* source, int count) {
    unsigned n = !source ? 0 : count < 0 ? unsigned(strlen(source)) : unsigned(count);
    reserve(n + 1);
    if (n + 1 > capacity) return c_str();
    memmove(text, source, n);   // the source may lie inside this string
    text[n] = 0;
    len = n;
    return text;
}

cstring& cstring::assign(const cstring& other) {
    if (&other != this) assign(other.text, int(other.len));
    return *this;
}

cstring& cstring::append(const char* more, int count) {
    if (!more) return *this;
    unsigned n = count < 0 ? unsigned(strlen(more)) : unsigned(count);
    // Text taken from this string's own buffer is found again by its offset: growing may
    // move the buffer and free the old one.
    bool own = text && more >= text && more < text + capacity;
    unsigned offset = own ? unsigned(more - text) : 0;
    reserve(len + n + 1);
    if (len + n + 1 > capacity) return *this;
    if (own) more = text + offset;
    memmove(text + len, more, n);
    len += n;
    text[len] = 0;
    return *this;
}

cstring& cstring::append_char(char c) {
    return append(&c, 1);
}

cstring& cstring::vformat(const char* fmt, va_list args) {
    if (!fmt || !strchr(fmt, '%')) return assign(fmt);
    FormatFunction format = windowsFormat();
    char* buffer = format ? allocZeroed(kFormatLimit + 1) : nullptr;
    if (!buffer) return *this;
    format(buffer, fmt, args);
    buffer[kFormatLimit] = 0;
    assign(buffer);
    GlobalFree(buffer);
    return *this;
}

cstring& cstring::format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    vformat(fmt, args);
    va_end(args);
    return *this;
}

cstring& cstring::append_format(const char* fmt, ...) {
    cstring formatted;
    va_list args;
    va_start(args, fmt);
    formatted.vformat(fmt, args);
    va_end(args);
    return append(formatted.c_str(), int(formatted.length()));
}

bool cstring::equals(const char* other) const {
    return strcmp(c_str(), other ? other : "") == 0;
}

bool cstring::equals_nocase(const char* other) const {
    return _stricmp(c_str(), other ? other : "") == 0;
}

bool cstring::starts_with(const char* prefix, bool caseSensitive) const {
    unsigned n = unsigned(strlen(prefix));
    if (n > len) return false;
    return (caseSensitive ? strncmp(text, prefix, n) : _strnicmp(text, prefix, n)) == 0;
}

bool cstring::ends_with(const char* suffix, bool caseSensitive) const {
    unsigned n = unsigned(strlen(suffix));
    if (n > len) return false;
    const char* tail = text + len - n;
    return (caseSensitive ? strcmp(tail, suffix) : _stricmp(tail, suffix)) == 0;
}

bool cstring::contains(const char* part, bool caseSensitive) const {
    unsigned n = unsigned(strlen(part));
    if (n > len) return false;
    if (n == 0) return true;
    int lower = tolower(static_cast<unsigned char>(part[0]));
    int upper = toupper(static_cast<unsigned char>(part[0]));
    for (unsigned i = 0; i + n <= len; i++) {
        int c = static_cast<unsigned char>(text[i]);
        if (c != lower && c != upper) continue;
        if ((caseSensitive ? memcmp(text + i, part, n) : _strnicmp(text + i, part, n)) == 0) return true;
    }
    return false;
}

int cstring::find_char(char c, int from) const {
    if (!len) return -1;
    if (from < 0) from = 0;
    for (unsigned i = unsigned(from); i < len; i++)
        if (text[i] == c) return int(i);
    return -1;
}

int cstring::find(const char* part, int from) const {
    if (!len) return -1;
    if (from < 0) from = 0;
    if (unsigned(from) > len) from = int(len);
    const char* hit = strstr(text + from, part);
    return hit ? int(hit - text) : -1;
}

bool cstring::remove_prefix(const char* prefix, bool caseSensitive) {
    if (!starts_with(prefix, caseSensitive)) return false;
    unsigned n = unsigned(strlen(prefix));
    memmove(text, text + n, len - n + 1);
    len -= n;
    return true;
}

void cstring::trim_right() {
    while (len && isSpace(text[len - 1])) len--;
    if (text) text[len] = 0;
}

void cstring::trim_left() {
    unsigned skip = 0;
    while (skip < len && isSpace(text[skip])) skip++;
    if (!skip) return;
    memmove(text, text + skip, len - skip + 1);
    len -= skip;
}

void cstring::trim() {
    trim_right();
    trim_left();
}

// Stops with one byte left, so a path such as "\" keeps its root.
void cstring::trim_right_chars(const char* set) {
    while (len > 1 && strchr(set, text[len - 1]) && text[len - 1]) len--;
    if (text) text[len] = 0;
}

void cstring::to_lower() {
    for (unsigned i = 0; i < len; i++) text[i] = char(tolower(static_cast<unsigned char>(text[i])));
}

void cstring::to_upper() {
    for (unsigned i = 0; i < len; i++) text[i] = char(toupper(static_cast<unsigned char>(text[i])));
}

char* cstring::next_line(char** cursor, bool skipLeadingSpace) {
    char* end = text + len;
    char* line = *cursor ? *cursor : text;
    if (!text || line < text || line >= end) return nullptr;
    char* feed = static_cast<char*>(memchr(line, '\n', size_t(end - line)));
    if (feed) {
        *feed = 0;
        *cursor = feed + 1;
    } else {
        // A last line without a line feed ends at its first carriage return.
        char* ret = static_cast<char*>(memchr(line, '\r', size_t(end - line)));
        if (ret) *ret = 0;
        *cursor = end;
    }
    if (skipLeadingSpace)
        while (*line && isSpace(*line)) line++;
    return line;
}
