// cstring storage and its everyday operations: construction, the growth policy,
// assigning and appending, comparisons and searches, and in-place editing.
// Every write goes through reserve, so the shared read-only empty text is never written.
#include "cstring.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

namespace {

const unsigned kDefaultStep = 64;
const unsigned kDefaultBuffer = 24;
const size_t kMaxLength = 0xFFFFFFFEu;   // the length and its terminator fit 32 bits

// Lives in a read-only section: a stray write faults instead of corrupting every
// empty string.
const char sharedEmpty[1] = {0};

char* shared_empty() {
    return const_cast<char*>(sharedEmpty);
}

size_t text_length(const char* text, int count) {
    if (!text) return 0;
    return count < 0 ? strlen(text) : size_t(count);
}

unsigned char lower_byte(char c) {
    return static_cast<unsigned char>(tolower(static_cast<unsigned char>(c)));
}

unsigned char upper_byte(char c) {
    return static_cast<unsigned char>(toupper(static_cast<unsigned char>(c)));
}

// The runtime's case-insensitive order: both bytes through tolower, compared unsigned,
// up to n bytes or a terminator. Wine's _stricmp orders bytes above 0x7F as signed,
// below the ASCII letters, which Windows does not; this gives one order on both.
int compare_nocase_n(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; i++) {
        unsigned char x = lower_byte(a[i]), y = lower_byte(b[i]);
        if (x != y) return x < y ? -1 : 1;
        if (!x) break;
    }
    return 0;
}

// Exact order by unsigned bytes, whatever the runtime's strcmp does with their sign.
int compare_exact(const char* a, const char* b) {
    for (;; a++, b++) {
        unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
        if (x != y) return x < y ? -1 : 1;
        if (!x) return 0;
    }
}

int compare_nocase_all(const char* a, const char* b) {
    return compare_nocase_n(a, b ? b : "", size_t(-1));
}

}  // namespace

bool cstring::is_whitespace(char c) {
    return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' ';
}

cstring::cstring()
    : text(static_cast<char*>(malloc(kDefaultBuffer))), len(0), allocated(kDefaultBuffer),
      growthStep(kDefaultStep), wideCopy(nullptr) {
    if (text) {
        text[0] = 0;
    } else {
        text = shared_empty();
        allocated = 0;
    }
}

cstring::cstring(const char* source, int count)
    : text(shared_empty()), len(0), allocated(0), growthStep(kDefaultStep), wideCopy(nullptr) {
    size_t n = text_length(source, count);
    if (n == 0 || n > kMaxLength) return;
    if (count < 0) {
        assign(source, count);
        return;
    }
    char* exact = static_cast<char*>(malloc(n + 1));
    if (!exact) return;
    memcpy(exact, source, n);
    text = exact;
    allocated = unsigned(n + 1);
    set_end(unsigned(n));
}

cstring::cstring(formatted_t, const char* fmt, ...)
    : text(shared_empty()), len(0), allocated(0), growthStep(kDefaultStep), wideCopy(nullptr) {
    va_list args;
    va_start(args, fmt);
    format_at(0, fmt, args);
    va_end(args);
}

cstring::cstring(const cstring& other)
    : text(static_cast<char*>(malloc(size_t(other.len) + 1))), len(0), allocated(other.len + 1),
      growthStep(other.growthStep), wideCopy(nullptr) {
    if (!text) {
        text = shared_empty();
        allocated = 0;
        return;
    }
    memcpy(text, other.text, other.len);
    set_end(other.len);
}

cstring::~cstring() {
    if (allocated) free(text);
    free(wideCopy);
}

void cstring::set_end(unsigned n) {
    text[n] = 0;
    len = n;
}

void cstring::take_buffer(cstring& other) {
    char* ownText = text;
    unsigned ownLength = len, ownAllocated = allocated;
    text = other.text;
    len = other.len;
    allocated = other.allocated;
    other.text = ownText;
    other.len = ownLength;
    other.allocated = ownAllocated;
}

void cstring::set_growth_step(unsigned step) {
    if (step) growthStep = step;
}

bool cstring::reserve(unsigned bytes) {
    if (bytes <= allocated) return true;
    unsigned long long wanted = (unsigned long long)(bytes / growthStep + 1) * growthStep;
    if (wanted > 0xFFFFFFFFull) wanted = bytes;
    char* grown = static_cast<char*>(allocated ? realloc(text, size_t(wanted)) : malloc(size_t(wanted)));
    if (!grown) return false;
    if (!allocated) memcpy(grown, text, size_t(len) + 1);   // the shared empty text
    text = grown;
    allocated = unsigned(wanted);
    return true;
}

