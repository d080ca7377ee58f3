// Folder helpers of the utility library: the parent of a path, making folders with their
// parents, the size of a folder's files and deleting a folder's contents.
#include "folders.h"

#include <windows.h>

#include <string.h>

#include "files.h"

namespace {

bool is_separator(char c) {
    return c == '\\' || c == '/';
}

// A path without a parent that names a drive's root ("C:", "C:\", "/"): there is
// nothing to make.
bool is_root(const char* path) {
    if (((*path >= 'A' && *path <= 'Z') || (*path >= 'a' && *path <= 'z')) && path[1] == ':') path += 2;
    while (is_separator(*path)) path++;
    return *path == 0;
}

bool is_dot_entry(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

void add_folder_size(const cstring& folder, bool recursive, unsigned long long& bytes, unsigned& count) {
    cstring pattern(cstring::formatted, "%s\\*", folder.c_str());
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (recursive && !is_dot_entry(entry.cFileName))
                add_folder_size(cstring(cstring::formatted, "%s\\%s", folder.c_str(), entry.cFileName), true, bytes,
                                count);
        } else {
            bytes += (unsigned long long)entry.nFileSizeHigh << 32 | entry.nFileSizeLow;
            count++;
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
}

}  // namespace

const char* parent_folder(const char* path, cstring& out) {
    size_t end = path ? strlen(path) : 0;
    while (end > 0 && is_separator(path[end - 1])) end--;
    while (end > 0 && !is_separator(path[end - 1])) end--;
    // end is now just past the last separator, or 0 when there is none.
    if (end == 0) {
        out.clear();
    } else {
        out.assign(path, int(end - 1));
    }
    return out.c_str();
}

bool make_folder_with_parents(const char* path) {
    if (!path || !*path) return true;
    cstring parent;
    parent_folder(path, parent);
    if (!parent.length() && is_root(path)) return true;
    if (parent.length() && !is_folder(parent.c_str()) && !make_folder_with_parents(parent.c_str())) return false;
    return CreateDirectoryA(path, nullptr) != FALSE;
}

bool make_folder_of_file(const char* path) {
    cstring folder;
    return make_folder_with_parents(parent_folder(path, folder));
}

unsigned long long folder_size(const char* path, bool recursive, unsigned* fileCount) {
    unsigned long long bytes = 0;
    unsigned count = 0;
    if (path && *path) add_folder_size(cstring(path), recursive, bytes, count);
    if (fileCount) *fileCount = count;
    return bytes;
}

bool delete_folder_contents(const char* path) {
    if (!path || !*path) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    cstring pattern(cstring::formatted, "%s\\*", path);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return false;
    bool all = true;
    do {
        if (is_dot_entry(entry.cFileName)) continue;
        cstring item(cstring::formatted, "%s\\%s", path, entry.cFileName);
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(item.c_str(), FILE_ATTRIBUTE_NORMAL);
        bool deleted;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            deleted = DeleteFileA(item.c_str()) != FALSE;
        } else if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            // A junction or folder link: remove the link, never what it points to.
            deleted = RemoveDirectoryA(item.c_str()) != FALSE;
        } else {
            deleted = delete_folder_contents(item.c_str()) && RemoveDirectoryA(item.c_str());
        }
        all = all && deleted;
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return all;
}
