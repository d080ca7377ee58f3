// cstring's conversions to and from UTF-16 through the ANSI code page, with the fixed
// length limits beyond which they throw CVelmorException 18010 and 18011.
#include "cstring.h"

#include <stdlib.h>
#include <windows.h>

#include "exception.h"

namespace {

const unsigned long long kWideBufferLimit = 0x7FFFFFFF;   // bytes of a wide copy
const unsigned long long kWideUnitLimit = 0x7FFFFFFF;     // units of a text to assign

}  // namespace

// The length is printed unsigned: every length that throws lies beyond an int.
const wchar_t* cstring::to_wide() {
    static const wchar_t emptyWide[1] = {0};
    if (!len) return emptyWide;
    free(wideCopy);
    wideCopy = nullptr;
    unsigned long long bytes = (unsigned long long)len * 4 + 2;
    if (bytes > kWideBufferLimit)
        throw new CVelmorException(
            18011, "Can't convert ANSI string of %u characters to Unicode string. Maximum supported length is %d",
            len, 0x3FFFFFFE);
    wchar_t* wide = static_cast<wchar_t*>(calloc(size_t(bytes), 1));
    if (!wide) return nullptr;
    // The zero-filled buffer holds twice the units a byte can give, plus the terminator.
    MultiByteToWideChar(CP_ACP, 0, text, int(len), wide, int(len) * 2);
    wideCopy = wide;
    return wide;
}

cstring& cstring::assign_wide(const wchar_t* wide) {
    return assign_wide(wide, wide ? wcslen(wide) : 0);
}

cstring& cstring::assign_wide(const wchar_t* wide, size_t units) {
    if (!wide) units = 0;
    if (units > kWideUnitLimit)
        throw new CVelmorException(
            18010, "Can't convert Unicode string of %llu characters to ANSI string. Maximum supported length is %d",
            (unsigned long long)units, 0x7FFFFFFF);
    int bytes = units ? WideCharToMultiByte(CP_ACP, 0, wide, int(units), nullptr, 0, nullptr, nullptr) : 0;
    if (bytes <= 0) {
        clear();
        return *this;
    }
    if (!reserve(unsigned(bytes) + 1)) return *this;
    WideCharToMultiByte(CP_ACP, 0, wide, int(units), text, bytes, nullptr, nullptr);
    set_end(unsigned(bytes));
    return *this;
}
