#include "tests/host/HostEnv.h"

#include "tests/support/EmbeddedJvm.h"

#include <stdarg.h>
#include <stdio.h>

#include <mutex>

namespace {

// JNI's guarantee to a native method, which -Xcheck:jni holds a frame to.
constexpr jint kNativeMethodCapacity = 16;

std::mutex g_outputMutex;
std::string g_outputLine;
std::vector<std::string> g_warnings;

// The JVM's own output, -Xcheck:jni's warnings among them: echoed to stderr, and each warning
// or fatal error kept as a breach.
void ExamineJvmOutput(const char* text) {
    std::lock_guard<std::mutex> guard(g_outputMutex);
    fputs(text, stderr);
    g_outputLine += text;
    size_t end;
    while ((end = g_outputLine.find('\n')) != std::string::npos) {
        std::string line = g_outputLine.substr(0, end);
        g_outputLine.erase(0, end + 1);
        if (line.find("WARNING") != std::string::npos ||
            line.find("FATAL ERROR") != std::string::npos) {
            g_warnings.push_back(line);
        }
    }
}

jint JNICALL JvmVfprintf(FILE*, const char* format, va_list args) {
    char text[4096];
    int length = vsnprintf(text, sizeof text, format, args);
    ExamineJvmOutput(text);
    return length;
}

class JvmHostEnv : public HostEnv {
  public:
    explicit JvmHostEnv(JNIEnv* env) : env_(env) {}
    JNIEnv* env() override { return env_; }
    void EnterNativeMethod() override {
        if (env_->PushLocalFrame(kNativeMethodCapacity) != 0) {
            Breach("PushLocalFrame: refused the frame of a native method");
        }
    }
    jobject LeaveNativeMethod(jobject result) override { return env_->PopLocalFrame(result); }
    std::vector<std::string> TakeBreaches() override {
        std::lock_guard<std::mutex> guard(g_outputMutex);
        std::vector<std::string> taken;
        taken.swap(g_warnings);
        return taken;
    }

  private:
    static void Breach(const char* text) {
        std::lock_guard<std::mutex> guard(g_outputMutex);
        g_warnings.push_back(text);
    }

    JNIEnv* env_;
};

} // namespace

std::unique_ptr<HostEnv> MakeJvmHostEnv() {
    JNIEnv* env = CreateEmbeddedJvm(true, &JvmVfprintf);
    if (env == nullptr) {
        return nullptr;
    }
    return std::make_unique<JvmHostEnv>(env);
}
