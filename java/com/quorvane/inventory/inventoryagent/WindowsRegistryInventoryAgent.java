package com.quorvane.inventory.inventoryagent;

/** Registry keys named by full path, such as HKLM\SOFTWARE\Microsoft. */
public class WindowsRegistryInventoryAgent {
    public native String[] getChildKeyNames(String keyPath);

    public native String[] getChildValueNames(String keyPath);

    /** The value's text and its type code. */
    public native String[] getValue(String keyPath, String valueName);

    public native String[] getDefaultValue(String keyPath);

    /** Milliseconds since 1970. */
    public native long getLastModifiedTime(String keyPath);

    /** 1 when the key or value is present, -1 otherwise. */
    public native byte checkInstanceExists(String keyOrValuePath);
}
