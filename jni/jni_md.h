/* Machine-dependent JNI types for Windows targets, used with the jni.h of the
   installed OpenJDK: exported natives are __declspec(dllexport) and __stdcall,
   jint is 32 bits and jlong 64 bits on both architectures. */
#ifndef JNI_MD_H_WINDOWS
#define JNI_MD_H_WINDOWS

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
#define JNICALL __stdcall

typedef int jint;
typedef long long jlong;
typedef signed char jbyte;

#endif
