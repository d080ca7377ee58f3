// dist/krln64.dll loaded with LoadLibrary and its natives looked up by their JNI names,
// for the tests that call them through the test JNI environment.
#pragma once

#include <windows.h>

#include <jni.h>

#include <string>

struct KrlnLibrary {
    HMODULE module = nullptr;
    std::string missing;   // exports not found, space-separated
    jlong(JNICALL* n_alloc)(JNIEnv*, jclass, jint) = nullptr;
    jlong(JNICALL* n_realloc)(JNIEnv*, jclass, jint, jint) = nullptr;
    void(JNICALL* n_free)(JNIEnv*, jclass, jint) = nullptr;
    jlong(JNICALL* n_cap)(JNIEnv*, jclass, jint) = nullptr;
    void(JNICALL* n_read)(JNIEnv*, jclass, jint, jint, jbyteArray, jint, jint) = nullptr;
    void(JNICALL* n_write)(JNIEnv*, jclass, jint, jint, jbyteArray, jint, jint) = nullptr;
    jint(JNICALL* n_readi)(JNIEnv*, jclass, jint, jint) = nullptr;
    void(JNICALL* n_writei)(JNIEnv*, jclass, jint, jint, jint) = nullptr;
    void(JNICALL* applyIcon)(JNIEnv*, jclass, jstring) = nullptr;
    jint(JNICALL* gpd)(JNIEnv*, jclass) = nullptr;
    jint(JNICALL* grd)(JNIEnv*, jclass) = nullptr;
};

// Loaded on first use and kept for the life of the test program, as a VM keeps it.
const KrlnLibrary& Krln();

// Asserts in the calling test that the library and all eleven natives were found.
#define ASSERT_KRLN_LOADED()                                                   \
    do {                                                                       \
        ASSERT_NE(Krln().module, nullptr) << "LoadLibrary of dist/krln64.dll"; \
        ASSERT_EQ(Krln().missing, "") << "exports not found";                  \
    } while (0)
