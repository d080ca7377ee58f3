// ByteStream: the growable byte buffer with a position. Capacity grows in multiples of
// 2048 bytes (1024 for writes of nothing) and always leaves room for the 0 byte that
// follows the data.
#include "byte_stream.h"

#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include "exception.h"
#include "files.h"

namespace {

const unsigned long long kMaxCapacity = 0x7FFFF000;   // offsets stay positive ints
const unsigned kStep = 2048;
const unsigned kEmptyWriteStep = 1024;
const unsigned char emptyData[1] = {0};

void throw_short_read(int code, unsigned expected, unsigned at, unsigned available) {
    throw new CVelmorException(code, "Stream read error: expected %d bytes at offset %d, only %d are available",
                               int(expected), int(at), int(available));
}

}  // namespace

ByteStream::ByteStream(unsigned initialCapacity, int useGlobalMemory)
    : bytes(nullptr), used(0), allocated(0), offset(0), bigEndian(0), useGlobal(useGlobalMemory != 0),
      globalOwned(false) {
    if (initialCapacity) reserve(initialCapacity, 1);
}

ByteStream::~ByteStream() {
    if (globalOwned) {
        GlobalFree(bytes);
    } else {
        free(bytes);
    }
}

const unsigned char* ByteStream::data() const {
    return bytes ? bytes : emptyData;
}

// Makes room for needed bytes, rounded up to the next multiple of step above it; new
// bytes are zero. False (nothing changed) beyond the limit or without memory.
bool ByteStream::grow(unsigned long long needed, unsigned step) {
    if (needed <= allocated) return true;
    unsigned long long wanted = (needed / step + 1) * step;
    if (step == 1) wanted = needed;
    if (wanted > kMaxCapacity) return false;
    unsigned char* grown = nullptr;
    if (useGlobal) {
        if (bytes) grown = static_cast<unsigned char*>(GlobalReAlloc(bytes, SIZE_T(wanted), GMEM_MOVEABLE | GMEM_ZEROINIT));
        // GlobalReAlloc may fail where a fresh block can still be had.
        if (!grown) {
            grown = static_cast<unsigned char*>(GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, SIZE_T(wanted)));
            if (grown && bytes) {
                memcpy(grown, bytes, allocated);
                GlobalFree(bytes);
            }
        }
        if (grown) globalOwned = true;
    } else {
        grown = static_cast<unsigned char*>(realloc(bytes, size_t(wanted)));
    }
    if (!grown) return false;
    memset(grown + allocated, 0, size_t(wanted - allocated));
    bytes = grown;
    allocated = unsigned(wanted);
    return true;
}

void ByteStream::reserve(unsigned long long needed, unsigned step) {
    if (!grow(needed, step)) {
        unsigned long long wanted = step == 1 ? needed : (needed / step + 1) * step;
        throw new CVelmorException(8010, "Could not allocate %lld bytes of memory", (long long)wanted);
    }
}

void ByteStream::write(const void* source, unsigned count) {
    // A source inside this stream moves with the buffer when it grows.
    const unsigned char* from = static_cast<const unsigned char*>(source);
    bool inside = bytes && from >= bytes && from < bytes + allocated;
    size_t sourceOffset = inside ? size_t(from - bytes) : 0;
    unsigned long long end = (unsigned long long)offset + count;
    unsigned long long newSize = end > used ? end : used;
    reserve(newSize + 1, count ? kStep : kEmptyWriteStep);
    if (inside) from = bytes + sourceOffset;
    if (count) memmove(bytes + offset, from, count);
    offset = unsigned(end);
    used = unsigned(newSize);
    bytes[used] = 0;
}

void ByteStream::write_byte(unsigned char value) {
    write(&value, 1);
}

void ByteStream::put_number(unsigned long long value, unsigned count) {
    unsigned char out[8];
    for (unsigned i = 0; i < count; i++) {
        unsigned shift = 8 * (bigEndian ? count - 1 - i : i);
        out[i] = (unsigned char)(value >> shift);
    }
    write(out, count);
}

void ByteStream::write_uint16(unsigned short value) {
    put_number(value, 2);
}

void ByteStream::write_uint32(unsigned value) {
    put_number(value, 4);
}

void ByteStream::write_uint64(unsigned long long value) {
    put_number(value, 8);
}

void ByteStream::write_text(const char* text) {
    if (text) write(text, unsigned(strlen(text)));
}

void ByteStream::write_line(const char* text) {
    write_text(text);
    write_byte('\n');
}

void ByteStream::write_format(const char* format, ...) {
    cstring text("");
    va_list args;
    va_start(args, format);
    if (format) text.vformat(format, args);
    va_end(args);
    write(text.c_str(), text.length());
}

bool ByteStream::write_text16(const char* text) {
    if (!text) text = "";
    size_t length = strlen(text) + 1;
    if (length > 0xFFFF) return false;
    put_number(length, 2);
    write(text, unsigned(length));
    return true;
}

void ByteStream::write_text32(const char* text) {
    if (!text) text = "";
    size_t length = strlen(text) + 1;
    put_number(length, 4);
    write(text, unsigned(length));
}

