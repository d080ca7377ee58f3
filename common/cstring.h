// The utility library's string: a growable 8-bit text in the ANSI code page with a kept
// length, its own printf-style formatting, a token reader for double-quoted tokens, a
// pattern-driven scanner, URL encoding, line-end normalisation and UTF-16 conversion.
// An operation whose allocation fails leaves the string as it was (see reserve).
#pragma once

#include <stdarg.h>
#include <stddef.h>

class cstring_array;

#define CSTRING_PRINTF(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))

class cstring {
public:
    enum formatted_t { formatted };

    cstring();                                   // 24-byte private buffer, empty text
    // count -1: up to the terminator; an explicit count gives a buffer of exactly
    // count + 1 bytes. Empty text shares one read-only empty buffer until written.
    cstring(const char* text, int count = -1);
    cstring(formatted_t, const char* format, ...) CSTRING_PRINTF(3, 4);
    cstring(const cstring& other);               // buffer of exactly length + 1 bytes
    ~cstring();
    cstring& operator=(const cstring& other) { return assign(other); }
    cstring& operator=(const char* text) { return assign(text); }

    cstring& assign(const char* text);
    const char* assign(const char* text, int count);
    cstring& assign_range(const char* text, int start, int end);
    cstring& assign(const cstring& other);
    // Throw CVelmorException 18010 when the text has more than 0x7FFFFFFF units.
    cstring& assign_wide(const wchar_t* text);
    cstring& assign_wide(const wchar_t* text, size_t units);

    unsigned length() const { return len; }
    const char* c_str() const { return text; }
    const char* data_or_null() const { return len ? text : nullptr; }
    unsigned capacity() const { return allocated; }
    void set_growth_step(unsigned step);
    // Grows to (bytes / step + 1) * step when bytes exceed the capacity. False when the
    // allocation failed; the string is then unchanged.
    bool reserve(unsigned bytes);
    // Room for n bytes and a terminator, for the caller to write into; null when the
    // allocation failed. The length stays as it was: set it with set_length.
    char* get_buffer(unsigned n);
    unsigned set_length(unsigned n);
    void clear();
    char char_at(unsigned i) const { return i <= len ? text[i] : 0; }
    void set_char_at(unsigned i, char c);
    char first_char() const { return len ? text[0] : 0; }
    char last_char() const { return len ? text[len - 1] : 0; }
    const char* remove_last();

    cstring& append(const char* text, int count = -1);
    cstring& append(const cstring& other) { return append(other.text, int(other.len)); }
    cstring& append_char(char c);
    cstring& format(const char* format, ...) CSTRING_PRINTF(2, 3);
    cstring& vformat(const char* format, va_list args);
    cstring& append_format(const char* format, ...) CSTRING_PRINTF(2, 3);

    // A case flag set means a case-sensitive comparison.
    bool equals(const char* other) const;
    bool not_equals(const char* other) const { return !equals(other); }
    bool equals_nocase(const char* other) const;
    int compare(const cstring& other) const { return compare(other.text); }
    int compare(const char* other) const;   // -1, 0 or 1 by unsigned byte order
    int compare_nocase(const cstring& other) const { return compare_nocase(other.text); }
    int compare_nocase(const char* other) const;
    bool starts_with(const char* prefix, bool caseSensitive) const;
    bool ends_with(const char* suffix, bool caseSensitive) const;
    bool contains(const char* part, bool caseSensitive) const;
    bool contains_any_of(const char* set) const;
    int find_char(char c, int from = 0) const;
    int find(const char* part, int from = 0) const;
    // list: zero-terminated entries ended by an empty one ("a\0b\0"); the index of the
    // first entry equal to this string, or defaultIndex.
    int index_in_list(const char* list, int defaultIndex, bool caseSensitive) const;

    bool remove_prefix(const char* prefix, bool caseSensitive);
    bool replace_range(int position, int count, const char* replacement);
    bool insert(int position, const char* more) { return replace_range(position, 0, more); }
    int replace_all(const char* find, const char* replacement);
    int replace_char(char from, char to);
    int translate(const char* fromSet, const char* toSet);
    void trim_right();
    void trim_left();
    void trim();
    void trim_right_chars(const char* set);
    void to_lower();
    void to_upper();
    int to_crlf();

    // Reads one token of input into this string (double quotes and backslash escapes
    // understood) and returns where reading stopped; delimiter 0 means none.
    const char* parse_token(const char* input, char delimiter, bool stopAtWhitespace);
    const char* parse_token_in_set(const char* input, const char* delimiters, bool stopAtWhitespace);
    // Pattern items: "s" "S" "*" read into cstring*, "i" into int*, one of "=:;,|!/-"
    // must match the text. A null output consumes its token without counting it.
    // Returns the number of outputs stored plus separators matched.
    int scan(const char* pattern, ...) const;
    static int scan_text(const char* text, const char* pattern, ...);
    static int vscan(const char* text, const char* pattern, va_list outputs);
    int split_into(cstring_array& array, const char* separators) const;
    bool split_name_address(cstring& name, cstring& address) const;
    // Reads the line at *cursor (null: the start), replacing its line feed by a
    // terminator, and moves the cursor past it. Null when no line is left.
    char* next_line(char** cursor, bool skipLeadingWhitespace);
    void url_encode(cstring& output) const;
    void url_decode(cstring& output) const;
    static int hex_value(char c);
    // The UTF-16 form, valid until the next to_wide or the string's end; null when it
    // could not be allocated. Throws CVelmorException 18011 beyond 0x1FFFFFFF bytes.
    const wchar_t* to_wide();

    // NUL, TAB, LF, FF, CR and SPACE; vertical tab is not whitespace here.
    static bool is_whitespace(char c);

private:
    bool format_at(unsigned offset, const char* format, va_list args);
    bool owns_pointer(const char* p) const { return allocated && p >= text && p < text + allocated; }
    void take_buffer(cstring& other);
    void set_end(unsigned n);

    char* text;
    unsigned len;
    unsigned allocated;
    unsigned growthStep;
    wchar_t* wideCopy;
};
