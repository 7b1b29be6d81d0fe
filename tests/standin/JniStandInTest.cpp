// The stand-in against the real JVM where one runs (the same expectations through both envs),
// then the breaches only the stand-in records.
#include "tests/standin/JniStandIn.h"
#include "tests/support/ExportCatalogue.h"

#if PALLWICK_STANDIN_WITH_JVM
#include "tests/support/EmbeddedJvm.h"
#endif

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

JniStandIn& SharedStandIn() {
    static JniStandIn standIn;
    return standIn;
}

JNIEnv* RealJvmEnv() {
#if PALLWICK_STANDIN_WITH_JVM
    static JNIEnv* env = CreateEmbeddedJvm(false, nullptr);
    return env;
#else
    return nullptr;
#endif
}

std::string Utf(JNIEnv* env, jobject text) {
    if (text == nullptr) {
        return "<null>";
    }
    const char* chars = env->GetStringUTFChars(static_cast<jstring>(text), nullptr);
    std::string bytes = chars;
    env->ReleaseStringUTFChars(static_cast<jstring>(text), chars);
    return bytes;
}

jstring Units(JNIEnv* env, const std::u16string& units) {
    return env->NewString(reinterpret_cast<const jchar*>(units.data()), jsize(units.size()));
}

std::u16string UnitsOf(JNIEnv* env, jstring text) {
    const jchar* chars = env->GetStringChars(text, nullptr);
    std::u16string units(reinterpret_cast<const char16_t*>(chars),
                         size_t(env->GetStringLength(text)));
    env->ReleaseStringChars(text, chars);
    return units;
}

class JniAgreement : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        bool real = std::string(GetParam()) == "jvm";
        env = real ? RealJvmEnv() : SharedStandIn().env();
        if (env == nullptr) {
            GTEST_SKIP() << "no JVM (PALLWICK_TEST_CLASS_PATH unset?)";
        }
        ASSERT_EQ(0, env->PushLocalFrame(256));
    }
    void TearDown() override {
        if (env == nullptr) {
            return;
        }
        EXPECT_EQ("none", Thrown());
        env->PopLocalFrame(nullptr);
        if (env == SharedStandIn().env()) {
            EXPECT_EQ(std::vector<std::string>{}, SharedStandIn().TakeBreaches());
        }
    }

    // "java.lang.NullPointerException: message" of the pending exception, which is cleared, as
    // its toString() gives it (and a harness describes it); "none" without one.
    std::string Thrown() {
        jthrowable thrown = env->ExceptionOccurred();
        if (thrown == nullptr) {
            return "none";
        }
        env->ExceptionClear();
        return Utf(env, env->CallObjectMethod(thrown, Method("java/lang/Throwable", "toString",
                                                             "()Ljava/lang/String;")));
    }
    // The class alone, named through Class.getName(), as a host names it.
    std::string ThrownClass() {
        jthrowable thrown = env->ExceptionOccurred();
        if (thrown == nullptr) {
            return "none";
        }
        env->ExceptionClear();
        jmethodID getName = Method("java/lang/Class", "getName", "()Ljava/lang/String;");
        return Utf(env, env->CallObjectMethod(env->GetObjectClass(thrown), getName));
    }
    jobject New(const char* className) {
        jclass klass = env->FindClass(className);
        return env->NewObject(klass, env->GetMethodID(klass, "<init>", "()V"));
    }
    jmethodID Method(const char* className, const char* name, const char* signature) {
        return env->GetMethodID(env->FindClass(className), name, signature);
    }

    JNIEnv* env = nullptr;
};

constexpr char kVector[] = "java/util/Vector";
constexpr char kResults[] = "com/quorvane/inventory/inventoryagent/InventoryResultVector";
constexpr char kAttribute[] = "com/quorvane/inventory/InventoryAttributeValue";
constexpr char kService[] = "com/quorvane/inventory/inventoryagent/Service";

