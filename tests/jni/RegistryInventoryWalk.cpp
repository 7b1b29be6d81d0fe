// Walks a registry subtree through the registry agent's exports alone, inside a real JVM, and
// prints it in the layout of Wine's `reg query KEY /s`: each key's full path, then one line per
// value, "    name    code    text", with the type code and text the agent gives; the key the
// walk starts at appears only when it has values, as reg prints it. Usage:
//   registry_inventory_walk "HKEY_LOCAL_MACHINE\Software"
#include "tests/support/EmbeddedJvm.h"

#include "com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent.h"

#include <stdio.h>

#include <string>
#include <vector>

namespace {

// Local references of one key: its two name arrays and each value's result.
constexpr jint kKeyFrameCapacity = 64;

JNIEnv* env = nullptr;

// The strings of a String[] (null for a null array), deleting what it read.
std::vector<std::string> Strings(jobjectArray array) {
    std::vector<std::string> strings;
    for (jsize i = 0; array != nullptr && i < env->GetArrayLength(array); ++i) {
        auto text = static_cast<jstring>(env->GetObjectArrayElement(array, i));
        const char* chars = text != nullptr ? env->GetStringUTFChars(text, nullptr) : nullptr;
        strings.push_back(chars != nullptr ? chars : "<null>");
        if (chars != nullptr) {
            env->ReleaseStringUTFChars(text, chars);
        }
        env->DeleteLocalRef(text);
    }
    env->DeleteLocalRef(array);
    return strings;
}

std::vector<std::string> Call(jobjectArray (*method)(JNIEnv*, jobject, jstring),
                              const std::string& path) {
    jstring text = env->NewStringUTF(path.c_str());
    std::vector<std::string> strings = Strings(method(env, nullptr, text));
    env->DeleteLocalRef(text);
    return strings;
}

// Prints the key's values; gives its subkey names.
std::vector<std::string> PrintKey(const std::string& path, bool always) {
    std::vector<std::string> names = Call(
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames,
        path);
    if (always || !names.empty()) {
        printf("\n%s\n", path.c_str());
    }
    jstring key = env->NewStringUTF(path.c_str());
    for (const std::string& name : names) {
        jstring valueName = env->NewStringUTF(name.c_str());
        std::vector<std::string> value = Strings(
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue(
                env, nullptr, key, valueName));
        env->DeleteLocalRef(valueName);
        value.resize(2, "<missing>");
        printf("    %s    %s    %s\n", name.empty() ? "(Default)" : name.c_str(), value[1].c_str(),
               value[0].c_str());
    }
    env->DeleteLocalRef(key);
    return Call(
        Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames,
        path);
}

bool Walk(const std::string& path, bool top) {
    if (env->PushLocalFrame(kKeyFrameCapacity) != 0) {
        return false;
    }
    std::vector<std::string> subkeys = PrintKey(path, !top);
    bool failed = env->ExceptionCheck() == JNI_TRUE;
    env->PopLocalFrame(nullptr);
    for (size_t i = 0; i < subkeys.size() && !failed; ++i) {
        failed = !Walk(path + "\\" + subkeys[i], false);
    }
    return !failed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: registry_inventory_walk KEY_PATH\n");
        return 2;
    }
    env = CreateEmbeddedJvm(true, nullptr);
    if (env == nullptr) {
        return 1;
    }
    if (!Walk(argv[1], true)) {
        env->ExceptionDescribe();
        return 1;
    }
    return fflush(stdout) == 0 ? 0 : 1;
}
