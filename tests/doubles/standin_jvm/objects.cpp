// The Java objects of the stand-in VM: classes, strings, arrays, instances and exceptions
// are small structs handed out as JNI references, and the few methods the simulated
// server has are fixed method IDs. Objects live until the process ends.
#include "standin_jvm.h"

#include <cstring>
#include <map>

const char kLauncherClass[] = "launcher";
const char kManagerClass[] = "com/qzvltd/halvorin/scm/SCMEventManager";
const char kStringClass[] = "java/lang/String";

namespace {

const DWORD kObjectMagic = 0x4F4A5653;   // "SVJO"
const DWORD kMethodMagic = 0x4D4A5653;   // "SVJM"
const char kClassClass[] = "java/lang/Class";

JavaMethod methods[] = {
    {kMethodMagic, MethodKind::MAIN, kLauncherClass, "main", "([Ljava/lang/String;)V", true},
    {kMethodMagic, MethodKind::GET_INSTANCE, kManagerClass, "getInstance",
     "()Lcom/qzvltd/halvorin/scm/SCMEventManager;", true},
    {kMethodMagic, MethodKind::DISPATCH_EVENT, kManagerClass, "dispatchSCMEvent", "(I)V", false},
    {kMethodMagic, MethodKind::GET_NAME, kClassClass, "getName", "()Ljava/lang/String;", false},
};

std::map<std::string, JavaObject*> classes;   // guarded by g_vmLock

JavaObject* newObject(Kind kind, JavaObject* type, const std::string& text) {
    return new JavaObject{kObjectMagic, kind, type, text, {}};
}

}  // namespace

JavaObject* ClassNamed(const std::string& internalName) {
    EnterCriticalSection(&g_vmLock);
    // java/lang/Class is its own class; every other class object is an instance of it.
    JavaObject*& classClass = classes[kClassClass];
    if (!classClass) {
        classClass = newObject(Kind::CLASS, nullptr, kClassClass);
        classClass->type = classClass;
    }
    JavaObject*& entry = classes[internalName];
    if (!entry) entry = newObject(Kind::CLASS, classClass, internalName);
    JavaObject* result = entry;
    LeaveCriticalSection(&g_vmLock);
    return result;
}

JavaObject* NewJavaString(const std::string& text) {
    return newObject(Kind::STRING, ClassNamed(kStringClass), text);
}

JavaObject* NewJavaArray(JavaObject* elementClass, int length, JavaObject* initial) {
    JavaObject* array = newObject(Kind::ARRAY, ClassNamed("[L" + elementClass->text + ";"), elementClass->text);
    array->elements.assign(length, initial);
    return array;
}

JavaObject* NewJavaInstance(JavaObject* type) { return newObject(Kind::INSTANCE, type, ""); }

JavaObject* NewThrowable(const std::string& className) {
    return newObject(Kind::THROWABLE, ClassNamed(InternalName(className)), "");
}

JavaObject* AsObject(const void* reference) {
    auto* object = static_cast<JavaObject*>(const_cast<void*>(reference));
    return object && object->magic == kObjectMagic ? object : nullptr;
}

const JavaMethod* FindMethod(const std::string& className, const char* name, const char* signature,
                             bool isStatic) {
    if (!name || !signature) return nullptr;
    for (const JavaMethod& method : methods) {
        if (className == method.className && !strcmp(name, method.name) && !strcmp(signature, method.signature) &&
            isStatic == method.isStatic)
            return &method;
    }
    return nullptr;
}

const JavaMethod* AsMethod(jmethodID id) {
    auto* method = reinterpret_cast<const JavaMethod*>(id);
    return method && method->magic == kMethodMagic ? method : nullptr;
}

std::string Describe(const JavaObject* object) {
    if (!object) return "null";
    switch (object->kind) {
    case Kind::CLASS: return "class " + object->text;
    case Kind::STRING: return "string " + Printable(object->text);
    case Kind::ARRAY: return object->text + "[" + std::to_string(object->elements.size()) + "]";
    case Kind::INSTANCE: return "instance " + object->type->text;
    case Kind::THROWABLE: return "throwable " + object->type->text;
    }
    return "?";
}

std::string InternalName(const std::string& name) {
    std::string result = name;
    for (char& c : result)
        if (c == '.') c = '/';
    return result;
}

std::string JavaName(const std::string& name) {
    std::string result = name;
    for (char& c : result)
        if (c == '/') c = '.';
    return result;
}