TEST_P(JniAgreement, ModifiedUtf8RoundTripsBothWays) {
    struct Case {
        std::u16string units;
        std::string bytes;
    };
    const Case cases[] = {
        {u"", ""},
        {u"plain", "plain"},
        {std::u16string(u"a\0b", 3), "a\xC0\x80"
                                     "b"},
        {u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},
        {u"\u20AC", "\xE2\x82\xAC"},
        {u"\U0001F600", "\xED\xA0\xBD\xED\xB8\x80"},
        {u"\u07FF\u0800\uFFFF", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
        {std::u16string(1, char16_t(0xDC00)) + u"x", "\xED\xB0\x80x"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.bytes, Utf(env, Units(env, c.units)));
        EXPECT_EQ(c.units, UnitsOf(env, env->NewStringUTF(c.bytes.c_str())));
    }
}

// What HotSpot does with bytes that are not modified UTF-8: as many characters as bytes that are
// no continuation byte, each byte that starts no well-formed sequence standing for itself.
TEST_P(JniAgreement, MalformedModifiedUtf8DecodesByteByByte) {
    struct Case {
        const char* bytes;
        std::u16string units;
    };
    const Case cases[] = {
        {"\x80x", u"\u0080"},
        {"a\xC3", u"a\u00C3"},
        {"\xE2\x82", u"\u00E2"},
        {"\xE2\x82xy", u"\u00E2\u0082x"},
        {"\xF0\x9F\x98\x80", u"\u00F0"},
        {"\xC0\x80", std::u16string(1, u'\0')},
        {"\xC1\xBF", u"\u007F"},
        {"\xFF", u"\u00FF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.units, UnitsOf(env, env->NewStringUTF(c.bytes))) << c.bytes;
    }
}

// Every member the library and the hosts look up, found where the Java sources declare it.
TEST_P(JniAgreement, HostMembersFoundByNameAndSignature) {
    struct Member {
        const char* owner;
        const char* name;
        const char* signature;
        bool field;
    };
    const Member members[] = {
        {kVector, "<init>", "()V", false},
        {kVector, "add", "(Ljava/lang/Object;)Z", false},
        {kVector, "size", "()I", false},
        {kVector, "get", "(I)Ljava/lang/Object;", false},
        {kResults, "<init>", "()V", false},
        {kResults, "size", "()I", false},
        {kResults, "get", "(I)Ljava/lang/Object;", false},
        {kResults, "add", "(Ljava/lang/Object;)Z", false},
        {kAttribute, "<init>", "()V", false},
        {kAttribute, "setMasterCode", "(I)V", false},
        {kAttribute, "setAttributeValue", "(Ljava/lang/String;)V", false},
        {kAttribute, "setUniqueInstanceId", "(Ljava/lang/String;)V", false},
        {kAttribute, "getMasterCode", "()I", false},
        {kAttribute, "getAttributeValue", "()Ljava/lang/String;", false},
        {kAttribute, "getUniqueInstanceId", "()Ljava/lang/String;", false},
        {kService, "<init>", "()V", false},
        {kService, "type", "I", true},
        {"java/lang/NoSuchMethodError", "toString", "()Ljava/lang/String;", false},
        {"java/lang/Class", "getName", "()Ljava/lang/String;", false},
        {"com/quorvane/inventory/inventoryagent/WindowsPerfmonInventoryAgent", "<init>", "()V",
         false},
        {"com/quorvane/inventory/inventoryagent/WindowsPerfmonInventoryAgent", "getCounterValues",
         "([Ljava/lang/String;I)[D", false},
    };
    for (const Member& m : members) {
        jclass owner = env->FindClass(m.owner);
        ASSERT_NE(nullptr, owner) << m.owner;
        bool found = m.field ? env->GetFieldID(owner, m.name, m.signature) != nullptr
                             : env->GetMethodID(owner, m.name, m.signature) != nullptr;
        EXPECT_TRUE(found) << m.owner << "." << m.name << m.signature;
        EXPECT_EQ("none", Thrown());
    }
    for (const char* field : {"name", "displayName", "binaryPath", "startupType", "description",
                              "status", "startName"}) {
        EXPECT_NE(nullptr, env->GetFieldID(env->FindClass(kService), field, "Ljava/lang/String;"))
            << field;
    }
}

// Every native method the Java sources declare, as javac -h lists them in the exports' headers.
TEST_P(JniAgreement, EveryNativeMethodOfTheAgentsIsFound) {
    const std::string classMark = " * Class:     com_quorvane_inventory_inventoryagent_";
    const std::string methodMark = " * Method:    ";
    const std::string signatureMark = " * Signature: ";
    int found = 0;
    for (const auto& header : std::filesystem::directory_iterator(PALLWICK_JNI_HEADERS)) {
        std::ifstream lines(header.path());
        std::string line;
        std::string className;
        std::string method;
        while (std::getline(lines, line)) {
            if (line.rfind(classMark, 0) == 0) {
                className =
                    "com/quorvane/inventory/inventoryagent/" + line.substr(classMark.size());
            } else if (line.rfind(methodMark, 0) == 0) {
                method = line.substr(methodMark.size());
            } else if (line.rfind(signatureMark, 0) == 0) {
                std::string signature = line.substr(signatureMark.size());
                EXPECT_NE(nullptr, Method(className.c_str(), method.c_str(), signature.c_str()))
                    << className << "." << method << signature;
                ++found;
            }
        }
    }
    EXPECT_EQ(static_cast<int>(kExportCount), found);
}

TEST_P(JniAgreement, WrongNamesAndSignaturesGiveNullAndTheError) {
    jclass vector = env->FindClass(kVector);
    EXPECT_EQ(nullptr, env->GetMethodID(vector, "add", "(I)Z"));
    EXPECT_EQ("java.lang.NoSuchMethodError: Ljava/util/Vector;.add(I)Z", Thrown());
    EXPECT_EQ(nullptr, env->GetMethodID(vector, "<init>", "(Ljava/lang/String;)V"));
    EXPECT_EQ("java.lang.NoSuchMethodError", ThrownClass());
    EXPECT_EQ(nullptr, env->GetMethodID(env->FindClass(kResults), "<init>", "(I)V"));
    EXPECT_EQ("java.lang.NoSuchMethodError", ThrownClass());
    EXPECT_EQ(nullptr, env->GetMethodID(vector, "size", "()"));
    EXPECT_EQ("java.lang.NoSuchMethodError", ThrownClass());
    EXPECT_EQ(nullptr, env->GetFieldID(env->FindClass(kService), "type", "J"));
    EXPECT_EQ("java.lang.NoSuchFieldError", ThrownClass());
    EXPECT_EQ(nullptr, env->GetFieldID(env->FindClass(kService), "Name", "Ljava/lang/String;"));
    EXPECT_EQ("java.lang.NoSuchFieldError: com.quorvane.inventory.inventoryagent.Service.Name "
              "Ljava/lang/String;",
              Thrown());
    EXPECT_EQ(nullptr, env->FindClass("com/quorvane/inventory/NoSuchAgent"));
    EXPECT_EQ("java.lang.NoClassDefFoundError: com/quorvane/inventory/NoSuchAgent", Thrown());
}

TEST_P(JniAgreement, BoundsAndStoresFailWithTheJvmsExceptions) {
    jobjectArray strings = env->NewObjectArray(3, env->FindClass("java/lang/String"), nullptr);
    EXPECT_EQ(nullptr, env->GetObjectArrayElement(strings, 3));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Index 3 out of bounds for length 3",
              Thrown());
    env->SetObjectArrayElement(strings, -1, nullptr);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Index -1 out of bounds for length 3",
              Thrown());
    env->SetObjectArrayElement(strings, 1, New(kVector));
    EXPECT_EQ("java.lang.ArrayStoreException: type mismatch: can not store java.util.Vector to "
              "java.lang.String[1]",
              Thrown());
    EXPECT_EQ(nullptr, env->NewObjectArray(-2, env->FindClass("java/lang/Object"), nullptr));
    EXPECT_EQ("java.lang.NegativeArraySizeException: -2", Thrown());
    EXPECT_EQ(nullptr, env->NewDoubleArray(-1));
    EXPECT_EQ("java.lang.NegativeArraySizeException: -1", Thrown());

    jdouble buffer[4] = {};
    env->GetDoubleArrayRegion(env->NewDoubleArray(3), 1, 3, buffer);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Array region 1..4 out of bounds for "
              "length 3",
              Thrown());
    const jint ints[2] = {1, 2};
    env->SetIntArrayRegion(env->NewIntArray(2), 1, 2, ints);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Array region 1..3 out of bounds for "
              "length 2",
              Thrown());
    env->SetDoubleArrayRegion(env->NewDoubleArray(2), 0, -1, nullptr);
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Length -1 is negative", Thrown());
}

