// The library's hash of a text.
#include "text_hash.h"

#include <string.h>

int text_hash(const char* text) {
    if (!text) return 0;
    int length = int(strlen(text));
    // Unsigned arithmetic wraps where the signed sum would overflow.
    unsigned sum = 0;
    for (int i = 0; i < length; i++) sum += unsigned((length - 2 - i) ^ 31) * unsigned(int(static_cast<signed char>(text[i])));
    return int(sum);
}
