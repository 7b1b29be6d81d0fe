// The JNI env of the test process. On Linux a real JVM, created once per test binary with the host
// classes on its class path and -Xcheck:jni; for Pallwick.dll under Wine, where no JVM runs, the
// JNI stand-in, whose breaches of JNI's rules are reported at the end of each test. Either way,
// every JNI misuse of an export fails the test that made it.
#pragma once

#include <gtest/gtest.h>
#include <jni.h>

#include <memory>
#include <string>
#include <vector>

// The JNIEnv of the test thread, attached when the JVM was created.
JNIEnv* TestJniEnv();

// The elements of a String[] as modified UTF-8, then the local reference to the array deleted. A
// null element fails the running test and reads as "<null>".
std::vector<std::string> TakeJavaStrings(JNIEnv* env, jobjectArray array);

// The JNI env of a thread other than the test's, while the object lives: on Linux the JVM's,
// attached to the thread; over the stand-in one of the thread's own, whose breaches fail the test
// when the object goes. env() is null when the thread got none.
class ThreadJniEnv {
  public:
    ThreadJniEnv();
    ~ThreadJniEnv();
    ThreadJniEnv(const ThreadJniEnv&) = delete;
    ThreadJniEnv& operator=(const ThreadJniEnv&) = delete;
    JNIEnv* env() const { return env_; }

  private:
    struct Owned;
    std::unique_ptr<Owned> owned_;
    JNIEnv* env_ = nullptr;
};

// Each test runs inside a local frame of the capacity a Java caller of a native method is granted,
// so that an export which keeps too many local references alive is reported by -Xcheck:jni (or
// the stand-in). A Java exception still pending at the end fails the test.
class JvmTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // A Java string made for a test; freed with the test's local frame.
    jstring JavaString(const char* text);
    JNIEnv* env = nullptr;
};

// Local references a Java caller may count on in a native method, plus room for the test's own.
constexpr jint kTestLocalFrameCapacity = 16 + 16;
