#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"

// Only a fixed local disk counts: removable media, shares, optical drives and RAM disks come and
// go, so the agent does not inventory files on them.
JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent_checkRootDirectory(
    JNIEnv* env, jobject, jstring rootPath) {
    if (rootPath == nullptr) {
        return JNI_FALSE;
    }
    const char* root = env->GetStringUTFChars(rootPath, nullptr);
    if (root == nullptr) {
        return JNI_FALSE;
    }
    UINT driveType = GetDriveTypeA(root);
    env->ReleaseStringUTFChars(rootPath, root);
    return driveType == DRIVE_FIXED ? JNI_TRUE : JNI_FALSE;
}
