// Every function slot of jni.h's JNIEnv and JavaVM tables by name, and a stub of each
// slot's own signature (so that a __stdcall callee still pops the right number of bytes)
// that hands the table and slot index to a handler and returns zero, null, or JNI_ERR for
// a jint result. The test doubles fill the slots they do not implement with these stubs.
#pragma once

#include <jni.h>

#include <cstddef>
#include <type_traits>

// The va_list of the *V slots carries a type attribute that a template argument drops;
// the type stays a plain pointer, so the signatures still match.
#pragma GCC diagnostic ignored "-Wignored-attributes"

#define JNI_ENV_SLOTS(X) \
    X(GetVersion) X(DefineClass) X(FindClass) X(FromReflectedMethod) X(FromReflectedField) \
    X(ToReflectedMethod) X(GetSuperclass) X(IsAssignableFrom) X(ToReflectedField) X(Throw) X(ThrowNew) \
    X(ExceptionOccurred) X(ExceptionDescribe) X(ExceptionClear) X(FatalError) X(PushLocalFrame) \
    X(PopLocalFrame) X(NewGlobalRef) X(DeleteGlobalRef) X(DeleteLocalRef) X(IsSameObject) X(NewLocalRef) \
    X(EnsureLocalCapacity) X(AllocObject) X(NewObject) X(NewObjectV) X(NewObjectA) X(GetObjectClass) \
    X(IsInstanceOf) X(GetMethodID) X(CallObjectMethod) X(CallObjectMethodV) X(CallObjectMethodA) \
    X(CallBooleanMethod) X(CallBooleanMethodV) X(CallBooleanMethodA) X(CallByteMethod) \
    X(CallByteMethodV) X(CallByteMethodA) X(CallCharMethod) X(CallCharMethodV) X(CallCharMethodA) \
    X(CallShortMethod) X(CallShortMethodV) X(CallShortMethodA) X(CallIntMethod) X(CallIntMethodV) \
    X(CallIntMethodA) X(CallLongMethod) X(CallLongMethodV) X(CallLongMethodA) X(CallFloatMethod) \
    X(CallFloatMethodV) X(CallFloatMethodA) X(CallDoubleMethod) X(CallDoubleMethodV) \
    X(CallDoubleMethodA) X(CallVoidMethod) X(CallVoidMethodV) X(CallVoidMethodA) \
    X(CallNonvirtualObjectMethod) X(CallNonvirtualObjectMethodV) X(CallNonvirtualObjectMethodA) \
    X(CallNonvirtualBooleanMethod) X(CallNonvirtualBooleanMethodV) X(CallNonvirtualBooleanMethodA) \
    X(CallNonvirtualByteMethod) X(CallNonvirtualByteMethodV) X(CallNonvirtualByteMethodA) \
    X(CallNonvirtualCharMethod) X(CallNonvirtualCharMethodV) X(CallNonvirtualCharMethodA) \
    X(CallNonvirtualShortMethod) X(CallNonvirtualShortMethodV) X(CallNonvirtualShortMethodA) \
    X(CallNonvirtualIntMethod) X(CallNonvirtualIntMethodV) X(CallNonvirtualIntMethodA) \
    X(CallNonvirtualLongMethod) X(CallNonvirtualLongMethodV) X(CallNonvirtualLongMethodA) \
    X(CallNonvirtualFloatMethod) X(CallNonvirtualFloatMethodV) X(CallNonvirtualFloatMethodA) \
    X(CallNonvirtualDoubleMethod) X(CallNonvirtualDoubleMethodV) X(CallNonvirtualDoubleMethodA) \
    X(CallNonvirtualVoidMethod) X(CallNonvirtualVoidMethodV) X(CallNonvirtualVoidMethodA) X(GetFieldID) \
    X(GetObjectField) X(GetBooleanField) X(GetByteField) X(GetCharField) X(GetShortField) X(GetIntField) \
    X(GetLongField) X(GetFloatField) X(GetDoubleField) X(SetObjectField) X(SetBooleanField) \
    X(SetByteField) X(SetCharField) X(SetShortField) X(SetIntField) X(SetLongField) X(SetFloatField) \
    X(SetDoubleField) X(GetStaticMethodID) X(CallStaticObjectMethod) X(CallStaticObjectMethodV) \
    X(CallStaticObjectMethodA) X(CallStaticBooleanMethod) X(CallStaticBooleanMethodV) \
    X(CallStaticBooleanMethodA) X(CallStaticByteMethod) X(CallStaticByteMethodV) \
    X(CallStaticByteMethodA) X(CallStaticCharMethod) X(CallStaticCharMethodV) X(CallStaticCharMethodA) \
    X(CallStaticShortMethod) X(CallStaticShortMethodV) X(CallStaticShortMethodA) X(CallStaticIntMethod) \
    X(CallStaticIntMethodV) X(CallStaticIntMethodA) X(CallStaticLongMethod) X(CallStaticLongMethodV) \
    X(CallStaticLongMethodA) X(CallStaticFloatMethod) X(CallStaticFloatMethodV) \
    X(CallStaticFloatMethodA) X(CallStaticDoubleMethod) X(CallStaticDoubleMethodV) \
    X(CallStaticDoubleMethodA) X(CallStaticVoidMethod) X(CallStaticVoidMethodV) X(CallStaticVoidMethodA) \
    X(GetStaticFieldID) X(GetStaticObjectField) X(GetStaticBooleanField) X(GetStaticByteField) \
    X(GetStaticCharField) X(GetStaticShortField) X(GetStaticIntField) X(GetStaticLongField) \
    X(GetStaticFloatField) X(GetStaticDoubleField) X(SetStaticObjectField) X(SetStaticBooleanField) \
    X(SetStaticByteField) X(SetStaticCharField) X(SetStaticShortField) X(SetStaticIntField) \
    X(SetStaticLongField) X(SetStaticFloatField) X(SetStaticDoubleField) X(NewString) X(GetStringLength) \
    X(GetStringChars) X(ReleaseStringChars) X(NewStringUTF) X(GetStringUTFLength) X(GetStringUTFChars) \
    X(ReleaseStringUTFChars) X(GetArrayLength) X(NewObjectArray) X(GetObjectArrayElement) \
    X(SetObjectArrayElement) X(NewBooleanArray) X(NewByteArray) X(NewCharArray) X(NewShortArray) \
    X(NewIntArray) X(NewLongArray) X(NewFloatArray) X(NewDoubleArray) X(GetBooleanArrayElements) \
    X(GetByteArrayElements) X(GetCharArrayElements) X(GetShortArrayElements) X(GetIntArrayElements) \
    X(GetLongArrayElements) X(GetFloatArrayElements) X(GetDoubleArrayElements) \
    X(ReleaseBooleanArrayElements) X(ReleaseByteArrayElements) X(ReleaseCharArrayElements) \
    X(ReleaseShortArrayElements) X(ReleaseIntArrayElements) X(ReleaseLongArrayElements) \
    X(ReleaseFloatArrayElements) X(ReleaseDoubleArrayElements) X(GetBooleanArrayRegion) \
    X(GetByteArrayRegion) X(GetCharArrayRegion) X(GetShortArrayRegion) X(GetIntArrayRegion) \
    X(GetLongArrayRegion) X(GetFloatArrayRegion) X(GetDoubleArrayRegion) X(SetBooleanArrayRegion) \
    X(SetByteArrayRegion) X(SetCharArrayRegion) X(SetShortArrayRegion) X(SetIntArrayRegion) \
    X(SetLongArrayRegion) X(SetFloatArrayRegion) X(SetDoubleArrayRegion) X(RegisterNatives) \
    X(UnregisterNatives) X(MonitorEnter) X(MonitorExit) X(GetJavaVM) X(GetStringRegion) \
    X(GetStringUTFRegion) X(GetPrimitiveArrayCritical) X(ReleasePrimitiveArrayCritical) \
    X(GetStringCritical) X(ReleaseStringCritical) X(NewWeakGlobalRef) X(DeleteWeakGlobalRef) \
    X(ExceptionCheck) X(NewDirectByteBuffer) X(GetDirectBufferAddress) X(GetDirectBufferCapacity) \
    X(GetObjectRefType) X(GetModule)