TEST_P(JniAgreement, ArraysStringsAndThrowablesCarryWhatTheyWereGiven) {
    jobjectArray strings =
        env->NewObjectArray(2, env->FindClass("java/lang/String"), env->NewStringUTF("fill"));
    EXPECT_EQ("fill", Utf(env, env->GetObjectArrayElement(strings, 1)));
    EXPECT_EQ(nullptr, env->NewObjectArray(INT32_MAX, env->FindClass("java/lang/String"), nullptr));
    EXPECT_EQ("java.lang.OutOfMemoryError", ThrownClass());

    jdoubleArray doubles = env->NewDoubleArray(3);
    const jdouble given[2] = {-1.0, 2.5};
    env->SetDoubleArrayRegion(doubles, 1, 2, given);
    jdouble back[3];
    env->GetDoubleArrayRegion(doubles, 0, 3, back);
    EXPECT_EQ(0.0, back[0]);
    EXPECT_EQ(2.5, back[2]);

    jintArray ints = env->NewIntArray(3);
    const jint codes[3] = {4, 5, 6};
    env->SetIntArrayRegion(ints, 0, 3, codes);
    jint* elements = env->GetIntArrayElements(ints, nullptr);
    EXPECT_EQ(6, elements[2]);
    elements[0] = 7;
    env->ReleaseIntArrayElements(ints, elements, 0);
    elements = env->GetIntArrayElements(ints, nullptr);
    EXPECT_EQ(7, elements[0]) << "mode 0 copies back";
    elements[0] = 8;
    env->ReleaseIntArrayElements(ints, elements, JNI_ABORT);
    elements = env->GetIntArrayElements(ints, nullptr);
    EXPECT_EQ(7, elements[0]) << "JNI_ABORT does not";
    env->ReleaseIntArrayElements(ints, elements, JNI_ABORT);

    jstring fill = env->NewStringUTF("fill");
    const jchar* chars = env->GetStringChars(fill, nullptr);
    EXPECT_EQ(u'l', chars[3]);
    env->ReleaseStringChars(fill, chars);

    EXPECT_EQ(0, env->ThrowNew(env->FindClass("java/lang/NullPointerException"), "bad"));
    EXPECT_EQ("java.lang.NullPointerException: bad", Thrown());
    EXPECT_EQ(0, env->ThrowNew(env->FindClass("java/lang/NoSuchFieldError"), nullptr));
    EXPECT_EQ("java.lang.NoSuchFieldError", Thrown());
    EXPECT_EQ(nullptr, env->FindClass("java.lang.String"));
    EXPECT_EQ("java.lang.NoClassDefFoundError", ThrownClass());
}

