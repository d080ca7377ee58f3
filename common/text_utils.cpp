// Small helpers the library keeps beside its classes: max and min, and plain-text
// tests and copies.
#include "text_utils.h"

#include <string.h>

int (max)(int a, int b) {
    return a > b ? a : b;
}

int (min)(int a, int b) {
    return a < b ? a : b;
}

unsigned (max)(unsigned a, unsigned b) {
    return a > b ? a : b;
}

unsigned (min)(unsigned a, unsigned b) {
    return a < b ? a : b;
}

bool is_empty(const char* text) {
    return !text || !*text;
}

int copy_truncated(const char* source, char* destination, int size) {
    if (!destination || size < 1) return 0;
    size_t n = source ? strnlen(source, size_t(size) - 1) : 0;
    if (n) memcpy(destination, source, n);
    destination[n] = 0;
    return int(n);
}

bool is_absolute_path(const char* text) {
    if (!text) return false;
    return strchr(text, ':') != nullptr || (text[0] == '\\' && text[1] == '\\');
}
