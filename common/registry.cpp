// Registry helpers of the utility library: keys by formatted name, subkey enumeration,
// number and text values, and deleting a key's tree.
#include "registry.h"

#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

#include "exception.h"

namespace {

const DWORD kFirstQuery = 256;

HKEY open_key(HKEY root, bool create, const char* format, va_list args) {
    cstring subkey("");
    if (format) subkey.vformat(format, args);
    HKEY key = nullptr;
    LONG status = create ? RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_ALL_ACCESS, nullptr, &key, nullptr)
                         : RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key);
    return status == ERROR_SUCCESS ? key : nullptr;
}

bool is_text_type(DWORD type) {
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The system's expansion handles at most 32K characters, source and result each with
// its terminator (beyond that Wine writes a cut or garbled text and still answers).
const DWORD kSystemExpandLimit = 32767;

// value := text with every %NAME% of a defined variable replaced by its value; an
// undefined (or empty) name stays with both its "%", and a "%" without a partner stays,
// as the system's expansion has it.
bool expand_variables(const char* text, cstring& value) {
    value.clear();
    for (const char* p = text; *p;) {
        const char* open = strchr(p, '%');
        const char* close = open ? strchr(open + 1, '%') : nullptr;
        if (!close) {
            value.append(p);
            break;
        }
        value.append(p, int(open - p));
        cstring name(open + 1, int(close - open - 1));
        DWORD needed = name.length() ? GetEnvironmentVariableA(name.c_str(), nullptr, 0) : 0;
        DWORD error = needed ? 0 : GetLastError();
        if (!name.length() || (!needed && error == ERROR_ENVVAR_NOT_FOUND)) {
            value.append(open, int(close - open + 1));
            p = close + 1;
            continue;
        }
        unsigned length = value.length();
        char* buffer = needed ? value.get_buffer(length + needed) : nullptr;
        if (needed && !buffer) return false;
        DWORD got = buffer ? GetEnvironmentVariableA(name.c_str(), buffer + length, needed) : 0;
        value.set_length(length + (got < needed ? got : 0));
        p = close + 1;
    }
    return true;
}

// value := data with its environment references expanded; false when expansion fails.
bool expand_into(const char* data, DWORD storedSize, cstring& value) {
    if (strlen(data) < kSystemExpandLimit) {
        DWORD room = storedSize * 2 + 1;
        for (int attempt = 0; attempt < 2; attempt++) {
            char* buffer = value.get_buffer(room);
            if (!buffer) return false;
            DWORD needed = ExpandEnvironmentStringsA(data, buffer, room);
            if (needed == 0) return false;
            if (needed > kSystemExpandLimit) break;
            if (needed <= room) {
                value.set_length(unsigned(strnlen(buffer, room)));
                return true;
            }
            room = needed;
        }
    }
    return expand_variables(data, value);
}

bool store_text(HKEY key, const char* name, const char* text, size_t length, bool terminated) {
    if (length >= 0xFFFFFFFFull)
        throw new CVelmorException(94001, "This program can't write registry values longer than 4G (%llu bytes requested)",
                                   (unsigned long long)length + 1);
    char* copy = nullptr;
    if (!terminated) {
        copy = static_cast<char*>(malloc(length + 1));
        if (!copy) return false;
        memcpy(copy, text, length);
        copy[length] = 0;
        text = copy;
    }
    LONG status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), DWORD(length + 1));
    free(copy);
    return status == ERROR_SUCCESS;
}

}  // namespace

HKEY open_key_for_reading(HKEY root, const char* format, ...) {
    va_list args;
    va_start(args, format);
    HKEY key = open_key(root, false, format, args);
    va_end(args);
    return key;
}

HKEY create_or_open_key(HKEY root, const char* format, ...) {
    va_list args;
    va_start(args, format);
    HKEY key = open_key(root, true, format, args);
    va_end(args);
    return key;
}

LONG enumerate_subkey(HKEY key, DWORD index, cstring& name) {
    char buffer[513];
    DWORD length = sizeof buffer;
    LONG status = RegEnumKeyExA(key, index, buffer, &length, nullptr, nullptr, nullptr, nullptr);
    name.assign(status == ERROR_SUCCESS ? buffer : "", status == ERROR_SUCCESS ? int(length) : 0);
    return status;
}

bool read_registry_number(HKEY key, const char* name, DWORD& value, DWORD defaultValue) {
    DWORD data = 0, type = 0, size = sizeof data;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    bool read = status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof data;
    value = read ? data : defaultValue;
    return read;
}

bool write_registry_number(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

bool read_registry_text(HKEY key, const char* name, cstring& value, const char* defaultText) {
    // Two spare bytes behind every buffer: a text stored without its terminator (or a
    // REG_MULTI_SZ without its final double zero) is ended there, inside the buffer.
    char first[kFirstQuery + 2];
    char* data = first;
    char* large = nullptr;
    DWORD type = 0, size = kFirstQuery;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(first), &size);
    // The value may grow between the queries: then ask again, a few times at most.
    for (int attempt = 0; status == ERROR_MORE_DATA && attempt < 4; attempt++) {
        free(large);
        large = static_cast<char*>(malloc(size_t(size) + 2));
        if (!large) {
            status = ERROR_NOT_ENOUGH_MEMORY;
            break;
        }
        data = large;
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(large), &size);
    }
    bool read = status == ERROR_SUCCESS && is_text_type(type);
    if (read) {
        data[size] = 0;
        data[size + 1] = 0;
        if (type == REG_EXPAND_SZ) {
            read = expand_into(data, size, value);
        } else {
            value.assign(data);
        }
    }
    free(large);
    if (!read) value.assign(defaultText ? defaultText : "");
    return read;
}

bool write_registry_text(HKEY key, const char* name, const char* text) {
    if (!text) text = "";
    return store_text(key, name, text, strlen(text), true);
}

bool write_registry_text(HKEY key, const char* name, const char* text, size_t length) {
    return store_text(key, name, text ? text : "", text ? length : 0, false);
}

bool read_registry_text_under(HKEY root, const char* subkey, const char* name, cstring& value,
                              const char* defaultText) {
    HKEY key = open_key_for_reading(root, "%s", subkey ? subkey : "");
    if (!key) {
        value.assign(defaultText ? defaultText : "");
        return false;
    }
    bool read = read_registry_text(key, name, value, defaultText);
    RegCloseKey(key);
    return read;
}

bool read_registry_number_under(HKEY root, const char* subkey, const char* name, DWORD& value, DWORD defaultValue) {
    HKEY key = open_key_for_reading(root, "%s", subkey ? subkey : "");
    if (!key) {
        value = defaultValue;
        return false;
    }
    bool read = read_registry_number(key, name, value, defaultValue);
    RegCloseKey(key);
    return read;
}

bool delete_registry_tree(HKEY root, const char* subkey) {
    if (!subkey || !*subkey) return false;
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0;
    if (RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS)
        subkeys = 0;
    // From the last index down, so that each deletion leaves the lower indexes in place.
    for (DWORD index = subkeys; index-- > 0;) {
        char name[256];
        DWORD length = sizeof name;
        if (RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS && *name)
            delete_registry_tree(key, name);
    }
    RegCloseKey(key);
    return RegDeleteKeyA(root, subkey) == ERROR_SUCCESS;
}

bool recreate_registry_key(HKEY root, const char* subkey) {
    if (!subkey || !*subkey) return false;
    delete_registry_tree(root, subkey);
    HKEY key = create_or_open_key(root, "%s", subkey);
    if (!key) return false;
    RegCloseKey(key);
    return true;
}