TEST_P(JniAgreement, VectorsBehaveAsTheJdksDo) {
    jobject vector = New(kVector);
    jmethodID add = Method(kVector, "add", "(Ljava/lang/Object;)Z");
    EXPECT_TRUE(env->CallBooleanMethod(vector, add, env->NewStringUTF("a")));
    EXPECT_TRUE(env->CallBooleanMethod(vector, add, nullptr));
    EXPECT_EQ(2, env->CallIntMethod(vector, Method(kVector, "size", "()I")));
    jmethodID get = Method(kVector, "get", "(I)Ljava/lang/Object;");
    EXPECT_EQ("a", Utf(env, env->CallObjectMethod(vector, get, 0)));
    EXPECT_EQ(nullptr, env->CallObjectMethod(vector, get, 2));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Array index out of range: 2", Thrown());
    EXPECT_EQ(nullptr, env->CallObjectMethod(vector, get, -1));
    EXPECT_EQ("java.lang.ArrayIndexOutOfBoundsException: Index -1 out of bounds for length 10",
              Thrown());

    jobject results = New(kResults);
    EXPECT_TRUE(
        env->CallBooleanMethod(results, Method(kResults, "add", "(Ljava/lang/Object;)Z"), vector));
    EXPECT_EQ(1, env->CallIntMethod(results, Method(kResults, "size", "()I")));
    EXPECT_EQ(nullptr,
              env->CallObjectMethod(results, Method(kResults, "get", "(I)Ljava/lang/Object;"), 1));
    EXPECT_EQ("java.lang.IndexOutOfBoundsException: Index 1 out of bounds for length 1", Thrown());
}

