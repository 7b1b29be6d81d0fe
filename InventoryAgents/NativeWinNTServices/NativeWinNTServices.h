// Services and drivers known to the Service Control Manager: one Service object per service,
// appended to the caller's Vector, a cancellation from another thread, and the check that a
// service is still installed.
#pragma once

#include "Platform/Win32.h"

#include <jni.h>

// The export of getServices, under the long JNI name that carries its argument signature.
extern "C" JNIEXPORT jboolean JNICALL
Java_com_quorvane_inventory_inventoryagent_WinNTServiceInventoryAgent_getServices__Ljava_util_Vector_2(
    JNIEnv* env, jobject self, jobject serviceVector);

// A connection to the local manager's active database for enumeration, or null after logging
// why. The caller closes it.
SC_HANDLE GetHandleForSCMDatabase();

// One service opened for querying its configuration and status. Null when it cannot be opened;
// *doesNotExist then tells absence from other failures, which are logged here.
SC_HANDLE GetServiceHandle(SC_HANDLE manager, const char* serviceName, bool* doesNotExist);

// Builds the Service object of one service and appends it: 1 appended, 0 skipped (its
// configuration cannot be read), -1 failure.
int addServiceInformationToVector(const char* serviceName, SC_HANDLE manager, JNIEnv* env,
                                  jobject serviceVector);
