// cstring's readers and encoders: the token reader with double quotes and backslash
// escapes, the pattern scanner, splitting into a cstring_array, name <address> pairs,
// the line reader, and URL encoding and decoding.
#include "cstring.h"

#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "cstring_array.h"

namespace {

const char kScanSeparators[] = "=:;,|!/-";

// What ends an unquoted token, and a quoted one before its closing quote.
struct Delimiters {
    char single;
    const char* set;

    bool stop(char c) const { return c && (c == single || (set && strchr(set, c))); }
};

const char* skip_whitespace(const char* p) {
    while (*p && cstring::is_whitespace(*p)) p++;
    return p;
}

bool is_ascii_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

char unescaped(char c) {
    return c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c;
}

const char* read_token(cstring& out, const char* p, const Delimiters& delimiters, bool stopAtWhitespace) {
    out.clear();
    if (!p) return p;
    if (*p == '"') {
        for (p++; *p && *p != '"' && !delimiters.stop(*p); p++) {
            // A backslash at the very end has nothing to escape and stays as it is.
            if (*p == '\\' && p[1]) {
                p++;
                out.append_char(unescaped(*p));
            } else {
                out.append_char(*p);
            }
        }
        return *p == '"' ? p + 1 : p;
    }
    const char* start = p;
    while (*p && !delimiters.stop(*p) && !(stopAtWhitespace && cstring::is_whitespace(*p))) p++;
    out.append(start, int(p - start));
    return p;
}

// The next "i" item: the bytes up to whitespace or the delimiter, as a decimal number.
const char* read_number(const char* p, char delimiter, int* out) {
    const char* start = p;
    while (*p && !cstring::is_whitespace(*p) && *p != delimiter) p++;
    if (out) *out = atoi(cstring(start, int(p - start)).c_str());
    return p;
}

}  // namespace

// Reading this string's own text into itself works on a copy, since the output is
// cleared and may move; the returned position is then the same offset into this text.
const char* cstring::parse_token(const char* input, char delimiter, bool stopAtWhitespace) {
    Delimiters delimiters = {delimiter, nullptr};
    if (!owns_pointer(input)) return read_token(*this, input, delimiters, stopAtWhitespace);
    cstring copy(input);
    return input + (read_token(*this, copy.c_str(), delimiters, stopAtWhitespace) - copy.c_str());
}

const char* cstring::parse_token_in_set(const char* input, const char* set, bool stopAtWhitespace) {
    Delimiters delimiters = {0, set};
    if (!owns_pointer(input)) return read_token(*this, input, delimiters, stopAtWhitespace);
    cstring copy(input);
    return input + (read_token(*this, copy.c_str(), delimiters, stopAtWhitespace) - copy.c_str());
}

int cstring::scan(const char* pattern, ...) const {
    va_list outputs;
    va_start(outputs, pattern);
    int items = vscan(text, pattern, outputs);
    va_end(outputs);
    return items;
}

int cstring::scan_text(const char* source, const char* pattern, ...) {
    va_list outputs;
    va_start(outputs, pattern);
    int items = vscan(source, pattern, outputs);
    va_end(outputs);
    return items;
}

int cstring::vscan(const char* source, const char* pattern, va_list outputs) {
    if (!source || !pattern) return 0;
    cstring input(source);   // an output may be the string that holds the text
    const char* p = input.c_str();
    int items = 0;
    for (const char* item = pattern; *item; item++) {
        p = skip_whitespace(p);
        if (!*p) break;
        char delimiter = item[1] && !is_ascii_letter(item[1]) ? item[1] : 0;
        if (*item == 's' || *item == 'S' || *item == '*') {
            cstring* out = va_arg(outputs, cstring*);
            cstring ignored("");
            cstring& target = out ? *out : ignored;
            if (*item == 's') {
                p = target.parse_token(p, delimiter, true);
            } else if (*item == 'S') {
                p = target.parse_token(p, delimiter, false);
            } else {
                target.assign(p);
                p += strlen(p);
            }
            if (*item != 's') target.trim_right();
            if (out) items++;
        } else if (*item == 'i') {
            int* out = va_arg(outputs, int*);
            p = read_number(p, delimiter, out);
            if (out) items++;
        } else if (strchr(kScanSeparators, *item)) {
            if (*p != *item) break;
            p++;
            items++;
        }
    }
    return items;
}

