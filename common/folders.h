// Folder helpers of the utility library: the parent of a path, making folders with
// their parents, the size of a folder's files and deleting a folder's contents.
#pragma once

#include "cstring.h"

// The text before the last slash or backslash, trailing separators ignored; empty when
// there is none. out may be the string that holds path. Returns out's text.
const char* parent_folder(const char* path, cstring& out);

// Creates the folder and every missing parent. True when the folder itself was created
// here: an existing folder answers false. An empty path and a drive's root ("C:",
// "C:\") answer true: there is nothing to make.
bool make_folder_with_parents(const char* path);
// Makes the folder that is to hold the file at path, with its parents.
bool make_folder_of_file(const char* path);

// Total bytes of the files in the folder (and in its subfolders when recursive); their
// number goes to *fileCount when given.
unsigned long long folder_size(const char* path, bool recursive, unsigned* fileCount);

// Deletes the files of the folder, read-only ones too, and its subfolders with theirs;
// the folder itself stays. An empty path fails with last error 87 rather than meaning
// the current drive's root. True when everything went.
bool delete_folder_contents(const char* path);
