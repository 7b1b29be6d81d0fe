// What the harness does alike over a real JVM and over the stand-in.
#include "tests/support/JvmHarness.h"

std::vector<std::string> TakeJavaStrings(JNIEnv* env, jobjectArray array) {
    std::vector<std::string> strings;
    for (jsize i = 0; i < env->GetArrayLength(array); ++i) {
        auto text = static_cast<jstring>(env->GetObjectArrayElement(array, i));
        if (text == nullptr) {
            ADD_FAILURE() << "element " << i << " is null";
            strings.push_back("<null>");
            continue;
        }
        const char* chars = env->GetStringUTFChars(text, nullptr);
        if (chars == nullptr) {
            ADD_FAILURE() << "characters of element " << i << " refused";
            strings.push_back("<refused>");
        } else {
            strings.push_back(chars);
            env->ReleaseStringUTFChars(text, chars);
        }
        env->DeleteLocalRef(text);
    }
    env->DeleteLocalRef(array);
    return strings;
}

jstring JvmTest::JavaString(const char* text) {
    return env->NewStringUTF(text);
}