char* cstring::get_buffer(unsigned n) {
    if (n > kMaxLength || !reserve(n + 1)) return nullptr;
    return text;
}

unsigned cstring::set_length(unsigned n) {
    if (n < allocated) set_end(n);
    return len;
}

void cstring::clear() {
    len = 0;
    if (allocated) text[0] = 0;
}

// A byte other than 0 at the terminator's place would leave the text unterminated.
void cstring::set_char_at(unsigned i, char c) {
    if (i < len || (i == len && c == 0 && allocated)) text[i] = c;
}

const char* cstring::remove_last() {
    if (len) set_end(len - 1);
    return text;
}

cstring& cstring::assign(const char* source) {
    assign(source, -1);
    return *this;
}

const char* cstring::assign(const char* source, int count) {
    size_t n = text_length(source, count);
    if (n == 0) {
        clear();
        return text;
    }
    // A source inside this string lies within the current length, so no reallocation
    // moves it; memmove copes with the overlap.
    if (n > kMaxLength || !reserve(unsigned(n) + 1)) return text;
    memmove(text, source, n);
    set_end(unsigned(n));
    return text;
}

cstring& cstring::assign_range(const char* source, int start, int end) {
    if (!source || start < 0 || end < start) {
        clear();
        return *this;
    }
    assign(source + start, end - start);
    return *this;
}

cstring& cstring::assign(const cstring& other) {
    if (&other != this) assign(other.text, int(other.len));
    return *this;
}

cstring& cstring::append(const char* more, int count) {
    size_t n = text_length(more, count);
    if (n == 0 || n > kMaxLength - len) return *this;
    // Appending part of itself: the source moves with the buffer.
    size_t ownOffset = owns_pointer(more) ? size_t(more - text) : size_t(-1);
    if (!reserve(unsigned(len + n + 1))) return *this;
    if (ownOffset != size_t(-1)) more = text + ownOffset;
    memmove(text + len, more, n);
    set_end(unsigned(len + n));
    return *this;
}

cstring& cstring::append_char(char c) {
    if (len < kMaxLength && reserve(len + 2)) {
        text[len] = c;
        set_end(len + 1);
    }
    return *this;
}

bool cstring::equals(const char* other) const {
    return strcmp(text, other ? other : "") == 0;
}

bool cstring::equals_nocase(const char* other) const {
    return compare_nocase_all(text, other) == 0;
}

int cstring::compare(const char* other) const {
    return compare_exact(text, other ? other : "");
}

int cstring::compare_nocase(const char* other) const {
    return compare_nocase_all(text, other);
}

bool cstring::starts_with(const char* prefix, bool caseSensitive) const {
    size_t n = text_length(prefix, -1);
    if (n > len) return false;
    return (caseSensitive ? memcmp(text, prefix, n) : compare_nocase_n(text, prefix, n)) == 0;
}

bool cstring::ends_with(const char* suffix, bool caseSensitive) const {
    size_t n = text_length(suffix, -1);
    if (n > len) return false;
    const char* tail = text + len - n;
    return (caseSensitive ? memcmp(tail, suffix, n) : compare_nocase_n(tail, suffix, n)) == 0;
}

bool cstring::contains(const char* part, bool caseSensitive) const {
    size_t n = text_length(part, -1);
    if (n > len) return false;
    if (n == 0) return true;
    unsigned char lower = lower_byte(part[0]), upper = upper_byte(part[0]);
    for (size_t i = 0; i + n <= len; i++) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c != lower && c != upper) continue;
        if ((caseSensitive ? memcmp(text + i, part, n) : compare_nocase_n(text + i, part, n)) == 0) return true;
    }
    return false;
}

bool cstring::contains_any_of(const char* set) const {
    if (!set || !*set) return false;
    for (unsigned i = 0; i < len; i++)
        if (text[i] && strchr(set, text[i])) return true;
    return false;
}

int cstring::find_char(char c, int from) const {
    if (!len) return -1;
    for (unsigned i = from < 0 ? 0 : unsigned(from); i < len; i++)
        if (text[i] == c) return int(i);
    return -1;
}

int cstring::find(const char* part, int from) const {
    if (!len || !part) return -1;
    unsigned start = from < 0 ? 0 : unsigned(from) > len ? len : unsigned(from);
    const char* hit = strstr(text + start, part);
    return hit ? int(hit - text) : -1;
}

