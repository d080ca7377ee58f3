// The JNI environment functions of the stand-in VM that the service host calls: classes,
// method IDs, the four Call*Method forms it uses, the argument array and its strings,
// global references, UTF strings and exceptions. Every other slot fails as unexpected.
#include "standin_jvm.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kNoClassDefFound[] = "java/lang/NoClassDefFoundError";
const char kNoSuchMethod[] = "java/lang/NoSuchMethodError";

LONG arrayCalls, emptyArrayCalls, stringCalls, setElementCalls;
LONG unreleasedUtf;

std::string outcome(const ThreadEnv* self, const void* result) {
    if (self->pending) return "throw " + self->pending->type->text;
    return result ? "ok" : "null";
}

// Applies a scripted failure; true when the call fails (its result is then null).
bool injected(ThreadEnv* self, const Failure& failure, LONG* counter) {
    if (!failure.Fires(InterlockedIncrement(counter))) return false;
    if (failure.action == Failure::THROW) Throw(self, failure.exception);
    return true;
}

JavaObject* referenced(const void* reference, const char* function, const char* what) {
    JavaObject* object = AsObject(reference);
    if (!object) Complain("misuse %s bad-reference %s", function, what);
    return object;
}

JavaObject* referencedClass(const void* reference, const char* function) {
    JavaObject* type = referenced(reference, function, "class");
    if (type && type->kind != Kind::CLASS) {
        Complain("misuse %s not-a-class %s", function, Describe(type).c_str());
        return nullptr;
    }
    return type;
}

// The method ID and its receiver as a Call*Method function gets them; null when the call
// cannot go on. `receiver` is the class for a static method.
const JavaMethod* calledMethod(const char* function, const void* receiver, jmethodID id, bool isStatic) {
    const JavaMethod* method = AsMethod(id);
    if (!method) {
        Complain("misuse %s bad-method-id", function);
        return nullptr;
    }
    JavaObject* object = referenced(receiver, function, isStatic ? "class" : "object");
    if (!object) return nullptr;
    if (method->isStatic != isStatic) {
        Complain("misuse %s %s-method %s", function, method->isStatic ? "static" : "instance", method->name);
        return nullptr;
    }
    const std::string& owner = isStatic ? object->text : object->type->text;
    if ((isStatic && object->kind != Kind::CLASS) || owner != method->className) {
        Complain("misuse %s method %s.%s on %s", function, method->className, method->name, Describe(object).c_str());
        return nullptr;
    }
    return method;
}

Presence classPresence(const std::string& name) {
    if (name == kLauncherClass) return g_script.launcherClass;
    if (name == kManagerClass) return g_script.managerClass;
    if (name == kStringClass) return g_script.stringClass;
    if (name == "java/lang/Class" || name == "java/lang/Object") return Presence::PRESENT;
    return Presence::MISSING;
}

Presence methodPresence(const JavaMethod* method) {
    if (!method) return Presence::MISSING;
    if (method->kind == MethodKind::MAIN) return g_script.mainMethod;
    if (method->kind == MethodKind::GET_INSTANCE) return g_script.getInstanceMethod;
    return Presence::PRESENT;
}

jint JNICALL jniGetVersion(JNIEnv* env) {
    if (!Enter(env, "GetVersion")) return JNI_ERR;
    Journal("GetVersion -> 0x%08x", JNI_VERSION_1_8);
    return JNI_VERSION_1_8;
}

jclass JNICALL jniFindClass(JNIEnv* env, const char* name) {
    ThreadEnv* self = Enter(env, "FindClass");
    if (!self) return nullptr;
    if (name && !strcmp(name, kLauncherClass)) Sleep(g_script.findLauncherDelayMs);
    JavaObject* type = nullptr;
    Presence presence = name ? classPresence(name) : Presence::MISSING;
    if (presence == Presence::PRESENT) type = ClassNamed(name);
    else if (presence == Presence::MISSING) Throw(self, kNoClassDefFound);
    Journal("FindClass %s -> %s", Printable(name).c_str(), outcome(self, type).c_str());
    return reinterpret_cast<jclass>(type);
}

