// The service host's string class: the smaller form of the utility library's cstring.
// Buffers come zero-filled from the Windows global heap, formatting is wvsprintfA's
// (at most 1024 bytes, longer output is cut; user32.dll is loaded at the first
// formatting), whitespace is the C runtime's isspace set.
#pragma once

#include <stdarg.h>

class cstring {
public:
    cstring();                                   // 24-byte buffer, empty text
    cstring(const char* text, int count = -1);   // count -1: up to the terminator
    cstring(const cstring& other);
    ~cstring();
    cstring& operator=(const cstring& other) { return assign(other); }
    cstring& operator=(const char* text) { return assign(text); }

    cstring& assign(const char* text);
    const char* assign(const char* text, int count);
    cstring& assign(const cstring& other);

    unsigned length() const { return len; }
    const char* c_str() const { return text; }
    const char* data_or_null() const { return len ? text : nullptr; }
    void reserve(unsigned bytes);
    char* get_buffer(unsigned n);
    unsigned set_length(unsigned n);
    void clear();
    char char_at(unsigned i) const { return i <= len ? text[i] : 0; }
    char first_char() const { return len ? text[0] : 0; }
    char last_char() const { return len ? text[len - 1] : 0; }
    const char* remove_last();

    cstring& append(const char* more, int count = -1);
    cstring& append_char(char c);
    cstring& format(const char* format, ...);
    cstring& vformat(const char* format, va_list args);
    cstring& append_format(const char* format, ...);

    bool equals(const char* other) const;
    bool equals_nocase(const char* other) const;
    bool starts_with(const char* prefix, bool caseSensitive) const;
    bool ends_with(const char* suffix, bool caseSensitive) const;
    bool contains(const char* part, bool caseSensitive) const;
    int find_char(char c, int from = 0) const;
    int find(const char* part, int from = 0) const;

    bool remove_prefix(const char* prefix, bool caseSensitive);
    void trim_right();
    void trim_left();
    void trim();
    void trim_right_chars(const char* set);
    void to_lower();
    void to_upper();

    // Reads the line at *cursor (null: the start) and moves the cursor past it; the line
    // feed is replaced by a terminator. Null when no line is left.
    char* next_line(char** cursor, bool skipLeadingSpace);

private:
    char* text;
    unsigned len;
    unsigned capacity;
    unsigned growthStep;
};
