#include "tests/support/EmbeddedJvm.h"

#include <stdlib.h>

#include <string>
#include <vector>

JNIEnv* CreateEmbeddedJvm(bool checkJni, JvmOutputHook outputHook) {
    const char* testClassPath = getenv("PALLWICK_TEST_CLASS_PATH");
    if (testClassPath == nullptr) {
        fprintf(stderr, "PALLWICK_TEST_CLASS_PATH is not set\n");
        return nullptr;
    }
    std::string classPath = std::string("-Djava.class.path=") + testClassPath;
    std::vector<JavaVMOption> options;
    options.push_back({const_cast<char*>(classPath.c_str()), nullptr});
    if (checkJni) {
        options.push_back({const_cast<char*>("-Xcheck:jni"), nullptr});
    }
    if (outputHook != nullptr) {
        options.push_back({const_cast<char*>("vfprintf"), reinterpret_cast<void*>(outputHook)});
    }
    JavaVMInitArgs args{};
    args.version = JNI_VERSION_10;
    args.nOptions = (jint)options.size();
    args.options = options.data();
    args.ignoreUnrecognized = JNI_FALSE;
    JavaVM* jvm = nullptr;
    void* env = nullptr;
    if (JNI_CreateJavaVM(&jvm, &env, &args) != JNI_OK) {
        fprintf(stderr, "the JVM could not be created\n");
        return nullptr;
    }
    return static_cast<JNIEnv*>(env);
}
