// cstring_array: adding text entries, sorting and searching them.
#include "cstring_array.h"

#include <string.h>

namespace {

int compare_entries(const cstring* a, const cstring* b, bool caseSensitive) {
    if (!a || !b) return a ? 1 : b ? -1 : 0;
    return caseSensitive ? a->compare(*b) : a->compare_nocase(*b);
}

int compare_exact(const void* a, const void* b) {
    return compare_entries(*static_cast<cstring* const*>(a), *static_cast<cstring* const*>(b), true);
}

int compare_nocase(const void* a, const void* b) {
    return compare_entries(*static_cast<cstring* const*>(a), *static_cast<cstring* const*>(b), false);
}

}  // namespace

cstring_array::~cstring_array() {}

cstring* cstring_array::add(const char* text, int count) {
    cstring* entry = new (std::nothrow) cstring(text, count);
    if (!entry) return nullptr;
    return array<cstring, 1>::add(entry) < 0 ? nullptr : entry;
}

void cstring_array::sort(bool caseSensitive) {
    array<cstring, 1>::sort(caseSensitive ? compare_exact : compare_nocase);
}

int cstring_array::find_sorted(const char* text, bool caseSensitive) const {
    if (!text) return -1;
    cstring key(text);
    int low = 0, high = used - 1;
    while (low <= high) {
        int middle = low + (high - low) / 2;
        int order = compare_entries(items[middle], &key, caseSensitive);
        if (order == 0) return middle;
        if (order < 0) {
            low = middle + 1;
        } else {
            high = middle - 1;
        }
    }
    return -1;
}

int cstring_array::index_of(const char* text, bool caseSensitive) const {
    if (!text) return -1;
    for (int i = 0; i < used; i++)
        if (items[i] && (caseSensitive ? items[i]->equals(text) : items[i]->equals_nocase(text))) return i;
    return -1;
}