TEST_P(JniAgreement, HostObjectsKeepWhatTheirSettersAndFieldsWereGiven) {
    jobject value = New(kAttribute);
    env->CallVoidMethod(value, Method(kAttribute, "setMasterCode", "(I)V"), 42);
    env->CallVoidMethod(value, Method(kAttribute, "setAttributeValue", "(Ljava/lang/String;)V"),
                        env->NewStringUTF("7-Zip"));
    EXPECT_EQ(42, env->CallIntMethod(value, Method(kAttribute, "getMasterCode", "()I")));
    EXPECT_EQ("7-Zip", Utf(env, env->CallObjectMethod(value, Method(kAttribute, "getAttributeValue",
                                                                    "()Ljava/lang/String;"))));
    EXPECT_EQ(nullptr, env->CallObjectMethod(value, Method(kAttribute, "getUniqueInstanceId",
                                                           "()Ljava/lang/String;")));

    jclass serviceClass = env->FindClass(kService);
    jobject service = New(kService);
    env->SetIntField(service, env->GetFieldID(serviceClass, "type", "I"), 16);
    jfieldID name = env->GetFieldID(serviceClass, "name", "Ljava/lang/String;");
    env->SetObjectField(service, name, env->NewStringUTF("Spooler"));
    EXPECT_EQ("Spooler", Utf(env, env->GetObjectField(service, name)));
    EXPECT_EQ(16, env->GetIntField(service, env->GetFieldID(serviceClass, "type", "I")));
    for (const char* field :
         {"displayName", "binaryPath", "startupType", "description", "status", "startName"}) {
        EXPECT_EQ(nullptr, env->GetObjectField(
                               service, env->GetFieldID(serviceClass, field, "Ljava/lang/String;")))
            << field;
    }
}

TEST_P(JniAgreement, ClassesKnowTheirNamesAndFramesTheirLimit) {
    jmethodID getName = Method("java/lang/Class", "getName", "()Ljava/lang/String;");
    EXPECT_EQ("java.util.Vector",
              Utf(env, env->CallObjectMethod(env->FindClass(kVector), getName)));
    jclass strings = env->FindClass("[Ljava/lang/String;");
    EXPECT_EQ("[Ljava.lang.String;", Utf(env, env->CallObjectMethod(strings, getName)));
    EXPECT_GT(0, env->PushLocalFrame(65537)) << "more than the JVM grants a frame";
    EXPECT_EQ("none", Thrown());
}

#if PALLWICK_STANDIN_WITH_JVM
INSTANTIATE_TEST_SUITE_P(Envs, JniAgreement, ::testing::Values("jvm", "standin"));
#else
INSTANTIATE_TEST_SUITE_P(Envs, JniAgreement, ::testing::Values("standin"));
#endif

// The breaches only the stand-in records: each test its own stand-in.
class StandInBreaches : public ::testing::Test {
  protected:
    // The one breach the last calls made, the list emptied.
    std::string OnlyBreach() {
        std::vector<std::string> breaches = standIn.TakeBreaches();
        return breaches.size() == 1 ? breaches[0] : ::testing::PrintToString(breaches);
    }
    jobject New(const char* className) {
        jclass klass = env->FindClass(className);
        return env->NewObject(klass, env->GetMethodID(klass, "<init>", "()V"));
    }
    JniStandIn standIn;
    JNIEnv* env = standIn.env();
};

TEST_F(StandInBreaches, EverySlotIsSetButTheReservedOnes) {
    const void* const* slots = reinterpret_cast<const void* const*>(env->functions);
    for (size_t i = 0; i < sizeof(JNINativeInterface_) / sizeof(void*); ++i) {
        EXPECT_EQ(i >= 4, slots[i] != nullptr) << "slot " << i;
    }
}

