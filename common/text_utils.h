// Small helpers the library keeps beside its classes: max and min of signed and
// unsigned integers, and plain-text tests and copies.
#pragma once

// The names are parenthesised so that the max and min macros of <windows.h> leave the
// declarations alone.
int (max)(int a, int b);
int (min)(int a, int b);
unsigned (max)(unsigned a, unsigned b);
unsigned (min)(unsigned a, unsigned b);

bool is_empty(const char* text);   // null or ""
// Copies at most size - 1 bytes of source and terminates; null copies as "". Returns
// the number of bytes copied (nothing is written when size is below 1).
int copy_truncated(const char* source, char* destination, int size);
// Holds a drive colon or starts with two backslashes (a UNC path).
bool is_absolute_path(const char* text);
