// The harness over a real JVM, made once per test binary.
#include "tests/support/JvmHarness.h"

#include "tests/support/EmbeddedJvm.h"

#include <stdarg.h>
#include <stdio.h>

#include <mutex>
#include <string>

namespace {

JNIEnv* testEnv = nullptr;
JavaVM* testJvm = nullptr;

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
        testEnv = CreateEmbeddedJvm(true, &JvmVfprintf);
        ASSERT_NE(nullptr, testEnv) << "no JVM";
        ASSERT_EQ(JNI_OK, testEnv->GetJavaVM(&testJvm));
    }
};

} // namespace

JNIEnv* TestJniEnv() {
    return testEnv;
}

// Nothing is owned: the thread is attached to the one JVM.
struct ThreadJniEnv::Owned {};

ThreadJniEnv::ThreadJniEnv() {
    void* attached = nullptr;
    if (testJvm != nullptr && testJvm->AttachCurrentThread(&attached, nullptr) == JNI_OK) {
        env_ = static_cast<JNIEnv*>(attached);
    }
}

ThreadJniEnv::~ThreadJniEnv() {
    if (env_ != nullptr) {
        testJvm->DetachCurrentThread();
    }
}

void JvmTest::SetUp() {
    env = TestJniEnv();
    ASSERT_NE(nullptr, env);
    ASSERT_EQ(0, env->PushLocalFrame(kTestLocalFrameCapacity));
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

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new JvmEnvironment);
    return RUN_ALL_TESTS();
}
