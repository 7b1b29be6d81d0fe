#include "tests/support/JvmHarness.h"

#include "Common/JniSupport.h"

namespace {

class JniSupportTest : public JvmTest {
  protected:
    jobject NewObject(const char* className) {
        jclass type = env->FindClass(className);
        jobject object = env->NewObject(type, env->GetMethodID(type, "<init>", "()V"));
        EXPECT_FALSE(env->ExceptionCheck());
        env->DeleteLocalRef(type);
        return object;
    }
    jmethodID AddMethod(const char* className) {
        jclass type = env->FindClass(className);
        jmethodID add = env->GetMethodID(type, "add", "(Ljava/lang/Object;)Z");
        env->DeleteLocalRef(type);
        return add;
    }
    // Takes the pending exception, returning its class name.
    std::string TakeException() {
        jthrowable thrown = env->ExceptionOccurred();
        if (thrown == nullptr) {
            return "";
        }
        env->ExceptionClear();
        jclass type = env->GetObjectClass(thrown);
        jclass classClass = env->FindClass("java/lang/Class");
        jmethodID getName = env->GetMethodID(classClass, "getName", "()Ljava/lang/String;");
        auto name = static_cast<jstring>(env->CallObjectMethod(type, getName));
        if (env->ExceptionCheck()) {
            return "exception in getName";
        }
        const char* chars = env->GetStringUTFChars(name, nullptr);
        std::string result = chars;
        env->ReleaseStringUTFChars(name, chars);
        env->DeleteLocalRef(name);
        env->DeleteLocalRef(classClass);
        env->DeleteLocalRef(type);
        env->DeleteLocalRef(thrown);
        return result;
    }
};

// A loop that the machine's size decides must not keep one local reference per element: far more
// appends than the frame's capacity would make -Xcheck:jni report the method.
TEST_F(JniSupportTest, AppendingManyElementsKeepsNoLocalReferences) {
    jobject vector = NewObject("java/util/Vector");
    jmethodID add = AddMethod("java/util/Vector");
    for (int i = 0; i < 5000; ++i) {
        ASSERT_TRUE(JniAppend(env, vector, add, JniNewString(env, "item")));
    }
    jobjectArray array = JniNewStringArray(env, 5000);
    ASSERT_NE(nullptr, array);
    for (jsize i = 0; i < 5000; ++i) {
        ASSERT_TRUE(JniStoreStringInArray(env, array, i, "element"));
    }
    jclass vectorClass = env->GetObjectClass(vector);
    EXPECT_EQ(5000, env->CallIntMethod(vector, env->GetMethodID(vectorClass, "size", "()I")));
    EXPECT_FALSE(env->ExceptionCheck());
}

TEST_F(JniSupportTest, AThrowingCallbackIsReportedAndLeftPending) {
    jclass collections = env->FindClass("java/util/Collections");
    jobject readOnly = env->CallStaticObjectMethod(
        collections, env->GetStaticMethodID(collections, "emptyList", "()Ljava/util/List;"));
    ASSERT_FALSE(env->ExceptionCheck());
    EXPECT_FALSE(JniAppend(env, readOnly, AddMethod("java/util/List"), JniNewString(env, "x")));
    EXPECT_EQ("java.lang.UnsupportedOperationException", TakeException());
}

TEST_F(JniSupportTest, FailedCreationsAndStoresAreReportedAndLeftPending) {
    EXPECT_EQ(nullptr, JniNewStringArray(env, -1));
    EXPECT_EQ("java.lang.NegativeArraySizeException", TakeException());

    jobjectArray array = JniNewStringArray(env, 2);
    ASSERT_NE(nullptr, array);
    EXPECT_FALSE(JniStoreStringInArray(env, array, 2, "past the end"));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", TakeException());
    EXPECT_TRUE(JniStoreStringInArray(env, array, 1, nullptr)) << "null text stores as empty";
}

TEST_F(JniSupportTest, ScopedUtfCharsReleasesAndToleratesNull) {
    {
        ScopedUtfChars none(env, nullptr);
        EXPECT_EQ(nullptr, none.chars());
    }
    jstring text = JavaString("C:\\Temp");
    for (int i = 0; i < 1000; ++i) {
        ScopedUtfChars chars(env, text);
        ASSERT_STREQ("C:\\Temp", chars.chars());
    }
}

} // namespace