int ByteStream::write_escaped(const char* text) {
    cstring escaped("");
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text ? text : ""); *c; c++) {
        switch (*c) {
        case '\t': escaped.append("\\t"); break;
        case '\n': escaped.append("\\n"); break;
        case '\r': escaped.append("\\r"); break;
        case '"': escaped.append("\\\""); break;
        case '\\': escaped.append("\\\\"); break;
        default:
            if (*c >= 32 && *c < 127) {
                escaped.append_char(char(*c));
            } else {
                escaped.append_format("\\x%02X", *c);
            }
        }
    }
    write(escaped.c_str(), escaped.length());
    return int(escaped.length());
}

unsigned ByteStream::read(void* out, unsigned count) {
    unsigned n = count < available() ? count : available();
    if (n) memcpy(out, bytes + offset, n);
    offset += n;
    return n;
}

int ByteStream::read_byte() {
    return available() ? bytes[offset++] : -1;
}

unsigned long long ByteStream::take_number(unsigned count) {
    unsigned long long value = 0;
    for (unsigned i = 0; i < count; i++) {
        unsigned shift = 8 * (bigEndian ? count - 1 - i : i);
        value |= (unsigned long long)bytes[offset + i] << shift;
    }
    offset += count;
    return value;
}

bool ByteStream::read_uint16(unsigned short& value) {
    if (available() < 2) return false;
    value = (unsigned short)take_number(2);
    return true;
}

bool ByteStream::read_uint32(unsigned& value) {
    if (available() < 4) return false;
    value = unsigned(take_number(4));
    return true;
}

void ByteStream::read_exact(void* out, unsigned count) {
    if (count > available()) throw_short_read(18019, count, offset, available());
    read(out, count);
}

void ByteStream::read_prefixed(cstring& out, unsigned prefixBytes, int errorCode) {
    unsigned start = offset;
    if (available() < prefixBytes) throw_short_read(errorCode, prefixBytes, offset, available());
    unsigned long long length = take_number(prefixBytes);
    if (length > available()) {
        unsigned at = offset, left = available();
        offset = start;
        throw_short_read(errorCode, unsigned(length), at, left);
    }
    // The length counts the terminator written after the text.
    unsigned text = unsigned(length);
    if (text && bytes[offset + text - 1] == 0) text--;
    out.assign(reinterpret_cast<const char*>(bytes + offset), int(text));
    offset += unsigned(length);
}

void ByteStream::read_text16(cstring& out) {
    read_prefixed(out, 2, 18021);
}

void ByteStream::read_text32(cstring& out) {
    read_prefixed(out, 4, 18022);
}

int ByteStream::seek(long long distance, int origin) {
    long long target;
    switch (origin) {
    case 0: target = distance; break;
    case 1: target = (long long)offset + distance; break;
    case 2: target = (long long)used - distance; break;
    default: return -1;
    }
    if (target < 0 || target > (long long)used) return -1;
    offset = unsigned(target);
    return 0;
}

void ByteStream::clear() {
    used = 0;
    offset = 0;
    if (bytes) memset(bytes, 0, allocated);
}

void ByteStream::set_size(unsigned size) {
    if (size > used) {
        reserve((unsigned long long)size + 1, kStep);
        memset(bytes + used, 0, size - used);
    }
    used = size;
    if (bytes) bytes[used] = 0;
    if (offset > used) offset = used;
}

int ByteStream::load_file(const char* path) {
    if (!path) path = "";
    int descriptor = _open(path, _O_RDONLY | _O_BINARY);
    if (descriptor < 0) {
        int error = errno;
        throw new CVelmorException(18006, "Cannot open file \"%s\": %s", path, strerror(error));
    }
    struct _stat64 status;
    if (_fstat64(descriptor, &status) != 0) {
        int error = errno;
        _close(descriptor);
        throw new CVelmorException(18007, "Cannot read attributes of file \"%s\": %s", path, strerror(error));
    }
    unsigned long long size = (unsigned long long)status.st_size;
    if (!grow(size + 1, kStep)) {
        _close(descriptor);
        reserve(size + 1, kStep);   // throws 8010 with the size asked for
    }
    long long got = read_descriptor_fully(descriptor, bytes, (long long)size);
    _close(descriptor);
    // A failed read leaves the stream empty rather than holding part of the file.
    used = got == (long long)size ? unsigned(size) : 0;
    offset = 0;
    bytes[used] = 0;
    if (got != (long long)size) throw new CVelmorException(18016, "Read operation on file \"%s\" failed", path);
    return 0;
}

int ByteStream::save_file(const char* path) {
    int descriptor = _open(path ? path : "", _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, 0644);
    if (descriptor < 0) return errno;
    return write_all_descriptor(descriptor, data(), used) == used ? 0 : -1;
}

int ByteStream::append_file(const char* path, bool separate) {
    int descriptor = _open(path ? path : "", _O_APPEND | _O_CREAT | _O_WRONLY | _O_BINARY, 0644);
    if (descriptor < 0) return errno;
    if (separate && _filelengthi64(descriptor) > 0 && _write(descriptor, "\n\n", 2) != 2) {
        _close(descriptor);
        return -1;
    }
    return write_all_descriptor(descriptor, data(), used) == used ? 0 : -1;
}