jmethodID methodID(JNIEnv* env, const char* function, jclass clazz, const char* name, const char* sig,
                   bool isStatic) {
    ThreadEnv* self = Enter(env, function);
    if (!self) return nullptr;
    JavaObject* type = referencedClass(clazz, function);
    if (!type) return nullptr;
    const JavaMethod* method = FindMethod(type->text, name, sig, isStatic);
    Presence presence = methodPresence(method);
    if (presence != Presence::PRESENT) method = nullptr;
    if (presence == Presence::MISSING) Throw(self, kNoSuchMethod);
    Journal("%s %s %s %s -> %s", function, type->text.c_str(), Printable(name).c_str(), Printable(sig).c_str(),
            outcome(self, method).c_str());
    return reinterpret_cast<jmethodID>(const_cast<JavaMethod*>(method));
}

jmethodID JNICALL jniGetStaticMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return methodID(env, "GetStaticMethodID", clazz, name, sig, true);
}

jmethodID JNICALL jniGetMethodID(JNIEnv* env, jclass clazz, const char* name, const char* sig) {
    return methodID(env, "GetMethodID", clazz, name, sig, false);
}

jclass JNICALL jniGetObjectClass(JNIEnv* env, jobject obj) {
    ThreadEnv* self = Enter(env, "GetObjectClass");
    JavaObject* object = referenced(obj, "GetObjectClass", "object");
    if (!self || !object) return nullptr;
    Journal("GetObjectClass %s -> %s", Describe(object).c_str(), object->type->text.c_str());
    return reinterpret_cast<jclass>(object->type);
}

void JNICALL jniCallStaticVoidMethod(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    ThreadEnv* self = Enter(env, "CallStaticVoidMethod");
    const JavaMethod* method = calledMethod("CallStaticVoidMethod", clazz, id, true);
    if (!self || !method) return;
    if (method->kind != MethodKind::MAIN) {
        Complain("misuse CallStaticVoidMethod wrong-return-type %s", method->name);
        return;
    }
    va_list args;
    va_start(args, id);
    jobjectArray array = va_arg(args, jobjectArray);
    va_end(args);
    JavaObject* object = array ? referenced(array, "CallStaticVoidMethod", "argument") : nullptr;
    if (array && !object) return;
    RunMain(self, object);
}

jobject JNICALL jniCallStaticObjectMethod(JNIEnv* env, jclass clazz, jmethodID id, ...) {
    ThreadEnv* self = Enter(env, "CallStaticObjectMethod");
    const JavaMethod* method = calledMethod("CallStaticObjectMethod", clazz, id, true);
    if (!self || !method) return nullptr;
    if (method->kind != MethodKind::GET_INSTANCE) {
        Complain("misuse CallStaticObjectMethod wrong-return-type %s", method->name);
        return nullptr;
    }
    return reinterpret_cast<jobject>(CallGetInstance(self));
}

jobject JNICALL jniCallObjectMethod(JNIEnv* env, jobject obj, jmethodID id, ...) {
    ThreadEnv* self = Enter(env, "CallObjectMethod");
    const JavaMethod* method = calledMethod("CallObjectMethod", obj, id, false);
    if (!self || !method) return nullptr;
    if (method->kind != MethodKind::GET_NAME) {
        Complain("misuse CallObjectMethod wrong-return-type %s", method->name);
        return nullptr;
    }
    return reinterpret_cast<jobject>(CallGetName(self, AsObject(obj)));
}

