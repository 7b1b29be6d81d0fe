// Registry key paths as Java passes them to the registry agent's exports, through the JNI
// stand-in: the instance check (a key when the path ends in a backslash, else a value after the
// last one), child keys, child values and the last-write time, over a registry that has the
// keys the seeds name.
#include "fuzz/FuzzMachine.h"

#include <jni.h>

extern "C" {
JNIEXPORT jbyte JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_checkInstanceExists(
    JNIEnv* env, jobject, jstring instanceId);
JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
    JNIEnv* env, jobject, jstring keyPath);
JNIEXPORT jobjectArray JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
    JNIEnv* env, jobject, jstring keyPath);
JNIEXPORT jlong JNICALL
Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getLastModifiedTime(
    JNIEnv* env, jobject, jstring keyPath);
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    FuzzMachine();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CallWithJavaString(
        data, size,
        {[](JNIEnv* env, jstring path) {
             Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_checkInstanceExists(
                 env, nullptr, path);
         },
         [](JNIEnv* env, jstring path) {
             Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildKeyNames(
                 env, nullptr, path);
         },
         [](JNIEnv* env, jstring path) {
             Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getChildValueNames(
                 env, nullptr, path);
         },
         [](JNIEnv* env, jstring path) {
             Java_com_quorvane_inventory_inventoryagent_WindowsRegistryInventoryAgent_getLastModifiedTime(
                 env, nullptr, path);
         }});
    return 0;
}
