#include "tests/jni/InstalledSoftwareFixture.h"

#include <thread>

namespace {

TEST_F(InstalledSoftwareTest, ProgramsWithDisplayNameInSubkeyOrderAndAttributeOrder) {
    HKEY keys[] = {Program("beta", "Beta"), Program("Alpha", "Alpha"), Program("Gamma", nullptr)};
    SetValue(keys[0], "Publisher", REG_SZ, "Quorvane", 9);
    std::vector<Value> values = Collect({"DisplayName", "Publisher"}, {10, 20});
    EXPECT_EQ((std::vector<Value>{{10, "Alpha", "Alpha"},
                                  {20, "", "Alpha"},
                                  {10, "Beta", "beta"},
                                  {20, "Quorvane", "beta"}}),
              values);
    EXPECT_EQ(1u, Count("Atttribute 'Publisher' not found"));
    EXPECT_EQ(1u, Count("Display name attribute not found for subkey 'Gamma'"));
    EXPECT_EQ(1u, Count("\nTotal subkeys under 'Uninstall' key = 3"));
    std::vector<LogRecord> records = log.Records();
    ASSERT_FALSE(records.empty());
    EXPECT_EQ("Entered the method", records.front().message);
    EXPECT_EQ("Exiting the method", records.back().message);
    EXPECT_EQ("NativeInstalledApps", records.back().source) << "the file name alone";
    for (HKEY key : keys) {
        RegCloseKey(key);
    }
}

TEST_F(InstalledSoftwareTest, SubkeyNamesOfTheLongestLengthAllowedAreRead) {
    RegCloseKey(Program(std::string(255, 'L')));
    RegCloseKey(Program(std::string(254, 'M')));
    std::vector<Value> values = Collect({"ProdID"}, {1});
    ASSERT_EQ(2u, values.size());
    EXPECT_EQ(std::string(255, 'L'), values[0].id);
    EXPECT_EQ(std::string(254, 'M'), values[1].id);
    EXPECT_EQ(0u, CountStarting("Could not find name of subkey"));
}

TEST_F(InstalledSoftwareTest, ProductIdComesFromTheSubkeyName) {
    HKEY key = Program("{Quorvane-0001}");
    SetValue(key, "ProductID", REG_SZ, "stored", 7);
    EXPECT_EQ((std::vector<Value>{{1, "{Quorvane-0001}", "{Quorvane-0001}"},
                                  {2, "{Quorvane-0001}", "{Quorvane-0001}"}}),
              Collect({"prodid", "PRODUCTID"}, {1, 2}));
    RegCloseKey(key);
}

// Ω is outside the ANSI code page: no value an ANSI reader reaches can bear that name.
TEST_F(InstalledSoftwareTest, NullOrUnrepresentableAttributeSkipsItsMasterCode) {
    RegCloseKey(Program("One", "One"));
    RegCloseKey(Program("Two", "Two"));
    std::vector<Value> values =
        Collect({"DisplayName", nullptr, "ProdID", "\xCE\xA9"}, {1, 2, 3, 4});
    EXPECT_EQ((std::vector<Value>{
                  {1, "One", "One"}, {3, "One", "One"}, {1, "Two", "Two"}, {3, "Two", "Two"}}),
              values);
    EXPECT_EQ(1u, Count("Attribute name passed in the array of attributes was null"));
    EXPECT_EQ(1u, Count("Text not representable in the ANSI code page"));
}

// Names in the ANSI code page reach Java as the characters they stand for, and come back to the
// same subkey; a name the code page cannot hold names none.
TEST_F(InstalledSoftwareTest, AnsiSubkeyNamesRoundTrip) {
    HKEY key = Program("Caf\xE9");
    SetValue(key, "Publisher", REG_SZ,
             "\xC9"
             "diteur",
             8);
    EXPECT_EQ((std::vector<Value>{{1, "Caf\xC3\xA9", "Caf\xC3\xA9"},
                                  {2,
                                   "\xC3\x89"
                                   "diteur",
                                   "Caf\xC3\xA9"}}),
              Collect({"ProdID", "Publisher"}, {1, 2}));
    EXPECT_TRUE(Check("Caf\xC3\xA9"));
    EXPECT_FALSE(Check("Caf\xCE\xA9"));
    EXPECT_EQ(1u, Count("Text not representable in the ANSI code page"));
    RegCloseKey(key);
}

TEST_F(InstalledSoftwareTest, CheckInstanceOpensTheNamedSubkey) {
    RegCloseKey(Program("Present"));
    EXPECT_TRUE(Check("Present"));
    EXPECT_TRUE(Check("pRESENT"));
    EXPECT_TRUE(Check("")) << "the Uninstall key itself";
    EXPECT_FALSE(Check("Absent"));
    EXPECT_FALSE(Check(nullptr));
    EXPECT_EQ(1u, Count("Could not successfully open handle for subkey Absent"));
    EXPECT_EQ(1u, Count("Registry handle for uniqueInstanceId not found"));
    EXPECT_EQ(1u, Count("UniqueInstance id passed to native method was null."));
    Release();
    Release();
    EXPECT_TRUE(Check("Present")) << "the keys open again after a release";

    FailingJniEnv failing(env);
    failing.Fail({JniCall::GetStringUTFChars});
    EXPECT_EQ(JNI_FALSE,
              Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_checkInstance(
                  failing.env(), nullptr, JavaString("Present")));
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_EQ(1u, Count("Trying to find registry handle for uniqueinstance ID '(null)'"));
    EXPECT_EQ(1u, Count("UniqueInstance id found NULL")) << "refused characters are a null id";
    EXPECT_EQ(2u, Count("Registry handle for uniqueInstanceId not found"));
}

TEST_F(InstalledSoftwareTest, JvmRefusalsEndTheCallWithTheExceptionPending) {
    RegCloseKey(Program("One"));
    struct Case {
        JniFault fault;
        const char* message;
    };
    const Case cases[] = {
        {{JniCall::FindClass, "com/quorvane/inventory/inventoryagent/InventoryResultVector"},
         "Could not find InventoryResultVector class"},
        {{JniCall::GetMethodID, "size"},
         "Could not find size() method in InventoryResultVector class"},
        {{JniCall::GetMethodID, "add"},
         "Could not find add() method in InventoryResultVector class"},
        {{JniCall::FindClass, "com/quorvane/inventory/InventoryAttributeValue"},
         "Could not find InventoryAttributeValue class"},
        {{JniCall::GetMethodID, "<init>"},
         "Could not find default constructor in InventoryAttributeValue class"},
        {{JniCall::GetStringUTFChars}, "Could not get the characters of attribute name #1."},
        {{JniCall::GetIntArrayElements}, "Could not get the elements of the master codes array."},
        {{JniCall::NewObject}, "Could not create an instance of InventoryAttributeValue class"},
    };
    for (const Case& c : cases) {
        FailingJniEnv failing(env);
        failing.Fail(c.fault);
        jobject vector = NewVector();
        EXPECT_EQ(-1, Call(failing.env(), {"DisplayName"}, {1}, vector)) << c.message;
        EXPECT_TRUE(env->ExceptionCheck()) << c.message;
        env->ExceptionClear();
        EXPECT_EQ(1u, Count(c.message));
        EXPECT_TRUE(Read(vector).empty()) << c.message;
        env->DeleteLocalRef(vector);
    }
}

TEST_F(InstalledSoftwareTest, ValueTypesBecomeText) {
    HKEY key = Program("Types");
    const BYTE bytes[] = {0x01, 0xAB, 0xFF};
    SetValue(key, "Binary", REG_BINARY, bytes, 3);
    SetValue(key, "NoData", REG_BINARY, bytes, 0);
    SetDword(key, "AllOnes", 0xFFFFFFFF);
    SetDword(key, "TopBit", 0x80000000);
    SetDword(key, "Zero", 0);
    SetDword(key, "lAnGuAgE", 1033 + 65536);
    SetTestEnvironment("PALLWICK_INSTALL_ROOT", "D:\\Apps");
    const char expand[] = "%PALLWICK_INSTALL_ROOT%\\Tool";
    SetValue(key, "Expand", REG_EXPAND_SZ, expand, sizeof expand);
    SetValue(key, "Multi", REG_MULTI_SZ, "a\0b\0", 5);
    const unsigned long long quad = 7;
    SetValue(key, "Quad", REG_QWORD, &quad, sizeof quad);
    std::vector<Value> values = Collect(
        {"Binary", "NoData", "AllOnes", "TopBit", "Zero", "Language", "Expand", "Multi", "Quad"},
        {1, 2, 3, 4, 5, 6, 7, 8, 9});
    std::vector<std::string> texts;
    for (const Value& value : values) {
        texts.push_back(value.text);
    }
    EXPECT_EQ((std::vector<std::string>{"01 ab ff", "", "-1", "-2147483648", "0",
                                        "English (United States)", "D:\\Apps\\Tool", "", ""}),
              texts);
    EXPECT_EQ(1u, Count("REG_MULTI_SZ type not supported."));
    EXPECT_EQ(1u, Count("REG_QWORD type not supported."));
    SetTestEnvironment("PALLWICK_INSTALL_ROOT", nullptr);
    RegCloseKey(key);
}

TEST_F(InstalledSoftwareTest, LanguageIsTranslatedOnlyAsDword) {
    HKEY keys[] = {Program("A"), Program("B"), Program("C")};
    SetDword(keys[0], "LANGUAGE", 0x7F7F);
    SetValue(keys[1], "Language", REG_SZ, "1033", 5);
    SetDword(keys[2], "language", 0);
    std::vector<Value> values = Collect({"Language"}, {1});
    ASSERT_EQ(3u, values.size());
    EXPECT_EQ("Unknown language", values[0].text);
    EXPECT_EQ("1033", values[1].text);
    EXPECT_EQ("Language Neutral", values[2].text);
    for (HKEY key : keys) {
        RegCloseKey(key);
    }
}

// Values stored as no well-behaved writer stores them: nothing may be written past a buffer.
TEST_F(InstalledSoftwareTest, MalformedValuesStayInsideTheirBuffers) {
    HKEY key = Program("Odd");
    SetValue(key, "Unterminated", REG_SZ, "abcdef", 6);
    SetTestEnvironment("PALLWICK_UNTERMINATED", "xyz");
    SetValue(key, "ExpandUnterminated", REG_EXPAND_SZ, "%PALLWICK_UNTERMINATED%", 23);
    const BYTE eight[8] = {1, 0, 0, 0, 2, 0, 0, 0};
    SetValue(key, "WideDword", REG_DWORD, eight, sizeof eight);
    std::vector<Value> values =
        Collect({"Unterminated", "ExpandUnterminated", "WideDword"}, {1, 2, 3});
    ASSERT_EQ(3u, values.size());
    EXPECT_EQ("abcdef", values[0].text);
    EXPECT_EQ("xyz", values[1].text);
    EXPECT_EQ("", values[2].text) << "a DWORD of eight bytes is not read";
    SetTestEnvironment("PALLWICK_UNTERMINATED", nullptr);
    RegCloseKey(key);
}

// One collection of every program's ProdID on the calling thread's own env: the number of values
// collected, or -1 when the call failed.
jint CollectProductIdsOn(JNIEnv* jni) {
    jclass stringClass = jni->FindClass("java/lang/String");
    jobjectArray names = jni->NewObjectArray(1, stringClass, jni->NewStringUTF("ProdID"));
    jintArray codes = jni->NewIntArray(1);
    jclass vectorClass =
        jni->FindClass("com/quorvane/inventory/inventoryagent/InventoryResultVector");
    jobject vector = jni->NewObject(vectorClass, jni->GetMethodID(vectorClass, "<init>", "()V"));
    jbyte result =
        Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_getAttributeValues(
            jni, nullptr, names, codes, vector, JNI_FALSE, 1000000);
    jint size = jni->CallIntMethod(vector, jni->GetMethodID(vectorClass, "size", "()I"));
    return result == 0 && !jni->ExceptionCheck() ? size : -1;
}

// Collections and releases on two threads at once: each call uses only the class references it
// found itself, and a release lets the keys a walk on the other thread still uses stay open.
TEST_F(InstalledSoftwareTest, CollectionsAndReleasesOnTwoThreadsAtOnce) {
    const jint programs = 8;
    for (jint i = 0; i < programs; ++i) {
        RegCloseKey(Program("Program" + std::to_string(i)));
    }
    auto collect = [&](std::vector<jint>* sizes) {
        ThreadJniEnv attached;
        JNIEnv* jni = attached.env();
        if (jni == nullptr) {
            return;
        }
        for (int round = 0; round < 40; ++round) {
            jni->PushLocalFrame(kTestLocalFrameCapacity);
            sizes->push_back(CollectProductIdsOn(jni));
            Java_com_quorvane_inventory_inventoryagent_InstalledSoftwaresAgent_releaseResources(
                jni, nullptr);
            jni->PopLocalFrame(nullptr);
        }
    };
    std::vector<jint> first, second;
    std::thread one(collect, &first);
    std::thread other(collect, &second);
    one.join();
    other.join();
    EXPECT_EQ(std::vector<jint>(40, programs), first);
    EXPECT_EQ(std::vector<jint>(40, programs), second);
}

} // namespace
