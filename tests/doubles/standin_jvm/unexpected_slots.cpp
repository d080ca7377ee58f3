// The table slots the service host must never call: each is filled with a function of the
// slot's own signature (so that a __stdcall callee still pops the right number of bytes)
// that journals "unexpected <table> slot <index> <name>", writes it to standard error and
// returns zero, null, or JNI_ERR for a jint result.
#include "standin_jvm.h"

#include <cstddef>
#include <type_traits>

// The va_list of the *V slots carries a type attribute that a template argument drops;
// the type stays a plain pointer, so the signatures still match.
#pragma GCC diagnostic ignored "-Wignored-attributes"

namespace {

// Every function slot of JNINativeInterface_ in jni.h; the count is checked below.
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

enum Table { ENV_TABLE, VM_TABLE };

const size_t kEnvSlots = sizeof(JNINativeInterface_) / sizeof(void*);
const size_t kVmSlots = sizeof(JNIInvokeInterface_) / sizeof(void*);
#define COUNT_SLOT(name) +1
static_assert(4 JNI_ENV_SLOTS(COUNT_SLOT) == kEnvSlots, "the slot list must name every function of jni.h's table");
static_assert(3 JNI_VM_SLOTS(COUNT_SLOT) == kVmSlots, "the slot list must name every function of jni.h's table");

const char* envSlotNames[kEnvSlots];
const char* vmSlotNames[kVmSlots];

void reportUnexpected(Table table, size_t slot) {
    const char* name = table == ENV_TABLE ? envSlotNames[slot] : vmSlotNames[slot];
    Complain("unexpected %s slot %u %s", table == ENV_TABLE ? "JNIEnv" : "JavaVM", unsigned(slot), name);
}

template <typename R>
R failedResult() {
    if constexpr (std::is_same_v<R, jint>) return JNI_ERR;
    else return R();
}

template <Table T, size_t Slot, typename F>
struct Unexpected;

template <Table T, size_t Slot, typename R, typename... A>
struct Unexpected<T, Slot, R(JNICALL*)(A...)> {
    static R JNICALL call(A...) {
        reportUnexpected(T, Slot);
        return failedResult<R>();
    }
};

template <Table T, size_t Slot, typename R, typename... A>
struct Unexpected<T, Slot, R(JNICALL*)(A..., ...)> {
    static R JNICALL call(A..., ...) {
        reportUnexpected(T, Slot);
        return failedResult<R>();
    }
};

}  // namespace

#define FILL_ENV_SLOT(name)                                                                                  \
    envSlotNames[offsetof(JNINativeInterface_, name) / sizeof(void*)] = #name;                               \
    table->name = &Unexpected<ENV_TABLE, offsetof(JNINativeInterface_, name) / sizeof(void*),                \
                              decltype(table->name)>::call;

#define FILL_VM_SLOT(name)                                                                                   \
    vmSlotNames[offsetof(JNIInvokeInterface_, name) / sizeof(void*)] = #name;                                \
    table->name = &Unexpected<VM_TABLE, offsetof(JNIInvokeInterface_, name) / sizeof(void*),                 \
                              decltype(table->name)>::call;

void FillUnexpectedEnvSlots(JNINativeInterface_* table) { JNI_ENV_SLOTS(FILL_ENV_SLOT) }

void FillUnexpectedVmSlots(JNIInvokeInterface_* table) { JNI_VM_SLOTS(FILL_VM_SLOT) }
