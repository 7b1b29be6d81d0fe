#include "tests/support/JvmHarness.h"
#include "tests/support/Machine.h"
#include "tests/support/TestPrefix.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"

#include "Platform/Win32.h"

#include <string.h>

namespace {

class RootDirectoryTest : public JvmTest {
  protected:
    bool Check(const char* root) {
        return Java_com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent_checkRootDirectory(
                   env, nullptr, root != nullptr ? JavaString(root) : nullptr) == JNI_TRUE;
    }
    TestPrefix prefix;
};

TEST_F(RootDirectoryTest, OnlyAFixedDiskCounts) {
    prefix.MapDrive('d', "/");
    prefix.MapDrive('r', "/dev/shm");
    EXPECT_TRUE(Check("C:\\"));
    EXPECT_TRUE(Check("c:\\"));
    EXPECT_TRUE(Check("D:\\"));
    EXPECT_FALSE(Check("R:\\")) << "tmpfs is a RAM disk";
    EXPECT_FALSE(Check("Q:\\")) << "a letter that maps nowhere";
}

// Marks a drive's type as a prefix does, under Software\Wine\Drives, for the life of the object.
class DriveTypeMark {
  public:
    DriveTypeMark(const char* drive, const char* type) : drive_(drive) {
        SetText(kDrives, drive, type);
    }
    ~DriveTypeMark() { RemoveMachineValue(kDrives, drive_); }
    DriveTypeMark(const DriveTypeMark&) = delete;
    DriveTypeMark& operator=(const DriveTypeMark&) = delete;

  private:
    static constexpr char kDrives[] = "Software\\Wine\\Drives";
    const char* drive_;
};

TEST_F(RootDirectoryTest, NetworkShareIsNoFixedDisk) {
    prefix.MapDrive('n', prefix.DriveC());
    DriveTypeMark network("n:", "network");
    EXPECT_FALSE(Check("N:\\"));
}

TEST_F(RootDirectoryTest, RemovableDiskIsNoFixedDisk) {
    prefix.MapDrive('u', prefix.DriveC());
    DriveTypeMark floppy("U:", "Floppy");
    EXPECT_FALSE(Check("U:\\"));
}

// A root the ANSI code page cannot hold is no root, not the drive its best fit names: Ω is no O.
TEST_F(RootDirectoryTest, RootsOutsideTheCodePageAreNoRoot) {
    prefix.MapDrive('o', "/");
    EXPECT_TRUE(Check("O:\\"));
    EXPECT_FALSE(Check("\xCE\xA9:\\"));
}

TEST_F(RootDirectoryTest, NoRootGivesFalse) {
    EXPECT_FALSE(Check(nullptr));
    EXPECT_FALSE(Check(""));
    EXPECT_FALSE(Check("not a root"));
}

// The product as the JVM binds it: the same export, loaded from libPallwick.so by System.load and
// reached through the Java class's native method.
TEST_F(RootDirectoryTest, JavaBindsTheExportOfTheLibrary) {
    jclass loader = env->FindClass("com/quorvane/inventory/testsupport/NativeLibraryLoader");
    ASSERT_NE(nullptr, loader);
    jmethodID load = env->GetStaticMethodID(loader, "load", "(Ljava/lang/String;)V");
    env->CallStaticVoidMethod(loader, load, JavaString(PALLWICK_LIBRARY_PATH));
    ASSERT_FALSE(env->ExceptionCheck()) << "System.load failed";

    jclass agentClass =
        env->FindClass("com/quorvane/inventory/inventoryagent/BasicFileInventoryAgent");
    ASSERT_NE(nullptr, agentClass);
    jobject agent = env->NewObject(agentClass, env->GetMethodID(agentClass, "<init>", "()V"));
    ASSERT_FALSE(env->ExceptionCheck());
    jmethodID check = env->GetMethodID(agentClass, "checkRootDirectory", "(Ljava/lang/String;)Z");
    auto call = [&](const char* root) {
        jboolean fixed = env->CallBooleanMethod(agent, check, root ? JavaString(root) : nullptr);
        if (env->ExceptionCheck()) {
            env->ExceptionDescribe();
            ADD_FAILURE() << "the native method did not bind";
        }
        return fixed == JNI_TRUE;
    };
    EXPECT_TRUE(call("C:\\"));
    EXPECT_FALSE(call("Q:\\"));
    EXPECT_FALSE(call(nullptr));
}

} // namespace
