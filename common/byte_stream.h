// ByteStream: a growable byte buffer with a read/write position, multi-byte numbers in
// a chosen byte order, length-prefixed and escaped texts, strict reads that throw, and
// loading from and saving to files. A 0 byte always follows the data.
#pragma once

#include "cstring.h"

class ByteStream {
public:
    // useGlobalMemory non-zero (-1: yes): GlobalAlloc'ed, zero-filled memory, else the
    // runtime's heap. Allocates initialCapacity bytes when it is not 0.
    explicit ByteStream(unsigned initialCapacity = 0, int useGlobalMemory = -1);
    ~ByteStream();
    ByteStream(const ByteStream&) = delete;
    ByteStream& operator=(const ByteStream&) = delete;

    const unsigned char* data() const;   // never null
    unsigned size() const { return used; }
    unsigned capacity() const { return allocated; }
    unsigned position() const { return offset; }
    bool big_endian() const { return bigEndian != 0; }
    void set_big_endian(bool value) { bigEndian = value ? 1 : 0; }

    // Writes at the position, which moves past what was written; the size grows when a
    // write passes its end. Growth beyond 2 GB, or without memory, throws
    // CVelmorException 8010.
    void write(const void* bytes, unsigned count);
    void write_byte(unsigned char value);
    void write_uint16(unsigned short value);
    void write_uint32(unsigned value);
    void write_uint64(unsigned long long value);
    void write_text(const char* text);   // without its terminator
    void write_line(const char* text);   // followed by a line feed
    void write_format(const char* format, ...) CSTRING_PRINTF(2, 3);
    // The length prefix counts the terminator, which is written too. False, with
    // nothing written, for a text too long for a 16-bit prefix.
    bool write_text16(const char* text);
    void write_text32(const char* text);
    // Tab, line feed, carriage return, double quote and backslash as \t \n \r \" \\,
    // other bytes outside 32..126 as \xHH. Answers the bytes written.
    int write_escaped(const char* text);

    // Up to count bytes (fewer at the end); answers how many.
    unsigned read(void* out, unsigned count);
    int read_byte();   // -1 at the end
    bool read_uint16(unsigned short& value);   // false, nothing read, at the end
    bool read_uint32(unsigned& value);
    // Strict reads: too few bytes throw CVelmorException 18019 (block), 18021 (16-bit
    // length prefix) or 18022 (32-bit prefix) and leave the position as it was.
    void read_exact(void* out, unsigned count);
    void read_text16(cstring& out);
    void read_text32(cstring& out);

    // origin 0: from the start, 1: from the position, 2: backwards from the end. A
    // target before the start or beyond the size answers -1; else 0.
    int seek(long long distance, int origin);
    void clear();                  // size and position 0, the buffer zeroed
    void set_size(unsigned size);  // grows with zero bytes or shrinks

    // Replaces the content with the file's; position 0. Throws 18006 (cannot open),
    // 18007 (size unknown), 18016 (short read) or 8010 (no memory).
    int load_file(const char* path);
    // 0 when every byte was written, -1 on a short write, the runtime's error number
    // when the file cannot be opened. append_file creates a missing file and, when
    // asked and the file is not empty, writes two line feeds before the data.
    int save_file(const char* path);
    int append_file(const char* path, bool separate);

private:
    bool grow(unsigned long long needed, unsigned step);
    void reserve(unsigned long long needed, unsigned step);
    void read_prefixed(cstring& out, unsigned prefixBytes, int errorCode);
    unsigned available() const { return used - offset; }
    void put_number(unsigned long long value, unsigned bytes);
    unsigned long long take_number(unsigned bytes);

    unsigned char* bytes;
    unsigned used;
    unsigned allocated;
    unsigned offset;
    short bigEndian;
    bool useGlobal;
    bool globalOwned;
};
