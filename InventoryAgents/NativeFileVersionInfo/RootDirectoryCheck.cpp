#include "Common/JniSupport.h"
#include "Platform/Win32.h"

#include "com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent.h"

// Only a fixed local disk counts: removable media, shares, optical drives and RAM disks come and
// go, so the agent does not inventory files on them. Nothing is logged, whatever the answer.
JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_BasicFileInventoryAgent_checkRootDirectory(
    JNIEnv* env, jobject, jstring rootPath) {
    ScopedAnsiChars root(env, rootPath);
    if (root.chars() == nullptr) {
        return JNI_FALSE;
    }
    return GetDriveTypeA(root.chars()) == DRIVE_FIXED ? JNI_TRUE : JNI_FALSE;
}
