// File helpers of the utility library: existence tests, the whole-file read into a
// cstring, writing everything through a Win32 handle or a runtime descriptor, the
// sharing test and the machine type of an executable image.
#pragma once

#include <windows.h>

#include <stddef.h>

#include "cstring.h"

// True when the runtime's status query of path succeeds (a file or a folder).
bool file_exists(const char* path);
// True when the path's attributes can be read and have the directory bit.
bool is_folder(const char* path);

// Reads the whole file into target: its length is the file's size and a 0 byte follows
// (the content may hold 0 bytes itself). Throws CVelmorException 18001 (cannot open),
// 18002 (size unknown) or 18003 (short read, or more than a cstring can hold, or no
// memory for it; target is then empty).
bool read_whole_file(cstring& target, const char* path);

// Reads size bytes from a runtime descriptor in chunks of at most 1 GB, unless the file
// ends or fails first; returns the number of bytes read.
long long read_descriptor_fully(int descriptor, void* buffer, long long size);

// Writes every byte through a Win32 handle, in as many WriteFile calls as it takes.
bool write_all(HANDLE file, const void* bytes, size_t length);
// Writes every byte to a runtime descriptor in chunks of at most 1 GB, stops at the
// first error, then closes the descriptor. Returns the number of bytes written.
size_t write_all_descriptor(int descriptor, const void* bytes, size_t length);

// True when the existing file cannot be opened for writing because another handle
// holds it (sharing or lock violation).
bool file_in_use(const char* path);

// The Machine field of the PE header of an executable image (0x14C, 0x8664, 0x200 ...);
// 0 when the file is missing or is not a PE image.
unsigned short executable_machine_type(const char* path);
