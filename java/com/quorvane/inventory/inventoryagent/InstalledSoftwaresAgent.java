package com.quorvane.inventory.inventoryagent;

/** Installed programs registered under the Uninstall key of HKEY_LOCAL_MACHINE. */
public class InstalledSoftwaresAgent {
    /** -1 on failure, 0 when every program was visited, 1 when stopped at the size limit. */
    public native byte getAttributeValues(String[] attributes, int[] masterCodes,
            InventoryResultVector resultsVector, boolean abortOnLimit, int maxResultsSize);

    public native boolean checkInstance(String uniqueInstanceId);

    /** Closes the registry keys kept open across collections; always true. */
    public native boolean releaseResources();
}