// What neither the library nor a host or harness calls is not provided: each such slot names
// itself as a breach and answers zero, or JNI_ERR where zero would read as success.
TEST_F(StandInBreaches, SlotsNothingCallsReportThemselvesByName) {
    jclass vector = env->FindClass("java/util/Vector");
    jobject object = New("java/util/Vector");
    jstring text = env->NewStringUTF("text");
    jintArray ints = env->NewIntArray(2);
    jdoubleArray doubles = env->NewDoubleArray(2);
    jint region[2];
    jchar units[2];
    char bytes[8];
    EXPECT_EQ(0, env->GetVersion());
    EXPECT_EQ(nullptr, env->GetSuperclass(vector));
    EXPECT_FALSE(env->IsAssignableFrom(vector, vector));
    EXPECT_EQ(JNI_ERR, env->Throw(nullptr));
    EXPECT_EQ(nullptr, env->NewGlobalRef(text));
    env->DeleteGlobalRef(text);
    EXPECT_EQ(nullptr, env->NewWeakGlobalRef(text));
    env->DeleteWeakGlobalRef(text);
    EXPECT_FALSE(env->IsSameObject(text, text));
    EXPECT_EQ(JNI_ERR, env->EnsureLocalCapacity(1));
    EXPECT_EQ(JNIInvalidRefType, env->GetObjectRefType(text));
    EXPECT_EQ(nullptr, env->AllocObject(vector));
    EXPECT_FALSE(env->IsInstanceOf(object, vector));
    EXPECT_EQ(nullptr, env->GetStaticMethodID(vector, "size", "()I"));
    EXPECT_EQ(nullptr, env->CallStaticObjectMethod(vector, nullptr));
    EXPECT_EQ(nullptr, env->CallObjectMethodA(object, nullptr, nullptr));
    EXPECT_EQ(0, env->GetLongField(object, nullptr));
    EXPECT_EQ(0, env->GetStringUTFLength(text));
    env->GetStringRegion(text, 0, 1, units);
    env->GetStringUTFRegion(text, 0, 1, bytes);
    env->GetIntArrayRegion(ints, 0, 2, region);
    EXPECT_EQ(nullptr, env->GetDoubleArrayElements(doubles, nullptr));
    env->ReleaseDoubleArrayElements(doubles, nullptr, 0);
    EXPECT_EQ(nullptr, env->GetPrimitiveArrayCritical(ints, nullptr));
    env->ReleasePrimitiveArrayCritical(ints, nullptr, 0);
    EXPECT_EQ(nullptr, env->functions->GetModule(env, nullptr));
    EXPECT_EQ(JNI_ERR, env->MonitorEnter(text));
    std::vector<std::string> expected;
    for (const char* slot : {"GetVersion",
                             "GetSuperclass",
                             "IsAssignableFrom",
                             "Throw",
                             "NewGlobalRef",
                             "DeleteGlobalRef",
                             "NewWeakGlobalRef",
                             "DeleteWeakGlobalRef",
                             "IsSameObject",
                             "EnsureLocalCapacity",
                             "GetObjectRefType",
                             "AllocObject",
                             "IsInstanceOf",
                             "GetStaticMethodID",
                             "CallStaticObjectMethodV",
                             "CallObjectMethodA",
                             "GetLongField",
                             "GetStringUTFLength",
                             "GetStringRegion",
                             "GetStringUTFRegion",
                             "GetIntArrayRegion",
                             "GetDoubleArrayElements",
                             "ReleaseDoubleArrayElements",
                             "GetPrimitiveArrayCritical",
                             "ReleasePrimitiveArrayCritical",
                             "GetModule",
                             "MonitorEnter"}) {
        expected.push_back(std::string(slot) + ": not provided by the stand-in");
    }
    EXPECT_EQ(expected, standIn.TakeBreaches());
}

TEST_F(StandInBreaches, CallsWithAnExceptionPendingOtherThanTheSafeOnes) {
    env->FindClass("no/Such");
    EXPECT_TRUE(env->ExceptionCheck());
    jthrowable thrown = env->ExceptionOccurred();
    env->DeleteLocalRef(thrown);
    EXPECT_EQ(std::vector<std::string>{}, standIn.TakeBreaches());
    env->NewStringUTF("late");
    EXPECT_EQ("NewStringUTF: called with an exception pending", OnlyBreach());
    env->ExceptionClear();
}

TEST_F(StandInBreaches, ReferencesDeletedPoppedOrForeign) {
    jstring text = env->NewStringUTF("x");
    env->DeleteLocalRef(text);
    env->GetStringLength(text);
    EXPECT_EQ("GetStringLength: a reference used after it was deleted", OnlyBreach());
    env->PushLocalFrame(4);
    jstring inner = env->NewStringUTF("y");
    env->PopLocalFrame(nullptr);
    env->GetStringLength(inner);
    EXPECT_EQ("GetStringLength: a local reference of a frame already popped", OnlyBreach());
    int notAnObject = 0;
    env->GetStringLength(reinterpret_cast<jstring>(&notAnObject));
    EXPECT_EQ("GetStringLength: not a reference this stand-in made", OnlyBreach());
    JniStandIn other;
    env->GetStringLength(other.env()->NewStringUTF("z"));
    EXPECT_EQ("GetStringLength: a reference of another stand-in", OnlyBreach());
}