int cstring::index_in_list(const char* list, int defaultIndex, bool caseSensitive) const {
    if (!list) return defaultIndex;
    for (int index = 0; *list; index++) {
        if ((caseSensitive ? strcmp(text, list) : compare_nocase_all(text, list)) == 0) return index;
        list += strlen(list) + 1;
    }
    return defaultIndex;
}

bool cstring::remove_prefix(const char* prefix, bool caseSensitive) {
    if (!starts_with(prefix, caseSensitive)) return false;
    unsigned n = unsigned(text_length(prefix, -1));
    if (n) {
        memmove(text, text + n, len - n);
        set_end(len - n);
    }
    return true;
}

bool cstring::replace_range(int position, int count, const char* replacement) {
    if (position < 0 || count < 0 || unsigned(position) > len || unsigned(count) > len - unsigned(position))
        return false;
    if (owns_pointer(replacement)) {
        cstring copy(replacement);   // the text moves while it is edited
        return replace_range(position, count, copy.c_str());
    }
    size_t n = text_length(replacement, -1);
    if (n == 0 && count == 0) return true;
    size_t newLength = size_t(len) - unsigned(count) + n;
    if (newLength > kMaxLength || !reserve(unsigned(newLength) + 1)) return false;
    unsigned tail = unsigned(position) + unsigned(count);
    memmove(text + position + n, text + tail, len - tail);
    memcpy(text + position, replacement, n);
    set_end(unsigned(newLength));
    return true;
}

// One pass into a new buffer; the search goes on after each match in the original
// text, which is where it would go on after the inserted replacement.
int cstring::replace_all(const char* find, const char* replacement) {
    size_t findLength = text_length(find, -1);
    if (findLength == 0 || len == 0) return 0;
    cstring result("");
    result.set_growth_step(growthStep);
    int replaced = 0;
    const char* rest = text;
    for (const char* hit; (hit = strstr(rest, find)) != nullptr; rest = hit + findLength) {
        result.append(rest, int(hit - rest));
        result.append(replacement);
        replaced++;
    }
    if (!replaced) return 0;
    result.append(rest, int(text + len - rest));
    take_buffer(result);
    return replaced;
}

int cstring::replace_char(char from, char to) {
    int replaced = 0;
    for (unsigned i = 0; i < len; i++) {
        if (text[i] != from) continue;
        text[i] = to;
        replaced++;
    }
    return replaced;
}

int cstring::translate(const char* fromSet, const char* toSet) {
    if (!fromSet || !*fromSet || !len) return 0;
    size_t toLength = text_length(toSet, -1);
    unsigned kept = 0;
    int deleted = 0;
    for (unsigned i = 0; i < len; i++) {
        const char* found = text[i] ? strchr(fromSet, text[i]) : nullptr;
        if (!found) {
            text[kept++] = text[i];
            continue;
        }
        size_t k = size_t(found - fromSet);
        if (k < toLength) {
            text[kept++] = toSet[k];
        } else {
            deleted++;
        }
    }
    set_end(kept);
    return deleted;
}

void cstring::trim_right() {
    unsigned n = len;
    while (n && is_whitespace(text[n - 1])) n--;
    if (n != len) set_end(n);
}

void cstring::trim_left() {
    unsigned skip = 0;
    while (skip < len && is_whitespace(text[skip])) skip++;
    if (!skip) return;
    memmove(text, text + skip, len - skip);
    set_end(len - skip);
}

void cstring::trim() {
    trim_right();
    trim_left();
}

void cstring::trim_right_chars(const char* set) {
    if (!set) return;
    unsigned n = len;
    while (n && text[n - 1] && strchr(set, text[n - 1])) n--;
    if (n != len) set_end(n);
}

void cstring::to_lower() {
    for (unsigned i = 0; i < len; i++) text[i] = char(lower_byte(text[i]));
}

void cstring::to_upper() {
    for (unsigned i = 0; i < len; i++) text[i] = char(upper_byte(text[i]));
}

int cstring::to_crlf() {
    int feeds = 0;
    for (unsigned i = 0; i < len; i++)
        if (text[i] == '\n') feeds++;
    if (!feeds) return 1;
    cstring result("");
    if (!result.reserve(unsigned(len + feeds + 1))) return feeds + 1;
    unsigned lineStart = 0;
    for (unsigned i = 0; i < len; i++) {
        if (text[i] != '\n') continue;
        unsigned lineEnd = i;
        while (lineEnd > lineStart && text[lineEnd - 1] == '\r') lineEnd--;
        result.append(text + lineStart, int(lineEnd - lineStart));
        result.append("\r\n", 2);
        lineStart = i + 1;
    }
    result.append(text + lineStart, int(len - lineStart));
    take_buffer(result);
    return feeds + 1;
}