int cstring::split_into(cstring_array& array, const char* separators) const {
    cstring source(*this);   // this string may be one of the array's entries
    array.clear();
    bool bySet = separators && *separators;
    const char* p = source.c_str();
    for (;;) {
        if (bySet) {
            while (*p && strchr(separators, *p)) p++;
        } else {
            p = skip_whitespace(p);
        }
        if (!*p) break;
        cstring* token = array.add("");
        if (!token) break;
        p = bySet ? token->parse_token_in_set(p, separators, false) : token->parse_token(p, 0, true);
    }
    return array.count();
}

bool cstring::split_name_address(cstring& name, cstring& address) const {
    cstring source(*this);   // either output may be this string
    const char* p = skip_whitespace(source.c_str());
    name.clear();
    address.clear();
    if (strchr(p, '<')) {
        p = name.parse_token(p, '<', false);
        name.trim_right();
    } else if (strchr(p, ' ')) {
        const char* start = p;
        while (*p && !is_whitespace(*p)) p++;
        name.assign(start, int(p - start));
    }
    p = skip_whitespace(p);
    if (*p == '<') p++;
    p = skip_whitespace(p);
    const char* end = strrchr(p, '>');
    address.assign(p, int(end ? end - p : strlen(p)));
    address.trim_right();
    return true;
}

char* cstring::next_line(char** cursor, bool skipLeadingWhitespace) {
    if (!cursor) return nullptr;
    char* end = text + len;
    char* line = *cursor ? *cursor : text;
    if (line < text || line >= end) return nullptr;
    char* feed = static_cast<char*>(memchr(line, '\n', size_t(end - line)));
    if (feed) {
        *feed = 0;
        *cursor = feed + 1;
    } else {
        *cursor = end;
    }
    // Whitespace includes NUL, but the skip must stop at the line's own terminator.
    if (skipLeadingWhitespace) line = const_cast<char*>(skip_whitespace(line));
    return line;
}

void cstring::url_encode(cstring& output) const {
    static const char hexDigits[] = "0123456789abcdef";
    cstring encoded("");
    encoded.reserve(len + 1);
    for (unsigned i = 0; i < len; i++) {
        char c = text[i];
        if (c == ' ') {
            encoded.append_char('+');
        } else if (is_ascii_letter(c) || (c >= '0' && c <= '9') || c == '.' || c == '_' || c == ',') {
            encoded.append_char(c);
        } else {
            unsigned char byte = static_cast<unsigned char>(c);
            char escape[3] = {'%', hexDigits[byte >> 4], hexDigits[byte & 15]};
            encoded.append(escape, 3);
        }
    }
    output.take_buffer(encoded);
}

// An escape cut short by the end of the text is dropped; a "%" not followed by two
// hexadecimal digits is kept as it stands.
void cstring::url_decode(cstring& output) const {
    cstring decoded("");
    decoded.reserve(len + 1);
    for (unsigned i = 0; i < len; i++) {
        char c = text[i];
        if (c == '+') {
            decoded.append_char(' ');
        } else if (c != '%') {
            decoded.append_char(c);
        } else if (i + 2 >= len) {
            break;
        } else if (hex_value(text[i + 1]) >= 0 && hex_value(text[i + 2]) >= 0) {
            decoded.append_char(char(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2])));
            i += 2;
        } else {
            decoded.append_char('%');
        }
    }
    output.take_buffer(decoded);
}

int cstring::hex_value(char c) {
    static const char digits[] = "0123456789ABCDEF";
    if (!c) return -1;
    const char* hit = strchr(digits, toupper(static_cast<unsigned char>(c)));
    return hit ? int(hit - digits) : -1;
}