void JNICALL jniCallVoidMethod(JNIEnv* env, jobject obj, jmethodID id, ...) {
    ThreadEnv* self = Enter(env, "CallVoidMethod");
    const JavaMethod* method = calledMethod("CallVoidMethod", obj, id, false);
    if (!self || !method) return;
    if (method->kind != MethodKind::DISPATCH_EVENT) {
        Complain("misuse CallVoidMethod wrong-return-type %s", method->name);
        return;
    }
    va_list args;
    va_start(args, id);
    jint code = va_arg(args, jint);
    va_end(args);
    DispatchEvent(self, AsObject(obj), code);
}

jobjectArray JNICALL jniNewObjectArray(JNIEnv* env, jsize length, jclass elementClass, jobject initial) {
    ThreadEnv* self = Enter(env, "NewObjectArray");
    JavaObject* type = referencedClass(elementClass, "NewObjectArray");
    if (!self || !type) return nullptr;
    JavaObject* first = initial ? referenced(initial, "NewObjectArray", "initial element") : nullptr;
    JavaObject* array = nullptr;
    if (length < 0) {
        Throw(self, "java/lang/NegativeArraySizeException");
    } else if (length == 0 ? !injected(self, g_script.newEmptyArray, &emptyArrayCalls)
                           : !injected(self, g_script.newObjectArray, &arrayCalls)) {
        array = NewJavaArray(type, length, first);
    }
    Journal("NewObjectArray %ld %s -> %s", long(length), type->text.c_str(), outcome(self, array).c_str());
    return reinterpret_cast<jobjectArray>(array);
}

jstring JNICALL jniNewStringUTF(JNIEnv* env, const char* utf) {
    ThreadEnv* self = Enter(env, "NewStringUTF");
    if (!self) return nullptr;
    JavaObject* string = nullptr;
    if (utf && !injected(self, g_script.newStringUTF, &stringCalls)) string = NewJavaString(utf);
    Journal("NewStringUTF %s -> %s", Printable(utf).c_str(), outcome(self, string).c_str());
    return reinterpret_cast<jstring>(string);
}

void JNICALL jniSetObjectArrayElement(JNIEnv* env, jobjectArray array, jsize index, jobject value) {
    ThreadEnv* self = Enter(env, "SetObjectArrayElement");
    JavaObject* target = referenced(array, "SetObjectArrayElement", "array");
    JavaObject* element = value ? referenced(value, "SetObjectArrayElement", "element") : nullptr;
    if (!self || !target || (value && !element)) return;
    if (target->kind != Kind::ARRAY) {
        Complain("misuse SetObjectArrayElement not-an-array %s", Describe(target).c_str());
        return;
    }
    if (index < 0 || size_t(index) >= target->elements.size()) {
        Throw(self, "java/lang/ArrayIndexOutOfBoundsException");
    } else if (element && target->text == kStringClass && element->kind != Kind::STRING) {
        Throw(self, "java/lang/ArrayStoreException");
    } else if (!injected(self, g_script.setObjectArrayElement, &setElementCalls)) {
        target->elements[index] = element;
    }
    Journal("SetObjectArrayElement %ld %s -> %s", long(index), Describe(element).c_str(),
            self->pending ? outcome(self, nullptr).c_str() : "ok");
}

jobject JNICALL jniNewGlobalRef(JNIEnv* env, jobject obj) {
    ThreadEnv* self = Enter(env, "NewGlobalRef");
    JavaObject* object = obj ? referenced(obj, "NewGlobalRef", "object") : nullptr;
    if (!self) return nullptr;
    Journal("NewGlobalRef %s", Describe(object).c_str());
    return reinterpret_cast<jobject>(object);
}

const char* JNICALL jniGetStringUTFChars(JNIEnv* env, jstring str, jboolean* isCopy) {
    ThreadEnv* self = Enter(env, "GetStringUTFChars");
    JavaObject* string = referenced(str, "GetStringUTFChars", "string");
    if (!self || !string) return nullptr;
    if (string->kind != Kind::STRING) {
        Complain("misuse GetStringUTFChars not-a-string %s", Describe(string).c_str());
        return nullptr;
    }
    char* chars = static_cast<char*>(malloc(string->text.size() + 1));
    memcpy(chars, string->text.c_str(), string->text.size() + 1);
    if (isCopy) *isCopy = JNI_TRUE;
    InterlockedIncrement(&unreleasedUtf);
    Journal("GetStringUTFChars %s", Printable(chars).c_str());
    return chars;
}

