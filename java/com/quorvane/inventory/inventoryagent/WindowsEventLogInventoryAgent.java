package com.quorvane.inventory.inventoryagent;

/** Classic event logs, read record by record. */
public class WindowsEventLogInventoryAgent {
    public native String[] getAllLogFileNames();

    /** A handle for the other methods, 0 on failure; close it exactly once. */
    public native long openEventLog(String logName);

    /** Non-zero on success. */
    public native int closeEventLog(long eventLogHandle);

    /** The next record as nine strings, element 0 its key; null at the end or on failure. */
    public native String[] readNextEventLogRecord(long eventLogHandle, short fieldMask,
            String logName);

    public native boolean checkInstanceExists(String recordKey);
}
