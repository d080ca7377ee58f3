// krln64.dll, the native library of the Java client: the module handle kept by the
// entry point and the table of buffer handles that the Java side holds. Grouped by
// the file that defines each item.
#pragma once

#include <windows.h>

#include <jni.h>

// --- dllmain.cpp
extern HMODULE hKrlnModule;   // this library, whose resources hold the window icons

// --- buffer_handles.cpp: handles of the native memory buffers
// Every lookup and change of the table, and every use of a block found in it, happens
// while a BufferTableLock is held, so that one thread cannot free or move a block that
// another is copying.
class BufferTableLock {
public:
    BufferTableLock();
    ~BufferTableLock();
    BufferTableLock(const BufferTableLock&) = delete;
    BufferTableLock& operator=(const BufferTableLock&) = delete;
};

jint AddBuffer(HGLOBAL block);                  // a new handle, or 0 when the table cannot grow
HGLOBAL FindBuffer(jint handle);                // nullptr for a handle not in the table
void ReplaceBuffer(jint handle, HGLOBAL block);  // the handle now stands for block
void RemoveBuffer(jint handle);