TEST_F(StandInBreaches, MemberIdsForeignMisappliedOrOfTheWrongType) {
    jclass vector = env->FindClass("java/util/Vector");
    jobject object = env->NewObject(vector, env->GetMethodID(vector, "<init>", "()V"));
    jmethodID add = env->GetMethodID(vector, "add", "(Ljava/lang/Object;)Z");
    env->CallVoidMethod(object, add, nullptr);
    EXPECT_EQ("CallVoidMethodV: java.util.Vector.add(Ljava/lang/Object;)Z returns boolean",
              OnlyBreach());
    env->CallBooleanMethod(env->NewStringUTF("s"), add, nullptr);
    EXPECT_EQ("CallBooleanMethodV: java.util.Vector.add(Ljava/lang/Object;)Z called on an object "
              "of java.lang.String",
              OnlyBreach());
    jclass agent = env->FindClass("com/quorvane/inventory/inventoryagent/BasicFileInventoryAgent");
    jmethodID check = env->GetMethodID(agent, "checkRootDirectory", "(Ljava/lang/String;)Z");
    env->CallBooleanMethod(New("com/quorvane/inventory/inventoryagent/BasicFileInventoryAgent"),
                           check, nullptr);
    EXPECT_EQ("CallBooleanMethodV: com.quorvane.inventory.inventoryagent.BasicFileInventoryAgent."
              "checkRootDirectory(Ljava/lang/String;)Z is native: the host calls the library's "
              "export",
              OnlyBreach());
    int notAnId = 0;
    env->CallIntMethod(object, reinterpret_cast<jmethodID>(&notAnId));
    EXPECT_EQ("CallIntMethodV: not a method ID of this stand-in", OnlyBreach());
    jclass service = env->FindClass("com/quorvane/inventory/inventoryagent/Service");
    jfieldID type = env->GetFieldID(service, "type", "I");
    env->GetObjectField(New("com/quorvane/inventory/inventoryagent/Service"), type);
    EXPECT_EQ("GetObjectField: com.quorvane.inventory.inventoryagent.Service.type is int",
              OnlyBreach());
    env->SetIntField(object, type, 1);
    EXPECT_EQ("SetIntField: com.quorvane.inventory.inventoryagent.Service.type read or written on "
              "an object of java.util.Vector",
              OnlyBreach());
    jfieldID name = env->GetFieldID(service, "name", "Ljava/lang/String;");
    env->SetObjectField(New("com/quorvane/inventory/inventoryagent/Service"), name, object);
    EXPECT_EQ("SetObjectField: com.quorvane.inventory.inventoryagent.Service.name cannot hold an "
              "object of java.util.Vector",
              OnlyBreach());
}

TEST_F(StandInBreaches, CharsAndElementsNotReleasedOrReleasedAmiss) {
    jstring text = env->NewStringUTF("abc");
    jintArray ints = env->NewIntArray(2);
    standIn.EnterNativeMethod();
    env->GetStringUTFChars(text, nullptr);
    jint* elements = env->GetIntArrayElements(ints, nullptr);
    elements[1] = 7;
    env->ReleaseIntArrayElements(ints, elements, JNI_COMMIT);
    EXPECT_EQ(nullptr, standIn.LeaveNativeMethod(nullptr));
    EXPECT_EQ((std::vector<std::string>{
                  "LeaveNativeMethod: string UTF chars from GetStringUTFChars not released",
                  "LeaveNativeMethod: array elements from GetIntArrayElements not released"}),
              standIn.TakeBreaches());
    jint* copied = env->GetIntArrayElements(ints, nullptr);
    EXPECT_EQ(7, copied[1]) << "JNI_COMMIT copies back";
    env->ReleaseIntArrayElements(ints, copied, JNI_ABORT);

    const char* chars = env->GetStringUTFChars(text, nullptr);
    env->ReleaseStringUTFChars(env->NewStringUTF("abc"), chars);
    EXPECT_EQ("ReleaseStringUTFChars: a pointer not handed out for this object", OnlyBreach());
    env->ReleaseStringUTFChars(text, chars);
    env->ReleaseStringUTFChars(text, chars);
    EXPECT_EQ("ReleaseStringUTFChars: released twice", OnlyBreach());
}

