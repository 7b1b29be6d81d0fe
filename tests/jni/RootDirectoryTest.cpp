#include "tests/support/JvmHarness.h"
#include "tests/support/TestPrefix.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"

#include <fstream>
#include <initializer_list>
#include <string>

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

// The first mount point whose file system type is one of types, or "" when there is none.
std::string MountOfType(std::initializer_list<const char*> types) {
    std::ifstream mounts("/proc/mounts");
    std::string device, point, type, rest;
    while (mounts >> device >> point >> type && std::getline(mounts, rest)) {
        for (const char* wanted : types) {
            if (type == wanted) {
                return point;
            }
        }
    }
    return "";
}

// The mount point of a partition or disk the kernel marks removable, or "".
std::string RemovableMount() {
    std::ifstream mounts("/proc/mounts");
    std::string device, point, rest;
    while (mounts >> device >> point && std::getline(mounts, rest)) {
        if (device.rfind("/dev/", 0) != 0) {
            continue;
        }
        std::string name = device.substr(5);
        for (std::string disk = name; !disk.empty(); disk.pop_back()) {
            std::ifstream flag("/sys/block/" + disk + "/removable");
            char first = '0';
            if (flag >> first) {
                if (first == '1') {
                    return point;
                }
                break;
            }
        }
    }
    return "";
}

TEST_F(RootDirectoryTest, NetworkShareIsNoFixedDisk) {
    std::string share = MountOfType({"nfs", "nfs4", "cifs", "smb3", "9p"});
    if (share.empty()) {
        GTEST_SKIP() << "no network file system is mounted on this machine";
    }
    prefix.MapDrive('n', share);
    EXPECT_FALSE(Check("N:\\"));
}

TEST_F(RootDirectoryTest, RemovableDiskIsNoFixedDisk) {
    std::string stick = RemovableMount();
    if (stick.empty()) {
        GTEST_SKIP() << "no removable disk is mounted on this machine";
    }
    prefix.MapDrive('u', stick);
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
