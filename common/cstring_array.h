// cstring_array: the owning list of cstring entries, with sorting, binary search and
// lookup by text, exactly or without regard to case.
#pragma once

#include "array.h"
#include "cstring.h"

class cstring_array : public array<cstring, 1> {
public:
    cstring_array() : array<cstring, 1>(8) {}
    ~cstring_array() override;

    // add(cstring*) of the base takes an entry made with new and answers its index.
    using array<cstring, 1>::add;
    // Appends a new owned entry holding text; null when it could not be allocated.
    cstring* add(const char* text, int count = -1);
    cstring* add(const cstring& text) { return add(text.c_str(), int(text.length())); }

    // Null entries sort before every string; the case flag set means exact byte order.
    void sort(bool caseSensitive);
    // Binary search of an array sorted with the same case flag: index or -1.
    int find_sorted(const char* text, bool caseSensitive) const;
    // The first entry equal to text: index or -1.
    int index_of(const char* text, bool caseSensitive) const;
};
