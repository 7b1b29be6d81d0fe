#include "tests/support/JvmHarness.h"

#include "Common/JniSupport.h"

#include <stdint.h>
#include <string.h>

#include <string>

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
        ASSERT_TRUE(JniAppend(env, vector, add, JniNewStringFromAnsi(env, "item")));
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
    EXPECT_FALSE(
        JniAppend(env, readOnly, AddMethod("java/util/List"), JniNewStringFromAnsi(env, "x")));
    EXPECT_EQ("java.lang.UnsupportedOperationException", TakeException());
}

TEST_F(JniSupportTest, FailedCreationsAndStoresAreReportedAndLeftPending) {
    EXPECT_EQ(nullptr, JniNewStringArray(env, (size_t)INT32_MAX + 1)) << "no Java array that long";
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_EQ(nullptr, JniNewStringArray(env, INT32_MAX));
    EXPECT_EQ("java.lang.OutOfMemoryError", TakeException());

    jobjectArray array = JniNewStringArray(env, 2);
    ASSERT_NE(nullptr, array);
    auto first = static_cast<jstring>(env->GetObjectArrayElement(array, 0));
    ASSERT_NE(nullptr, first) << "elements start as empty strings";
    EXPECT_EQ(0, env->GetStringLength(first));
    EXPECT_FALSE(JniStoreStringInArray(env, array, 2, "past the end"));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException", TakeException());
    EXPECT_TRUE(JniStoreStringInArray(env, array, 1, nullptr)) << "null text stores as empty";
}

// Java text reaches the ANSI functions in the code page, and ANSI results come back as the
// characters they stand for: é and € are one byte each in Windows-1252.
TEST_F(JniSupportTest, TextCrossesInTheAnsiCodePage) {
    const jchar units[] = {'c', 'a', 'f', 0x00E9, ' ', 0x20AC};
    jstring accented = env->NewString(units, 6);
    {
        ScopedAnsiChars chars(env, accented);
        EXPECT_STREQ("caf\xE9 \x80", chars.chars());
        EXPECT_FALSE(chars.unconvertible());
    }
    jstring back = JniNewStringFromAnsi(env, "caf\xE9 \x80");
    ASSERT_NE(nullptr, back);
    ASSERT_EQ(6, env->GetStringLength(back));
    jchar read[6];
    env->GetStringRegion(back, 0, 6, read);
    EXPECT_EQ(0, memcmp(units, read, sizeof read));

    ScopedAnsiChars plain(env, JavaString("C:\\Temp"));
    EXPECT_STREQ("C:\\Temp", plain.chars());
    ScopedAnsiChars none(env, nullptr);
    EXPECT_EQ(nullptr, none.chars());
    EXPECT_FALSE(none.unconvertible());
}

// A substitute ('?' or a look-alike letter) could name another key or service, and a NUL would
// cut the name short: such text is refused, without an exception.
TEST_F(JniSupportTest, TextTheCodePageCannotHoldIsRefused) {
    const jchar omega[] = {'x', 0x03A9};
    const jchar han[] = {0x4E2D};
    const jchar nul[] = {'a', 0, 'b', 0x00E9};
    // All 7-bit, yet the NUL arrives as modified UTF-8's C0 80, not as plain ASCII.
    const jchar asciiNul[] = {'a', 0, 'b'};
    const jchar surrogates[] = {0xD83D, 0xDE00};
    for (jstring text : {env->NewString(omega, 2), env->NewString(han, 1), env->NewString(nul, 4),
                         env->NewString(asciiNul, 3), env->NewString(surrogates, 2)}) {
        ScopedAnsiChars chars(env, text);
        EXPECT_EQ(nullptr, chars.chars());
        EXPECT_TRUE(chars.unconvertible());
        EXPECT_FALSE(env->ExceptionCheck());
        env->DeleteLocalRef(text);
    }
}

TEST_F(JniSupportTest, ScopedAnsiCharsReleasesWhatItTakes) {
    jstring ascii = JavaString("C:\\Temp");
    const jchar units[] = {0x00E9};
    jstring accented = env->NewString(units, 1);
    for (int i = 0; i < 1000; ++i) {
        ScopedAnsiChars first(env, ascii);
        ScopedAnsiChars second(env, accented);
        ASSERT_STREQ("C:\\Temp", first.chars());
        ASSERT_STREQ("\xE9", second.chars());
    }
}

// -Xcheck:jni guards each copy it hands out and checks it when it comes back: a holder that gave
// back the wrong block, or the same one twice, ends the run.
TEST_F(JniSupportTest, ScopedIntArrayElementsReadsAndGivesBack) {
    const jint codes[] = {7, -1, 2147483647};
    jintArray array = env->NewIntArray(3);
    env->SetIntArrayRegion(array, 0, 3, codes);
    for (int i = 0; i < 1000; ++i) {
        ScopedIntArrayElements held(env, array);
        ASSERT_NE(nullptr, held.elements());
        ASSERT_EQ(0, memcmp(codes, held.elements(), sizeof codes));
    }
    EXPECT_EQ(nullptr, ScopedIntArrayElements(env, nullptr).elements());
    EXPECT_FALSE(env->ExceptionCheck());
    env->DeleteLocalRef(array);
}

} // namespace
