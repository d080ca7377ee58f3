// The JNIEnv functions the service host uses, each forwarded to the Java side as one
// request on the calling thread's connection; every other slot aborts (unimplemented_slots.cpp).
// Method IDs live here: the variadic Call*Method functions need the method's signature
// to take their arguments off the stack.
#include "bridge_jvm.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <map>

namespace {

const DWORD kMethodMagic = 0x4A424D54;   // "JBMT"

struct BridgeMethod {
    DWORD magic;
    int32_t id;
    bool isStatic;
    std::string signature;
};

SRWLOCK methodsLock = SRWLOCK_INIT;
std::map<int32_t, BridgeMethod*> methods;   // one jmethodID per Java method, never freed

jmethodID methodFor(int32_t id, bool isStatic, const char* signature) {
    if (!id) return nullptr;
    AcquireSRWLockExclusive(&methodsLock);
    BridgeMethod*& method = methods[id];
    if (!method) method = new BridgeMethod{kMethodMagic, id, isStatic, signature};
    ReleaseSRWLockExclusive(&methodsLock);
    return reinterpret_cast<jmethodID>(method);
}

const BridgeMethod* asMethod(jmethodID id, const char* function) {
    auto* method = reinterpret_cast<const BridgeMethod*>(id);
    if (!method || IsBadReadPtr(method, sizeof *method) || method->magic != kMethodMagic)
        Fatal("%s given %p, which is not a method ID of this VM", function, static_cast<void*>(id));
    return method;
}

jmethodID lookUpMethod(JNIEnv* env, const char* function, Op op, jclass type, const char* name, const char* signature) {
    Request request(env, function, op);
    request.ref(type).utf(name).utf(signature).send();
    return methodFor(request.readInt(), op == OP_GET_STATIC_METHOD_ID, signature);
}

// Adds the arguments of the method's signature, taken from the variadic list as C passes
// them: small integers promoted to int, float to double, references as pointers.
void addArguments(Request& request, const char* function, const std::string& signature, va_list args) {
    std::string types;
    for (size_t i = 1; i < signature.size() && signature[i] != ')'; i++) {
        char type = signature[i];
        if (type == '[') {
            while (signature[i] == '[') i++;
            if (signature[i] == 'L') i = signature.find(';', i);
            type = 'L';
        } else if (type == 'L') {
            i = signature.find(';', i);
        }
        if (i == std::string::npos) Fatal("%s: malformed signature %s", function, signature.c_str());
        types += type;
    }
    request.int32(int32_t(types.size()));
    for (char type : types) {
        request.byte(type);
        switch (type) {
        case 'J': request.int64(va_arg(args, jlong)); break;
        case 'F':
        case 'D': request.real(va_arg(args, double)); break;
        case 'L': request.ref(va_arg(args, jobject)); break;
        default: request.int32(va_arg(args, int)); break;   // Z B C S I
        }
    }
}

// The Call<kind>Method functions: kind 'V' for void, 'L' for a reference result.
jobject callMethod(JNIEnv* env, const char* function, bool isStatic, jobject target, jmethodID id, char kind,
                   va_list args) {
    const BridgeMethod* method = asMethod(id, function);
    if (method->isStatic != isStatic)
        Fatal("%s given the ID of %s method", function, method->isStatic ? "a static" : "an instance");
    char result = method->signature[method->signature.find(')') + 1];
    if ((kind == 'V') != (result == 'V') || (kind == 'L' && result != 'L' && result != '['))
        Fatal("%s used for a method of signature %s", function, method->signature.c_str());
    Request request(env, function, OP_CALL);
    request.byte(isStatic).ref(target).int32(method->id);
    addArguments(request, function, method->signature, args);
    request.send();
    return kind == 'L' ? request.readRef() : nullptr;
}

jclass JNICALL findClass(JNIEnv* env, const char* name) {
    Request request(env, "FindClass", OP_FIND_CLASS);
    request.utf(name).send();
    return static_cast<jclass>(request.readRef());
}

jmethodID JNICALL getMethodID(JNIEnv* env, jclass type, const char* name, const char* signature) {
    return lookUpMethod(env, "GetMethodID", OP_GET_METHOD_ID, type, name, signature);
}

jmethodID JNICALL getStaticMethodID(JNIEnv* env, jclass type, const char* name, const char* signature) {
    return lookUpMethod(env, "GetStaticMethodID", OP_GET_STATIC_METHOD_ID, type, name, signature);
}

jclass JNICALL getObjectClass(JNIEnv* env, jobject object) {
    Request request(env, "GetObjectClass", OP_GET_OBJECT_CLASS);
    request.ref(object).send();
    return static_cast<jclass>(request.readRef());
}

void JNICALL callStaticVoidMethod(JNIEnv* env, jclass type, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    callMethod(env, "CallStaticVoidMethod", true, type, method, 'V', args);
    va_end(args);
}

jobject JNICALL callStaticObjectMethod(JNIEnv* env, jclass type, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    jobject result = callMethod(env, "CallStaticObjectMethod", true, type, method, 'L', args);
    va_end(args);
    return result;
}

void JNICALL callVoidMethod(JNIEnv* env, jobject object, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    callMethod(env, "CallVoidMethod", false, object, method, 'V', args);
    va_end(args);
}

jobject JNICALL callObjectMethod(JNIEnv* env, jobject object, jmethodID method, ...) {
    va_list args;
    va_start(args, method);
    jobject result = callMethod(env, "CallObjectMethod", false, object, method, 'L', args);
    va_end(args);
    return result;
}

jobjectArray JNICALL newObjectArray(JNIEnv* env, jsize length, jclass type, jobject initial) {
    Request request(env, "NewObjectArray", OP_NEW_OBJECT_ARRAY);
    request.int32(length).ref(type).ref(initial).send();
    return static_cast<jobjectArray>(request.readRef());
}

void JNICALL setObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    Request(env, "SetObjectArrayElement", OP_SET_OBJECT_ARRAY_ELEMENT).ref(array).int32(index).ref(value).send();
}

