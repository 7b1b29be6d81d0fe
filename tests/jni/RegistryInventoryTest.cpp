#include "tests/jni/RegistryInventoryFixture.h"

#include <strings.h>

#include <atomic>
#include <thread>

namespace {

TEST_F(RegistryInventoryTest, PathFormsResolveAsTheRootTableSays) {
    const Pair children = {"alpha", "Beta", "Gamma"};
    EXPECT_EQ(children, Keys("HKLM\\SOFTWARE\\Vendor\\Children")) << "in enumeration order";
    EXPECT_EQ(children, Keys("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\Children"));
    EXPECT_EQ(children, Keys("\\\\HKLM\\SOFTWARE\\Vendor\\Children")) << "leading backslashes";
    EXPECT_EQ(children, Keys("HKLM\\SOFTWARE\\\\Vendor\\Children")) << "doubled inside";
    Strings machine = Keys("HKLM");
    ASSERT_TRUE(machine.has_value());
    // The name keeps the case it was created with: Windows' images say SOFTWARE, Wine's Software.
    EXPECT_EQ(1, std::count_if(machine->begin(), machine->end(), [](const std::string& name) {
                  return strcasecmp(name.c_str(), "SOFTWARE") == 0;
              }));
    EXPECT_EQ(machine, Keys("HKLM\\"));

    EXPECT_EQ(std::nullopt, Keys("hklm\\SOFTWARE"));
    EXPECT_TRUE(Logged("could not find predefined key [hklm]"));
    EXPECT_EQ(std::nullopt, Keys("HKLM/SOFTWARE"));
    EXPECT_TRUE(Logged("could not find predefined key [HKLM/SOFTWARE]"));
    EXPECT_EQ(std::nullopt, Keys("\\\\\\"));
    EXPECT_TRUE(Logged("could not find predefined key [(null)]")) << "as a null %s prints";
    EXPECT_EQ(std::nullopt, Keys("HKUS\\.Default"));
    EXPECT_TRUE(Logged("could not find predefined key [HKUS]"));
    EXPECT_TRUE(Keys("HKU").has_value()) << "the three-letter abbreviation";

    EXPECT_EQ(std::nullopt, Keys("HKLM\\\\SOFTWARE")) << "the subkey keeps its leading backslash";
    EXPECT_TRUE(Logged("Error while opening registry key [\\SOFTWARE]"));
    EXPECT_EQ("System code: 161: The specified path is invalid.",
              After("Error while opening registry key [\\SOFTWARE]"))
        << "the registry's own status, not a stale last error";
}

TEST_F(RegistryInventoryTest, ChildNamesAndWhyTheyAreMissing) {
    SetText("SOFTWARE\\Vendor\\Children", "", "default");
    EXPECT_EQ(Pair({"Version", "Publisher"}), ValueNames("HKLM\\SOFTWARE\\Vendor"));
    EXPECT_EQ(Pair({""}), ValueNames("HKLM\\SOFTWARE\\Vendor\\Children")) << "the default value";

    EXPECT_EQ(std::nullopt, Keys("HKLM\\SOFTWARE\\Vendor\\Empty"));
    EXPECT_EQ(std::nullopt, ValueNames("HKLM\\SOFTWARE\\Vendor\\Empty"));
    EXPECT_EQ(std::nullopt, Keys("HKLM\\SOFTWARE\\Missing"));
    EXPECT_EQ(std::nullopt, ValueNames("HKLM\\SOFTWARE\\Missing"));
    EXPECT_EQ(std::nullopt, ValueNames("HKXX\\SOFTWARE"));
    EXPECT_EQ(std::nullopt, Keys(nullptr));
    EXPECT_EQ(std::nullopt, Keys(""));
    EXPECT_EQ(std::nullopt, ValueNames(nullptr));
    EXPECT_EQ(std::nullopt, ValueNames(""));
    const Pair expected = {"Finding child value names for[HKLM\\SOFTWARE\\Vendor]",
                           "Finding child value names for[HKLM\\SOFTWARE\\Vendor\\Children]",
                           "Finding child key names for[HKLM\\SOFTWARE\\Vendor\\Empty]",
                           "No child keys found for key [SOFTWARE\\Vendor\\Empty]",
                           "Finding child value names for[HKLM\\SOFTWARE\\Vendor\\Empty]",
                           "No child value name found for registry key [SOFTWARE\\Vendor\\Empty]",
                           "Finding child key names for[HKLM\\SOFTWARE\\Missing]",
                           "Error while opening registry key [SOFTWARE\\Missing]",
                           "System code: 2: The system cannot find the file specified.",
                           "Finding child value names for[HKLM\\SOFTWARE\\Missing]",
                           "Error in opening registry key [SOFTWARE\\Missing]",
                           "System code: 2: The system cannot find the file specified.",
                           "Finding child value names for[HKXX\\SOFTWARE]",
                           "Predefined HKEY not found for predefined key name[HKXX]",
                           "Finding child key names for[(null)]",
                           "FullyQualified String passed is NULL",
                           "Finding child key names for[]",
                           "FullyQualified String passed is NULL",
                           "Invalid key name. Hence returning",
                           "Invalid key name. Hence returning"};
    EXPECT_EQ(expected, log.Messages());
}

TEST_F(RegistryInventoryTest, DataBecomesTextByType) {
    const std::string key = "SOFTWARE\\Vendor\\Values";
    const DWORD allBits = 0xFFFFFFFF, topBit = 0x80000000, answer = 42;
    const BYTE binary[] = {0x00, 0xAB, 0x10};
    const ULONGLONG qword = 0x434241;
    const char multi[] = "first\0second\0";
    SetValue(key, "AllBits", REG_DWORD, &allBits, 4);
    SetValue(key, "TopBit", REG_DWORD, &topBit, 4);
    SetValue(key, "Answer", REG_DWORD, &answer, 4);
    SetValue(key, "Binary", REG_BINARY, binary, 3);
    SetValue(key, "EmptyBinary", REG_BINARY, nullptr, 0);
    SetText(key, "Expand", "%SystemRoot%\\notes", REG_EXPAND_SZ);
    SetValue(key, "Multi", REG_MULTI_SZ, multi, sizeof multi);
    SetValue(key, "Qword", REG_QWORD, &qword, 8);
    SetValue(key, "NoData", REG_SZ, nullptr, 0);
    SetValue(key, "Unterminated", REG_SZ, "abc", 3);
    const char* path = "HKLM\\SOFTWARE\\Vendor\\Values";
    EXPECT_EQ(Pair({"-1", "3"}), Value(path, "AllBits"));
    EXPECT_EQ(Pair({"-2147483648", "3"}), Value(path, "TopBit"));
    EXPECT_EQ(Pair({"42", "3"}), Value(path, "Answer"));
    EXPECT_EQ(Pair({"00AB10", "2"}), Value(path, "Binary"));
    EXPECT_EQ(Pair({"", "2"}), Value(path, "EmptyBinary"));
    EXPECT_EQ(Pair({"%SystemRoot%\\notes", "1"}), Value(path, "Expand"));
    EXPECT_EQ(Pair({"first", "1"}), Value(path, "Multi"));
    EXPECT_EQ(Pair({"ABC", "1"}), Value(path, "Qword"));
    EXPECT_EQ(Pair({"", "1"}), Value(path, "NoData"));
    EXPECT_EQ(Pair({"abc", "1"}), Value(path, "Unterminated"));
    EXPECT_EQ(Pair({"1.2", "1"}), Value("HKLM\\SOFTWARE\\Vendor", "Version"));
    EXPECT_TRUE(Logged("DWORD data type [4]"));
    EXPECT_TRUE(Logged("Binary data type [3]"));
    EXPECT_TRUE(Logged("String data type [11]"));
    EXPECT_TRUE(Logged("Query for value name[Qword]"));
}

// A DWORD value may hold fewer than four bytes; what it lacks reads as zero, never as the bytes a
// larger value of the same key left in the buffer.
TEST_F(RegistryInventoryTest, ShortDwordReadsOnlyItsOwnBytes) {
    const std::string key = "SOFTWARE\\Vendor\\Short";
    const BYTE twoBytes[] = {0x2A, 0x01};
    SetValue(key, "Short", REG_DWORD, twoBytes, 2);
    SetValue(key, "Empty", REG_DWORD, nullptr, 0);
    EXPECT_EQ(Pair({"298", "3"}), Value("HKLM\\SOFTWARE\\Vendor\\Short", "Short"));
    SetText(key, "Large", "FFFFFFFFFFFF");
    EXPECT_EQ(Pair({"298", "3"}), Value("HKLM\\SOFTWARE\\Vendor\\Short", "Short"));
    EXPECT_EQ(Pair({"0", "3"}), Value("HKLM\\SOFTWARE\\Vendor\\Short", "Empty"));
}

TEST_F(RegistryInventoryTest, DefaultValuePresentAndAbsent) {
    SetText("SOFTWARE\\Vendor\\Children", "", "the default");
    EXPECT_EQ(Pair({"the default", "1"}), Default("HKLM\\SOFTWARE\\Vendor\\Children"));
    EXPECT_EQ(Pair({"", "0"}), Default("HKLM\\SOFTWARE\\Vendor"));
    EXPECT_TRUE(Logged("Error while querying value info for key name[SOFTWARE\\Vendor], value "
                       "name[]"));
    EXPECT_EQ(Pair({"", "0"}), Default("HKLM\\SOFTWARE\\Vendor\\Empty"));
    EXPECT_TRUE(Logged("No child values exist for key name[SOFTWARE\\Vendor\\Empty]"));
    EXPECT_EQ("Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getValue",
              log.Records().back().function);
}

TEST_F(RegistryInventoryTest, ValueFailuresGiveCodeZeroOrNull) {
    EXPECT_EQ(std::nullopt, Value("HKXX\\SOFTWARE\\Vendor", "Version"));
    EXPECT_EQ(std::nullopt, Value("", "Version"));
    EXPECT_EQ(std::nullopt, Value(nullptr, "Version"));
    EXPECT_EQ(Pair({"", "0"}), Value("HKLM\\SOFTWARE\\Missing", "Version"));
    EXPECT_EQ(Pair({"", "0"}), Value("HKLM\\SOFTWARE\\Vendor", "Nope"));
    EXPECT_EQ(Pair({"", "0"}), Value("HKLM\\SOFTWARE\\Vendor", nullptr)) << "no crash";
    const Pair expected = {
        "Getting value for keyname [HKXX\\SOFTWARE\\Vendor]",
        "predefined key name = HKXX",
        "Actual key name = SOFTWARE\\Vendor",
        "cannot find predefined HKEY for [HKXX]",
        "Getting value for keyname [HKLM\\SOFTWARE\\Missing]",
        "predefined key name = HKLM",
        "Actual key name = SOFTWARE\\Missing",
        "Error while opening registry key [SOFTWARE\\Missing]",
        "System code: 2: The system cannot find the file specified.",
        "Getting value for keyname [HKLM\\SOFTWARE\\Vendor]",
        "predefined key name = HKLM",
        "Actual key name = SOFTWARE\\Vendor",
        "Query for value name[Nope]",
        "Error while querying value info for key name[SOFTWARE\\Vendor], value name[Nope]",
        "System code: 2: The system cannot find the file specified.",
        "Getting value for keyname [HKLM\\SOFTWARE\\Vendor]",
        "predefined key name = HKLM",
        "Actual key name = SOFTWARE\\Vendor",
        "Assert failed: valueName != NULL"};
    EXPECT_EQ(expected, log.Messages());
}

TEST_F(RegistryInventoryTest, KeyInstances) {
    EXPECT_EQ(1, Exists("HKLM\\SOFTWARE\\"));
    EXPECT_EQ(1, Exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor\\"));
    EXPECT_EQ(1, Exists("HKLM\\")) << "the root itself";
    EXPECT_EQ(1, Exists("HKLM\\SOFTWARE\\Vendor\\\\")) << "one trailing backslash is removed";
    EXPECT_EQ(-1, Exists("HKLM\\SOFTWARE\\NoSuchKey\\"));
    EXPECT_EQ("Instance doesnot exist", After("Error while opening keyname [SOFTWARE\\NoSuchKey]"));
    EXPECT_EQ("System code: 2: The system cannot find the file specified.",
              After("Instance doesnot exist"));
    EXPECT_EQ(-1, Exists("hklm\\SOFTWARE\\"));
    EXPECT_TRUE(Logged("predefined key not found for[hklm]"));
    EXPECT_TRUE(Logged("Instance ID is a key name"));
}

TEST_F(RegistryInventoryTest, ValueInstances) {
    EXPECT_EQ(1, Exists("HKLM\\SOFTWARE\\Vendor\\Version"));
    EXPECT_TRUE(Logged("value name = [Version]"));
    EXPECT_TRUE(Logged("value name [Version] found"));
    EXPECT_EQ(1, Exists("HKLM\\SOFTWARE\\Vendor\\Publisher"));
    EXPECT_EQ(-1, Exists("HKLM\\SOFTWARE\\Vendor\\version")) << "names match case-sensitively";
    EXPECT_EQ("Value name [version] does not exist in keyName[SOFTWARE\\Vendor]",
              After("Error while enumerating value for keyName[SOFTWARE\\Vendor] at index[2]"));
    EXPECT_EQ(-1, Exists("HKLM\\Version")) << "no value directly below a root";
    EXPECT_TRUE(Logged("value name not found in instance id[HKLM]"));
    EXPECT_EQ(-1, Exists("HKLM\\SOFTWARE\\Missing\\Version"));
    EXPECT_EQ("Instance doesnot exist", After("Error while opening keyname [SOFTWARE\\Missing]"));
    EXPECT_EQ(-1, Exists(""));
    EXPECT_EQ(-1, Exists(nullptr));
    EXPECT_EQ(-1, Exists("\\\\"));
    EXPECT_TRUE(Logged("checking instance exists for instance id [(null)]"));
    EXPECT_TRUE(Logged("predefined key not found for[(null)]"));
}

// A value name that does not fit the 260-byte name buffer is longer than the sought one, so the
// search goes on past it instead of reporting the sought value missing.
TEST_F(RegistryInventoryTest, LongValueNamesDoNotEndTheSearch) {
    const std::string key = "SOFTWARE\\Vendor\\Long";
    const std::string longName(300, 'L');
    SetText(key, longName.c_str(), "long");
    SetText(key, "Sought", "here");
    const std::string longer(400, 'M');
    SetText(key, longer.c_str(), "longer");
    EXPECT_EQ(1, Exists("HKLM\\SOFTWARE\\Vendor\\Long\\Sought"));
    EXPECT_EQ(1, Exists(("HKLM\\SOFTWARE\\Vendor\\Long\\" + longer).c_str()));
    EXPECT_EQ(-1, Exists(("HKLM\\SOFTWARE\\Vendor\\Long\\" + longName + "X").c_str()));
    EXPECT_TRUE(
        Logged("Error while enumerating value for keyName[SOFTWARE\\Vendor\\Long] at index[3]"));
    EXPECT_EQ(Pair({longName, "Sought", longer}), ValueNames("HKLM\\SOFTWARE\\Vendor\\Long"));
}

// Names and data in the ANSI code page reach Java as the characters they stand for, and Java's
// text finds them again: é and € are one byte each in Windows-1252. A character the code page
// lacks is refused, not replaced: Ω would otherwise open the key its best fit, O, names.
TEST_F(RegistryInventoryTest, AnsiNamesRoundTripAndForeignOnesAreRefused) {
    SetText("SOFTWARE\\Vendor\\Caf\xE9 \x80", "Pr\xECx", "10 \x80");
    SetText("SOFTWARE\\Vendor\\O\\Inner", "Name", "wrong key");
    const char* key = "HKLM\\SOFTWARE\\Vendor\\Caf\xC3\xA9 \xE2\x82\xAC";
    Strings children = Keys("HKLM\\SOFTWARE\\Vendor");
    ASSERT_TRUE(children.has_value());
    EXPECT_EQ("Caf\xC3\xA9 \xE2\x82\xAC", (*children)[0]);
    EXPECT_EQ(Pair({"Pr\xC3\xACx"}), ValueNames(key));
    EXPECT_EQ(Pair({"10 \xE2\x82\xAC", "1"}), Value(key, "Pr\xC3\xACx"));
    EXPECT_EQ(1, Exists((std::string(key) + "\\Pr\xC3\xACx").c_str()));
    EXPECT_NE(0, Time(key));

    const char* omega = "HKLM\\SOFTWARE\\Vendor\\\xCE\xA9";
    EXPECT_EQ(std::nullopt, Keys(omega));
    EXPECT_EQ(std::nullopt, ValueNames(omega));
    EXPECT_EQ(std::nullopt, Value(omega, "Name"));
    EXPECT_EQ(Pair({"", "0"}), Value(key, "\xCE\xA9"));
    EXPECT_EQ(-1, Exists((std::string(omega) + "\\").c_str()));
    EXPECT_EQ(0, Time(omega));
    std::vector<std::string> messages = log.Messages();
    EXPECT_EQ(6, std::count(messages.begin(), messages.end(),
                            "Text not representable in the ANSI code page"));
}

// Whatever the JVM refuses, the export gives null and leaves the exception for Java.
TEST_F(RegistryInventoryTest, JvmRefusalsGiveNullWithTheExceptionPending) {
    using Export = jobjectArray (*)(JNIEnv*, jobject, jstring);
    const Export exports[] = {
        &Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames,
        &Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames,
        &Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getDefaultValue};
    const JniFault faults[] = {{JniCall::GetStringUTFChars},
                               {JniCall::FindClass, "java/lang/String"},
                               {JniCall::NewObjectArray},
                               {JniCall::NewStringUTF, "", 1},
                               {JniCall::SetObjectArrayElement}};
    SetText("SOFTWARE\\Vendor\\Children", "", "default");
    jstring path = JavaString("HKLM\\SOFTWARE\\Vendor\\Children");
    for (Export call : exports) {
        for (const JniFault& fault : faults) {
            FailingJniEnv failing(env);
            failing.Fail(fault);
            EXPECT_EQ(nullptr, call(failing.env(), nullptr, path));
            EXPECT_EQ(1, failing.Failures());
            EXPECT_TRUE(env->ExceptionCheck());
            env->ExceptionClear();
        }
    }
}

// Text outside 7-bit ASCII takes the UTF-16 route both ways; a refusal there is the JVM's, not
// a character the code page lacks, so no such record is written.
TEST_F(RegistryInventoryTest, JvmRefusalsOnTheUtf16RouteGiveNullWithTheExceptionPending) {
    PutKey("SOFTWARE\\Vendor\\Caf\xE9\\Th\xE9");
    jstring path = JavaString("HKLM\\SOFTWARE\\Vendor\\Caf\xC3\xA9");
    for (JniCall call : {JniCall::GetStringLength, JniCall::GetStringChars, JniCall::NewString}) {
        FailingJniEnv failing(env);
        failing.Fail({call});
        EXPECT_EQ(
            nullptr,
            Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
                failing.env(), nullptr, path));
        EXPECT_EQ(1, failing.Failures());
        EXPECT_TRUE(env->ExceptionCheck());
        env->ExceptionClear();
    }
    EXPECT_FALSE(Logged("Text not representable in the ANSI code page"));
}

// Paths are split on a private copy with no state kept between calls, so threads that split
// different paths at once each get their own key.
TEST_F(RegistryInventoryTest, ConcurrentCallsSplitTheirOwnPaths) {
    const char* const paths[] = {"HKLM\\SOFTWARE\\Vendor\\Children",
                                 "\\\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Vendor"};
    const jsize lengths[] = {3, 2};
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            ThreadJniEnv attached;
            JNIEnv* jni = attached.env();
            if (jni == nullptr) {
                ++mismatches;
                return;
            }
            for (int i = 0; i < 200; ++i) {
                int which = (t + i) % 2;
                jstring path = jni->NewStringUTF(paths[which]);
                jobjectArray names =
                    Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
                        jni, nullptr, path);
                if (names == nullptr || jni->GetArrayLength(names) != lengths[which]) {
                    ++mismatches;
                }
                jni->DeleteLocalRef(names);
                jni->DeleteLocalRef(path);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(0, mismatches.load());
}

} // namespace
