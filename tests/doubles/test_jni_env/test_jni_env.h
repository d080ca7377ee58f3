// A JNI environment for calling native methods without a Java VM: the functions the
// natives of this product use, with the rules a real VM keeps (bounds of array regions,
// no calls with an exception pending, strings released), and a failed test for any
// other function of the table.
#pragma once

#include <jni.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

namespace test_jni {

struct ThrownException {
    std::string className;   // "java/lang/ArrayIndexOutOfBoundsException"
    std::string message;
};

// One per thread, as a VM gives each thread its own JNIEnv.
class TestJniEnv {
public:
    TestJniEnv();
    ~TestJniEnv();
    TestJniEnv(const TestJniEnv&) = delete;
    TestJniEnv& operator=(const TestJniEnv&) = delete;

    JNIEnv* env() { return &block_.jni; }

    // Java objects owned by this environment, valid for its life.
    jbyteArray NewByteArray(const std::vector<jbyte>& contents);
    std::vector<jbyte>& Bytes(jbyteArray array);
    jstring NewString(const std::string& modifiedUtf8);

    // FindClass finds every class except these: for them it returns null and leaves
    // NoClassDefFoundError pending, as a VM does.
    void HideClass(const std::string& name) { hidden_.insert(name); }

    bool ExceptionPending() const { return pending_; }
    // The pending exception, which is cleared; an empty class name when none is pending.
    ThrownException TakeException();
    size_t OpenStrings() const { return openStrings_.size(); }   // got, not yet released

private:
    struct Block {
        JNIEnv_ jni;
        TestJniEnv* owner;
    };
    static TestJniEnv* From(JNIEnv* env) { return reinterpret_cast<Block*>(env)->owner; }
    bool CheckNoPending(const char* function);
    std::vector<jbyte>* FindArray(jbyteArray array, const char* function);
    std::vector<jbyte>* Region(jbyteArray array, jsize start, jsize length, const char* function);
    void Raise(const std::string& className, const std::string& message);

    static jclass JNICALL FindClass(JNIEnv* env, const char* name);
    static jint JNICALL ThrowNew(JNIEnv* env, jclass type, const char* message);
    static void JNICALL GetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length, jbyte* buffer);
    static void JNICALL SetByteArrayRegion(JNIEnv* env, jbyteArray array, jsize start, jsize length,
                                           const jbyte* buffer);
    static const char* JNICALL GetStringUTFChars(JNIEnv* env, jstring text, jboolean* isCopy);
    static void JNICALL ReleaseStringUTFChars(JNIEnv* env, jstring text, const char* chars);
    static const JNINativeInterface_* Table();

    Block block_;
    std::deque<std::vector<jbyte>> arrays_;
    std::deque<std::string> strings_;
    std::deque<std::string> classes_;
    std::set<std::string> hidden_;
    std::set<const char*> openStrings_;
    bool pending_ = false;
    ThrownException exception_;
};

}  // namespace test_jni
