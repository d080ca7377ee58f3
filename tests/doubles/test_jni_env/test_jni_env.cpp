// The test JNI environment (see test_jni_env.h): a function table whose every slot
// fails the test, with the few functions the natives use filled in.
#include "test_jni_env.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <utility>

namespace test_jni {

namespace {

const char kIndexOutOfBounds[] = "java/lang/ArrayIndexOutOfBoundsException";
const char kNoClassDefFound[] = "java/lang/NoClassDefFoundError";

constexpr size_t kSlots = sizeof(JNINativeInterface_) / sizeof(void*);

// On x86-64 every function of the table has the same calling convention and the caller
// cleans up, so one shape of trap can stand in any slot.
template <size_t Slot>
void* JNICALL unexpectedCall(JNIEnv*) {
    ADD_FAILURE() << "the native called JNI function " << Slot
                  << " of the function table, which the test environment does not offer";
    return nullptr;
}

template <size_t... Slots>
void fillWithTraps(void** slots, std::index_sequence<Slots...>) {
    ((slots[Slots] = reinterpret_cast<void*>(&unexpectedCall<Slots>)), ...);
}

}  // namespace

const JNINativeInterface_* TestJniEnv::Table() {
    static const JNINativeInterface_ table = [] {
        void* slots[kSlots];
        fillWithTraps(slots, std::make_index_sequence<kSlots>());
        JNINativeInterface_ functions;
        memcpy(&functions, slots, sizeof functions);
        functions.FindClass = &TestJniEnv::FindClass;
        functions.ThrowNew = &TestJniEnv::ThrowNew;
        functions.GetByteArrayRegion = &TestJniEnv::GetByteArrayRegion;
        functions.SetByteArrayRegion = &TestJniEnv::SetByteArrayRegion;
        functions.GetStringUTFChars = &TestJniEnv::GetStringUTFChars;
        functions.ReleaseStringUTFChars = &TestJniEnv::ReleaseStringUTFChars;
        return functions;
    }();
    return &table;
}

TestJniEnv::TestJniEnv() : block_{JNIEnv_{Table()}, this} {}

TestJniEnv::~TestJniEnv() {
    EXPECT_FALSE(pending_) << "exception left pending: " << exception_.className << " \"" << exception_.message
                           << "\"";
    EXPECT_TRUE(openStrings_.empty()) << openStrings_.size() << " string(s) got and never released";
    for (const char* chars : openStrings_) delete[] chars;
}

jbyteArray TestJniEnv::NewByteArray(const std::vector<jbyte>& contents) {
    arrays_.push_back(contents);
    return reinterpret_cast<jbyteArray>(&arrays_.back());
}

std::vector<jbyte>& TestJniEnv::Bytes(jbyteArray array) { return *reinterpret_cast<std::vector<jbyte>*>(array); }

jstring TestJniEnv::NewString(const std::string& modifiedUtf8) {
    strings_.push_back(modifiedUtf8);
    return reinterpret_cast<jstring>(&strings_.back());
}

ThrownException TestJniEnv::TakeException() {
    ThrownException taken = pending_ ? exception_ : ThrownException();
    pending_ = false;
    exception_ = ThrownException();
    return taken;
}

bool TestJniEnv::CheckNoPending(const char* function) {
    if (!pending_) return true;
    ADD_FAILURE() << function << " called with " << exception_.className << " \"" << exception_.message
                  << "\" pending";
    return false;
}

std::vector<jbyte>* TestJniEnv::FindArray(jbyteArray array, const char* function) {
    for (std::vector<jbyte>& known : arrays_) {
        if (reinterpret_cast<jbyteArray>(&known) == array) return &known;
    }
    // A VM dereferences the array without a check: a null or stale reference crashes it.
    ADD_FAILURE() << function << " called with " << (array ? "an unknown" : "a null") << " array";
    return nullptr;
}

void TestJniEnv::Raise(const std::string& className, const std::string& message) {
    pending_ = true;
    exception_ = ThrownException{className, message};
}

jclass JNICALL TestJniEnv::FindClass(JNIEnv* env, const char* name) {
    TestJniEnv* self = From(env);
    self->CheckNoPending("FindClass");
    if (self->hidden_.count(name)) {
        self->Raise(kNoClassDefFound, name);
        return nullptr;
    }
    auto known = std::find(self->classes_.begin(), self->classes_.end(), name);
    if (known == self->classes_.end()) {
        self->classes_.push_back(name);
        known = self->classes_.end() - 1;
    }
    return reinterpret_cast<jclass>(&*known);
}

jint JNICALL TestJniEnv::ThrowNew(JNIEnv* env, jclass type, const char* message) {
    TestJniEnv* self = From(env);
    self->CheckNoPending("ThrowNew");
    for (const std::string& name : self->classes_) {
        if (reinterpret_cast<jclass>(const_cast<std::string*>(&name)) == type) {
            self->Raise(name, message ? message : "");
            return 0;
        }
    }
    ADD_FAILURE() << "ThrowNew called with a class that FindClass did not give";
    return -1;
}

// The array behind a region that a VM would copy, or null (with the exception pending
// where a VM raises one). Java's rule: start and length not negative and the end inside
// the array, computed without overflow.
std::vector<jbyte>* TestJniEnv::Region(jbyteArray array, jsize start, jsize length, const char* function) {
    if (!CheckNoPending(function)) return nullptr;
    std::vector<jbyte>* bytes = FindArray(array, function);
    if (!bytes) return nullptr;
    jsize size = jsize(bytes->size());
    if (start < 0 || length < 0 || start > size - length) {
        Raise(kIndexOutOfBounds, "Array region " + std::to_string(start) + ".." +
                                     std::to_string((long long)start + length) + " out of bounds for length " +
                                     std::to_string(size));
        return nullptr;
    }
    return bytes;
}

void JNICALL TestJniEnv::GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                                            jbyte* buffer) {
    std::vector<jbyte>* bytes = From(env)->Region(array, start, length, "GetByteArrayRegion");
    if (bytes && length) memcpy(buffer, bytes->data() + start, size_t(length));
}

void JNICALL TestJniEnv::SetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                                            const jbyte* buffer) {
    std::vector<jbyte>* bytes = From(env)->Region(array, start, length, "SetByteArrayRegion");
    if (bytes && length) memcpy(bytes->data() + start, buffer, size_t(length));
}

const char* JNICALL TestJniEnv::GetStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy) {
    TestJniEnv* self = From(env);
    if (!self->CheckNoPending("GetStringUTFChars")) return nullptr;
    for (const std::string& known : self->strings_) {
        if (reinterpret_cast<jstring>(const_cast<std::string*>(&known)) != text) continue;
        char* chars = new char[known.size() + 1];
        memcpy(chars, known.c_str(), known.size() + 1);
        self->openStrings_.insert(chars);
        if (isCopy) *isCopy = JNI_TRUE;
        return chars;
    }
    ADD_FAILURE() << "GetStringUTFChars called with " << (text ? "an unknown" : "a null") << " string";
    return nullptr;
}

void JNICALL TestJniEnv::ReleaseStringUTFChars(JNIEnv* env, jstring text, const char* chars) {
    TestJniEnv* self = From(env);
    auto open = self->openStrings_.find(chars);
    if (open == self->openStrings_.end()) {
        ADD_FAILURE() << "ReleaseStringUTFChars called with characters that GetStringUTFChars did not give";
        return;
    }
    self->openStrings_.erase(open);
    delete[] chars;
}

}  // namespace test_jni
