package com.quorvane.inventory.inventoryagent;

/** Fixed-disk test of a root directory, answered by the native library. */
public class BasicFileInventoryAgent {
    /** True when the root directory (such as C:\) is on a fixed local disk. */
    public native boolean checkRootDirectory(String rootPath);
}
