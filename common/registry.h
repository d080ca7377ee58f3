// Registry helpers of the utility library: opening keys by a formatted name, subkey
// enumeration, number and text values (REG_EXPAND_SZ read expanded), and deleting a
// key's tree. All in the registry view of the running build.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "cstring.h"

// Null when the key does not open. The subkey name is printf-style: pass "%s" and the
// name when it comes from data.
HKEY open_key_for_reading(HKEY root, const char* format, ...) CSTRING_PRINTF(2, 3);
HKEY create_or_open_key(HKEY root, const char* format, ...) CSTRING_PRINTF(2, 3);

// The name of subkey index (up to 512 characters); answers the Windows error code,
// ERROR_NO_MORE_ITEMS past the last one.
LONG enumerate_subkey(HKEY key, DWORD index, cstring& name);

// A REG_DWORD value; any error or another type gives defaultValue and false.
bool read_registry_number(HKEY key, const char* name, DWORD& value, DWORD defaultValue);
bool write_registry_number(HKEY key, const char* name, DWORD value);

// A REG_SZ, REG_EXPAND_SZ (expanded) or REG_MULTI_SZ (its first string) value; data
// stored without its terminating zero is read safely. Any error or another type gives
// defaultText (null: empty) and false.
bool read_registry_text(HKEY key, const char* name, cstring& value, const char* defaultText = nullptr);
// Stores text (null: empty) as REG_SZ with its terminating zero. Throws
// CVelmorException 94001 for 4 GB and more (64-bit builds only).
bool write_registry_text(HKEY key, const char* name, const char* text);
// The same for the first length bytes of text.
bool write_registry_text(HKEY key, const char* name, const char* text, size_t length);

// Open root\subkey for reading, read the value, close; a key that does not open gives
// the default and false.
bool read_registry_text_under(HKEY root, const char* subkey, const char* name, cstring& value,
                              const char* defaultText = nullptr);
bool read_registry_number_under(HKEY root, const char* subkey, const char* name, DWORD& value, DWORD defaultValue);

// Deletes root\subkey with all its subkeys (the last first); true when the key itself
// went. An empty subkey name is refused: it would empty root.
bool delete_registry_tree(HKEY root, const char* subkey);
// Deletes root\subkey's tree and creates the key again, empty; true when it was created.
bool recreate_registry_key(HKEY root, const char* subkey);
