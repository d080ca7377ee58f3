// The native memory buffers of the Java class com.qzvltd.tarnwick.util.wmb: zero-filled
// fixed blocks of the global heap, held by the Java side as int handles, with
// bounds-checked copies to and from Java byte arrays and 32-bit reads and writes.
#include <stdio.h>
#include <string.h>

#include "krln.h"

// n_alloc, n_realloc and n_cap return jlong: a Java declaration with an int result
// reads the low 32 bits of the same register, so either declaration sees the handle
// (always 1..INT_MAX) or the capacity.

namespace {

const char kOutOfMemoryError[] = "java/lang/OutOfMemoryError";
const char kIndexOutOfBounds[] = "java/lang/ArrayIndexOutOfBoundsException";
const char kNullPointer[] = "java/lang/NullPointerException";

// When the class cannot be found, FindClass has left its own exception pending.
void throwJava(JNIEnv* env, const char* className, const char* text) {
    jclass type = env->FindClass(className);
    if (type) env->ThrowNew(type, text);
}

// The system's message for an error, without its line break; empty when the system has
// none or when it would not fit the 512-byte buffer with room to spare.
void systemErrorText(DWORD error, char (&text)[512]) {
    text[0] = '\0';
    char* message = nullptr;
    // There are no arguments for inserts such as "%1": they stay in the text as they are.
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
        MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&message), sizeof text, nullptr);
    if (length && length + 14 <= sizeof text) {
        if (length > 2) length -= 2;
        memcpy(text, message, length);
        text[length] = '\0';
    }
    if (message) LocalFree(message);
}

void throwOutOfMemory(JNIEnv* env, DWORD error) {
    char text[512];
    systemErrorText(error, text);
    throwJava(env, kOutOfMemoryError, text);
}

// A new zero-filled block; a negative size widens to an impossible one and fails.
HGLOBAL allocateBlock(JNIEnv* env, jint size) {
    HGLOBAL block = GlobalAlloc(GMEM_ZEROINIT, SIZE_T(size));
    if (!block) {
        DWORD error = GetLastError();
        throwOutOfMemory(env, error);
    }
    return block;
}

// The block of a handle other than 0. A handle that was never handed out, or was
// freed, is refused with the exception of a range outside the buffer: an unchecked
// one that the Java side already meets from n_read and n_write, where OutOfMemoryError
// would send the reader looking for a memory shortage.
HGLOBAL findBlock(JNIEnv* env, jint handle) {
    HGLOBAL block = FindBuffer(handle);
    if (!block) {
        char text[40];
        snprintf(text, sizeof text, "invalid handle %d", handle);
        throwJava(env, kIndexOutOfBounds, text);
    }
    return block;
}

// True when offset..offset+length lies inside the block. The end is computed in 64 bits:
// a large offset plus a length must not wrap round to a small number and pass.
bool checkRange(JNIEnv* env, HGLOBAL block, jint offset, jint length) {
    long long end = (long long)offset + length;
    long long capacity = (long long)GlobalSize(block);
    if (offset >= 0 && length >= 0 && end <= capacity) return true;
    char text[64];
    // A negative length is no range beyond the end: "7 > 16" would say it was.
    if (length < 0)
        snprintf(text, sizeof text, "negative length %d", length);
    else
        snprintf(text, sizeof text, "%lld > %lld", end, capacity);
    throwJava(env, kIndexOutOfBounds, text);
    return false;
}

// The VM's array-region functions do not check for a null array: they would crash.
bool checkArray(JNIEnv* env, jbyteArray array) {
    if (!array) throwJava(env, kNullPointer, nullptr);
    return array != nullptr;
}

jint newBuffer(JNIEnv* env, jint size) {
    HGLOBAL block = allocateBlock(env, size);
    if (!block) return 0;
    jint handle;
    {
        BufferTableLock lock;
        handle = AddBuffer(block);
    }
    if (!handle) {
        GlobalFree(block);
        throwOutOfMemory(env, ERROR_NOT_ENOUGH_MEMORY);
    }
    return handle;
}

}  // namespace

extern "C" {

JNIEXPORT jlong JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1alloc(JNIEnv* env, jobject, jint size) {
    return newBuffer(env, size);
}

// The handle stays the same whether the block grows in place or moves.
JNIEXPORT jlong JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1realloc(JNIEnv* env, jobject, jint handle, jint size) {
    if (!handle) return newBuffer(env, size);
    BufferTableLock lock;
    HGLOBAL old = findBlock(env, handle);
    if (!old) return 0;
    // A fixed block without GMEM_MOVEABLE can only change in place.
    HGLOBAL block = GlobalReAlloc(old, SIZE_T(size), GMEM_ZEROINIT);
    if (block) {
        ReplaceBuffer(handle, block);
        return handle;
    }
    block = allocateBlock(env, size);
    if (!block) return 0;   // the old block stays as it was
    SIZE_T keep = GlobalSize(old);
    if (keep > SIZE_T(size)) keep = SIZE_T(size);
    memcpy(block, old, keep);
    GlobalFree(old);
    ReplaceBuffer(handle, block);
    return handle;
}

JNIEXPORT void JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1free(JNIEnv* env, jobject, jint handle) {
    if (!handle) return;
    BufferTableLock lock;
    HGLOBAL block = findBlock(env, handle);
    if (!block) return;
    RemoveBuffer(handle);
    GlobalFree(block);
}

JNIEXPORT jlong JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1cap(JNIEnv* env, jobject, jint handle) {
    if (!handle) return 0;
    BufferTableLock lock;
    HGLOBAL block = findBlock(env, handle);
    return block ? jlong(GlobalSize(block)) : 0;
}

JNIEXPORT void JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1read(JNIEnv* env, jobject, jint handle, jint offset,
                                                                 jbyteArray array, jint start, jint length) {
    if (!handle) return;
    BufferTableLock lock;
    HGLOBAL block = findBlock(env, handle);
    if (!block || !checkRange(env, block, offset, length) || !checkArray(env, array)) return;
    // SetByteArrayRegion raises the Java exception itself when start..start+length is
    // not inside the array.
    env->SetByteArrayRegion(array, start, length, static_cast<const jbyte*>(block) + offset);
}

JNIEXPORT void JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1write(JNIEnv* env, jobject, jint handle, jint offset,
                                                                  jbyteArray array, jint start, jint length) {
    if (!handle) return;
    BufferTableLock lock;
    HGLOBAL block = findBlock(env, handle);
    if (!block || length == 0 || !checkRange(env, block, offset, length) || !checkArray(env, array)) return;
    env->GetByteArrayRegion(array, start, length, static_cast<jbyte*>(block) + offset);
}

JNIEXPORT jint JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1readi(JNIEnv* env, jobject, jint handle, jint offset) {
    if (!handle) return 0;
    BufferTableLock lock;
    HGLOBAL block = findBlock(env, handle);
    if (!block || !checkRange(env, block, offset, sizeof(jint))) return 0;
    jint value;
    memcpy(&value, static_cast<const char*>(block) + offset, sizeof value);   // offset need not be aligned
    return value;
}

JNIEXPORT void JNICALL Java_com_qzvltd_tarnwick_util_wmb_n_1writei(JNIEnv* env, jobject, jint handle, jint offset,
                                                                   jint value) {
    if (!handle) return;
    BufferTableLock lock;
    HGLOBAL block = findBlock(env, handle);
    if (!block || !checkRange(env, block, offset, sizeof(jint))) return;
    memcpy(static_cast<char*>(block) + offset, &value, sizeof value);
}

}  // extern "C"
