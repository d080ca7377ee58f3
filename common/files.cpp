// File helpers of the utility library: existence tests, the whole-file read, writing all
// bytes, the sharing test and an image's machine type. Reads go through the runtime
// library's descriptors, as the messages carry the runtime's error texts.
#include "files.h"

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>
#include <sys/stat.h>

#include "exception.h"
#include "file_status.h"

namespace {

const size_t kChunk = 1073741824;   // the runtime's read and write take an int count

}  // namespace

long long read_descriptor_fully(int descriptor, void* buffer, long long size) {
    char* next = static_cast<char*>(buffer);
    long long done = 0;
    while (done < size) {
        long long left = size - done;
        int got = _read(descriptor, next + done, unsigned(left < (long long)kChunk ? left : (long long)kChunk));
        if (got <= 0) break;
        done += got;
    }
    return done;
}

bool file_exists(const char* path) {
    return file_status(path, nullptr);
}

bool is_folder(const char* path) {
    if (!path) return false;
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool read_whole_file(cstring& target, const char* path) {
    if (!path) path = "";
    int descriptor = _open(path, _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        int error = errno;
        throw new CVelmorException(18001, "Cannot open file \"%s\": %s", path, strerror(error));
    }
    struct _stat64 status;
    if (_fstat64(descriptor, &status) != 0) {
        int error = errno;
        _close(descriptor);
        throw new CVelmorException(18002, "Cannot determine size of file \"%s\": %s", path, strerror(error));
    }
    // A cstring holds at most 0xFFFFFFFE bytes; a larger file, or one there is no
    // memory for, fails like a short read instead of reading into a buffer too small.
    long long size = status.st_size;
    char* buffer = size >= 0 && size < 0xFFFFFFFFll ? target.get_buffer(unsigned(size)) : nullptr;
    long long got = buffer ? read_descriptor_fully(descriptor, buffer, size) : -1;
    _close(descriptor);
    if (got != size) {
        target.clear();
        throw new CVelmorException(18003, "Read operation on file \"%s\" failed", path);
    }
    target.set_length(unsigned(size));
    return true;
}

bool write_all(HANDLE file, const void* bytes, size_t length) {
    const char* next = static_cast<const char*>(bytes);
    while (length > 0) {
        DWORD written = 0;
        DWORD chunk = DWORD(length < kChunk ? length : kChunk);
        if (!WriteFile(file, next, chunk, &written, nullptr) || written == 0) return false;
        next += written;
        length -= written;
    }
    return true;
}

size_t write_all_descriptor(int descriptor, const void* bytes, size_t length) {
    const char* next = static_cast<const char*>(bytes);
    size_t done = 0;
    while (done < length) {
        size_t left = length - done;
        int written = _write(descriptor, next + done, unsigned(left < kChunk ? left : kChunk));
        if (written <= 0) break;
        done += size_t(written);
    }
    _close(descriptor);
    return done;
}

bool file_in_use(const char* path) {
    if (!path) return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    DWORD error = GetLastError();
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

unsigned short executable_machine_type(const char* path) {
    if (!path) return 0;
    int descriptor = _open(path, _O_RDONLY | _O_BINARY);
    if (descriptor < 0) return 0;
    unsigned short machine = 0;
    unsigned char dosHeader[68];
    unsigned char peHeader[6];
    long long size = _filelengthi64(descriptor);
    if (_read(descriptor, dosHeader, sizeof dosHeader) == int(sizeof dosHeader) && dosHeader[0] == 'M' &&
        dosHeader[1] == 'Z') {
        // The header offset comes from the file: one that lets the 6 bytes run past the
        // file's end belongs to a broken image and is refused before any seek.
        unsigned long offset = (unsigned long)dosHeader[60] | (unsigned long)dosHeader[61] << 8 |
                               (unsigned long)dosHeader[62] << 16 | (unsigned long)dosHeader[63] << 24;
        if ((long long)offset + (long long)sizeof peHeader <= size &&
            _lseeki64(descriptor, (long long)offset, SEEK_SET) == (long long)offset &&
            _read(descriptor, peHeader, sizeof peHeader) == int(sizeof peHeader) && peHeader[0] == 'P' &&
            peHeader[1] == 'E')
            machine = (unsigned short)(peHeader[4] | peHeader[5] << 8);
    }
    _close(descriptor);
    return machine;
}
