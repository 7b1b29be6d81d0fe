package com.quorvane.inventory.testsupport;

/**
 * Loads a native library on behalf of a test's native code. A library is bound to the class
 * loader of the class that loads it, and native code calling System.load directly has no Java
 * caller, so the host classes would not find the library's methods.
 */
public final class NativeLibraryLoader {
    private NativeLibraryLoader() {}

    public static void load(String path) {
        System.load(path);
    }
}
