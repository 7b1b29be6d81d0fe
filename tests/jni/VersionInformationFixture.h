// The version information export's fixture, shared by its cases that run on both builds and
// those that need the library's internals.
#pragma once

#include "tests/support/FailingJniEnv.h"
#include "tests/support/JvmHarness.h"
#include "tests/support/LogCapture.h"

#include "com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent.h"

#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

using Translations = std::vector<std::vector<std::string>>;

// The fixtures are Unix files, reached through Z: as the library would reach any file.
inline std::string Fixture(const char* name) {
    return std::string(PALLWICK_VERSION_FIXTURES "/") + name;
}

class VersionInformationTest : public JvmTest {
  protected:
    // Calls the export and reads the Vector of String[12] back; false for a null result.
    static bool Collect(JNIEnv* jni, const std::string& path, Translations* out) {
        jstring name = jni->NewStringUTF(path.c_str());
        jobject vector =
            Java_com_quorvane_inventory_inventoryagent_WindowsExecutableMetadataFileInventoryAgent_collectVersionInformationForFile(
                jni, nullptr, name);
        jni->DeleteLocalRef(name);
        if (jni->ExceptionCheck()) {
            jni->ExceptionDescribe();
            ADD_FAILURE() << "exception from the export";
            return false;
        }
        if (vector == nullptr) {
            return false;
        }
        jclass vectorClass = jni->FindClass("java/util/Vector");
        jmethodID size = jni->GetMethodID(vectorClass, "size", "()I");
        jmethodID get = jni->GetMethodID(vectorClass, "get", "(I)Ljava/lang/Object;");
        jint count = jni->CallIntMethod(vector, size);
        EXPECT_FALSE(jni->ExceptionCheck());
        for (jint i = 0; i < count; ++i) {
            auto strings = static_cast<jobjectArray>(jni->CallObjectMethod(vector, get, i));
            EXPECT_FALSE(jni->ExceptionCheck());
            EXPECT_EQ(12, jni->GetArrayLength(strings));
            out->push_back(TakeJavaStrings(jni, strings));
        }
        jni->DeleteLocalRef(vectorClass);
        jni->DeleteLocalRef(vector);
        return true;
    }
    Translations Collect(const std::string& path) {
        Translations result;
        EXPECT_TRUE(Collect(env, path, &result)) << path;
        return result;
    }
    bool CollectsNull(const char* path) {
        Translations ignored;
        return !Collect(env, path, &ignored);
    }
    size_t CountMessages(const std::string& message) const {
        std::vector<std::string> messages = log.Messages();
        return (size_t)std::count(messages.begin(), messages.end(), message);
    }

    LogCapture log{"versioninfo-" + std::to_string(getpid())};
};