TEST_F(StandInBreaches, LocalReferencesBeyondTheFramesCapacity) {
    for (int i = 0; i < 100; ++i) {
        env->NewStringUTF("the host's own frame has no limit");
    }
    standIn.EnterNativeMethod();
    for (int i = 0; i < 16; ++i) {
        env->DeleteLocalRef(env->NewStringUTF("deleted as it goes"));
    }
    for (int i = 0; i < 16; ++i) {
        env->NewStringUTF("kept");
    }
    EXPECT_EQ(std::vector<std::string>{}, standIn.TakeBreaches());
    env->NewStringUTF("one too many");
    env->NewStringUTF("reported once");
    EXPECT_EQ("NewStringUTF: more than 16 local references live in one frame", OnlyBreach());
    standIn.LeaveNativeMethod(nullptr);

    standIn.EnterNativeMethod();
    EXPECT_EQ(0, env->PushLocalFrame(1));
    env->FindClass("java/lang/String");
    env->FindClass("java/lang/Object");
    EXPECT_EQ("FindClass: more than 1 local references live in one frame", OnlyBreach());
    auto kept = static_cast<jstring>(standIn.LeaveNativeMethod(env->NewStringUTF("result")));
    EXPECT_EQ(6, env->GetStringLength(kept)) << "the result is a live reference of the caller's";
    EXPECT_EQ(std::vector<std::string>{}, standIn.TakeBreaches());
}

TEST_F(StandInBreaches, ForeignThreadsAndForbiddenNulls) {
    std::thread([&] { env->NewStringUTF("from elsewhere"); }).join();
    EXPECT_EQ("NewStringUTF: called from a thread other than the stand-in's", OnlyBreach());
    EXPECT_EQ(nullptr, env->GetStringUTFChars(nullptr, nullptr));
    EXPECT_EQ("GetStringUTFChars: null string", OnlyBreach());
    EXPECT_EQ(nullptr, env->GetMethodID(nullptr, "size", "()I"));
    EXPECT_EQ("GetMethodID: null class", OnlyBreach());
    EXPECT_EQ(0, env->GetArrayLength(nullptr));
    EXPECT_EQ("GetArrayLength: null array", OnlyBreach());
    EXPECT_FALSE(env->ExceptionCheck());
}

} // namespace

// A fault simulation counts only what native methods call, and fails exactly the chosen call.
class StandInOutOfMemory : public StandInBreaches {};

TEST_F(StandInOutOfMemory, TheChosenCallOfANativeMethodFailsAsAJvmWithoutMemory) {
    standIn.FailNthFallibleCall(2);
    jstring hostText = env->NewStringUTF("the host's own");
    standIn.EnterNativeMethod();
    EXPECT_NE(nullptr, env->FindClass("java/lang/String"));
    EXPECT_EQ(nullptr, env->GetStringUTFChars(hostText, nullptr));
    EXPECT_TRUE(env->ExceptionCheck());
    jthrowable thrown = env->ExceptionOccurred();
    env->ExceptionClear();
    EXPECT_NE(nullptr, env->NewStringUTF("after the one failure"));
    EXPECT_EQ(3u, standIn.FallibleCallCount());
    thrown = static_cast<jthrowable>(standIn.LeaveNativeMethod(thrown));
    jclass classClass = env->FindClass("java/lang/Class");
    jobject name =
        env->CallObjectMethod(env->GetObjectClass(thrown),
                              env->GetMethodID(classClass, "getName", "()Ljava/lang/String;"));
    const char* chars = env->GetStringUTFChars(static_cast<jstring>(name), nullptr);
    EXPECT_STREQ("java.lang.OutOfMemoryError", chars);
    env->ReleaseStringUTFChars(static_cast<jstring>(name), chars);
    EXPECT_EQ(3u, standIn.FallibleCallCount()) << "the host's own calls are not counted";
    standIn.FailNthFallibleCall(0);
    EXPECT_EQ(std::vector<std::string>{}, standIn.TakeBreaches());
}