jstring JNICALL newStringUTF(JNIEnv* env, const char* text) {
    if (!text) return nullptr;   // as the VM does
    Request request(env, "NewStringUTF", OP_NEW_STRING_UTF);
    request.utf(text).send();
    return static_cast<jstring>(request.readRef());
}

const char* JNICALL getStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy) {
    Request request(env, "GetStringUTFChars", OP_GET_STRING_UTF_CHARS);
    request.ref(text).send();
    std::string chars = request.readUtf();
    if (isCopy) *isCopy = JNI_TRUE;
    return strdup(chars.c_str());
}

void JNICALL releaseStringUTFChars(JNIEnv* env, jstring text, const char* chars) {
    free(const_cast<char*>(chars));
}

jobject JNICALL newGlobalRef(JNIEnv* env, jobject object) {
    Request request(env, "NewGlobalRef", OP_NEW_GLOBAL_REF);
    request.ref(object).send();
    return request.readRef();
}

jboolean JNICALL exceptionCheck(JNIEnv* env) {
    Request request(env, "ExceptionCheck", OP_EXCEPTION_CHECK);
    request.send();
    return request.readBool() ? JNI_TRUE : JNI_FALSE;
}

jthrowable JNICALL exceptionOccurred(JNIEnv* env) {
    Request request(env, "ExceptionOccurred", OP_EXCEPTION_OCCURRED);
    request.send();
    return static_cast<jthrowable>(request.readRef());
}

void JNICALL exceptionDescribe(JNIEnv* env) { Request(env, "ExceptionDescribe", OP_EXCEPTION_DESCRIBE).send(); }

void JNICALL exceptionClear(JNIEnv* env) { Request(env, "ExceptionClear", OP_EXCEPTION_CLEAR).send(); }

JNINativeInterface_ makeTable() {
    JNINativeInterface_ table = {};
    FillUnimplementedEnvSlots(&table);
    table.FindClass = findClass;
    table.GetMethodID = getMethodID;
    table.GetStaticMethodID = getStaticMethodID;
    table.GetObjectClass = getObjectClass;
    table.CallStaticVoidMethod = callStaticVoidMethod;
    table.CallStaticObjectMethod = callStaticObjectMethod;
    table.CallVoidMethod = callVoidMethod;
    table.CallObjectMethod = callObjectMethod;
    table.NewObjectArray = newObjectArray;
    table.SetObjectArrayElement = setObjectArrayElement;
    table.NewStringUTF = newStringUTF;
    table.GetStringUTFChars = getStringUTFChars;
    table.ReleaseStringUTFChars = releaseStringUTFChars;
    table.NewGlobalRef = newGlobalRef;
    table.ExceptionCheck = exceptionCheck;
    table.ExceptionOccurred = exceptionOccurred;
    table.ExceptionDescribe = exceptionDescribe;
    table.ExceptionClear = exceptionClear;
    return table;
}

}  // namespace

const JNINativeInterface_* EnvFunctions() {
    static const JNINativeInterface_ table = makeTable();
    return &table;
}