void JNICALL jniReleaseStringUTFChars(JNIEnv* env, jstring str, const char* chars) {
    ThreadEnv* self = Enter(env, "ReleaseStringUTFChars", true);
    if (!self || !referenced(str, "ReleaseStringUTFChars", "string")) return;
    Journal("ReleaseStringUTFChars %s", Printable(chars).c_str());
    if (chars) InterlockedDecrement(&unreleasedUtf);
    free(const_cast<char*>(chars));
}

jboolean JNICALL jniExceptionCheck(JNIEnv* env) {
    ThreadEnv* self = Enter(env, "ExceptionCheck", true);
    if (!self) return JNI_FALSE;
    Journal("ExceptionCheck -> %d", self->pending ? 1 : 0);
    return self->pending ? JNI_TRUE : JNI_FALSE;
}

jthrowable JNICALL jniExceptionOccurred(JNIEnv* env) {
    ThreadEnv* self = Enter(env, "ExceptionOccurred", true);
    if (!self) return nullptr;
    Journal("ExceptionOccurred -> %s", self->pending ? self->pending->type->text.c_str() : "null");
    return reinterpret_cast<jthrowable>(self->pending);
}

// As in a real VM, describing the pending exception prints it and clears it.
void JNICALL jniExceptionDescribe(JNIEnv* env) {
    ThreadEnv* self = Enter(env, "ExceptionDescribe", true);
    if (!self) return;
    Journal("ExceptionDescribe %s", self->pending ? self->pending->type->text.c_str() : "none");
    if (!self->pending) return;
    fprintf(stderr, "Exception in thread \"%s\" %s\n", self->name.c_str(), JavaName(self->pending->type->text).c_str());
    fflush(stderr);
    self->pending = nullptr;
}

void JNICALL jniExceptionClear(JNIEnv* env) {
    ThreadEnv* self = Enter(env, "ExceptionClear", true);
    if (!self) return;
    Journal("ExceptionClear %s", self->pending ? self->pending->type->text.c_str() : "none");
    self->pending = nullptr;
}

JNINativeInterface_ buildTable() {
    JNINativeInterface_ table = {};
    FillUnexpectedEnvSlots(&table);
    table.GetVersion = jniGetVersion;
    table.FindClass = jniFindClass;
    table.GetStaticMethodID = jniGetStaticMethodID;
    table.GetMethodID = jniGetMethodID;
    table.GetObjectClass = jniGetObjectClass;
    table.CallStaticVoidMethod = jniCallStaticVoidMethod;
    table.CallStaticObjectMethod = jniCallStaticObjectMethod;
    table.CallObjectMethod = jniCallObjectMethod;
    table.CallVoidMethod = jniCallVoidMethod;
    table.NewObjectArray = jniNewObjectArray;
    table.NewStringUTF = jniNewStringUTF;
    table.SetObjectArrayElement = jniSetObjectArrayElement;
    table.NewGlobalRef = jniNewGlobalRef;
    table.GetStringUTFChars = jniGetStringUTFChars;
    table.ReleaseStringUTFChars = jniReleaseStringUTFChars;
    table.ExceptionCheck = jniExceptionCheck;
    table.ExceptionOccurred = jniExceptionOccurred;
    table.ExceptionDescribe = jniExceptionDescribe;
    table.ExceptionClear = jniExceptionClear;
    return table;
}

}  // namespace

const JNINativeInterface_* EnvFunctions() {
    static const JNINativeInterface_ table = buildTable();
    return &table;
}

long UnreleasedUtfChars() { return unreleasedUtf; }