#define JNI_VM_SLOTS(X) X(DestroyJavaVM) X(AttachCurrentThread) X(DetachCurrentThread) X(GetEnv) \
    X(AttachCurrentThreadAsDaemon)

enum JniTable { JNI_ENV_TABLE, JNI_VM_TABLE };

const size_t kJniEnvSlots = sizeof(JNINativeInterface_) / sizeof(void*);
const size_t kJniVmSlots = sizeof(JNIInvokeInterface_) / sizeof(void*);
#define JNI_COUNT_SLOT(name) +1
static_assert(4 JNI_ENV_SLOTS(JNI_COUNT_SLOT) == kJniEnvSlots, "the slot list must name every function of jni.h's table");
static_assert(3 JNI_VM_SLOTS(JNI_COUNT_SLOT) == kJniVmSlots, "the slot list must name every function of jni.h's table");

using JniSlotHandler = void (*)(JniTable table, size_t slot);

template <typename R>
R JniFailedResult() {
    if constexpr (std::is_same_v<R, jint>) return JNI_ERR;
    else return R();
}

template <JniSlotHandler H, JniTable T, size_t Slot, typename F>
struct JniSlotStub;

template <JniSlotHandler H, JniTable T, size_t Slot, typename R, typename... A>
struct JniSlotStub<H, T, Slot, R(JNICALL*)(A...)> {
    static R JNICALL call(A...) {
        H(T, Slot);
        return JniFailedResult<R>();
    }
};

template <JniSlotHandler H, JniTable T, size_t Slot, typename R, typename... A>
struct JniSlotStub<H, T, Slot, R(JNICALL*)(A..., ...)> {
    static R JNICALL call(A..., ...) {
        H(T, Slot);
        return JniFailedResult<R>();
    }
};

// Point every slot of a table at its stub for handler H and record each slot's name in
// names[slot]; the caller then sets the slots it implements.
template <JniSlotHandler H>
void FillJniEnvSlots(JNINativeInterface_* table, const char** names) {
#define JNI_FILL_ENV_SLOT(name)                                                                              \
    names[offsetof(JNINativeInterface_, name) / sizeof(void*)] = #name;                                      \
    table->name = &JniSlotStub<H, JNI_ENV_TABLE, offsetof(JNINativeInterface_, name) / sizeof(void*),         \
                               decltype(table->name)>::call;
    JNI_ENV_SLOTS(JNI_FILL_ENV_SLOT)
#undef JNI_FILL_ENV_SLOT
}

template <JniSlotHandler H>
void FillJniVmSlots(JNIInvokeInterface_* table, const char** names) {
#define JNI_FILL_VM_SLOT(name)                                                                               \
    names[offsetof(JNIInvokeInterface_, name) / sizeof(void*)] = #name;                                      \
    table->name = &JniSlotStub<H, JNI_VM_TABLE, offsetof(JNIInvokeInterface_, name) / sizeof(void*),          \
                               decltype(table->name)>::call;
    JNI_VM_SLOTS(JNI_FILL_VM_SLOT)
#undef JNI_FILL_VM_SLOT
}
