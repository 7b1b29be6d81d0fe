#include "tests/support/JvmHarness.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <mutex>
#include <string>

namespace {

JavaVM* testJvm = nullptr;
JNIEnv* testEnv = nullptr;

std::mutex jvmOutputMutex;
std::string jvmOutputLine;

// The JVM's own messages, -Xcheck:jni warnings among them, come through here. A warning about a
// native method fails the running test; everything is echoed to stderr.
void ExamineJvmOutput(const char* text) {
    std::lock_guard<std::mutex> guard(jvmOutputMutex);
    fputs(text, stderr);
    jvmOutputLine += text;
    size_t end;
    while ((end = jvmOutputLine.find('\n')) != std::string::npos) {
        std::string line = jvmOutputLine.substr(0, end);
        jvmOutputLine.erase(0, end + 1);
        if (line.find("WARNING in native method") != std::string::npos ||
            line.find("WARNING: JNI local refs") != std::string::npos) {
            ADD_FAILURE() << "JVM: " << line;
        }
    }
}

jint JNICALL JvmVfprintf(FILE*, const char* format, va_list args) {
    char text[4096];
    int length = vsnprintf(text, sizeof text, format, args);
    ExamineJvmOutput(text);
    return length;
}

class JvmEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        // The host classes and the test's own, as the test's CTest entry names them.
        const char* testClassPath = getenv("PALLWICK_TEST_CLASS_PATH");
        ASSERT_NE(nullptr, testClassPath) << "PALLWICK_TEST_CLASS_PATH is not set";
        std::string classPath = std::string("-Djava.class.path=") + testClassPath;
        JavaVMOption options[] = {
            {const_cast<char*>(classPath.c_str()), nullptr},
            {const_cast<char*>("-Xcheck:jni"), nullptr},
            {const_cast<char*>("vfprintf"), reinterpret_cast<void*>(&JvmVfprintf)},
        };
        JavaVMInitArgs args{};
        args.version = JNI_VERSION_10;
        args.nOptions = sizeof options / sizeof options[0];
        args.options = options;
        args.ignoreUnrecognized = JNI_FALSE;
        void* env = nullptr;
        ASSERT_EQ(JNI_OK, JNI_CreateJavaVM(&testJvm, &env, &args)) << "no JVM";
        testEnv = static_cast<JNIEnv*>(env);
    }
};

} // namespace

JNIEnv* TestJniEnv() {
    return testEnv;
}

void JvmTest::SetUp() {
    env = TestJniEnv();
    ASSERT_NE(nullptr, env);
    ASSERT_EQ(0, env->PushLocalFrame(TEST_LOCAL_FRAME_CAPACITY));
}

void JvmTest::TearDown() {
    if (env == nullptr) {
        return;
    }
    if (env->ExceptionCheck()) {
        env->ExceptionDescribe();
        ADD_FAILURE() << "a Java exception was left pending";
    }
    env->PopLocalFrame(nullptr);
}

jstring JvmTest::JavaString(const char* text) {
    return env->NewStringUTF(text);
}

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new JvmEnvironment);
    return RUN_ALL_TESTS();
}
