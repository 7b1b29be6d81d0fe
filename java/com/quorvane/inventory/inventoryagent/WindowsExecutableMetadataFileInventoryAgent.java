package com.quorvane.inventory.inventoryagent;

import java.util.Vector;

/** Version resources of executable files. */
public class WindowsExecutableMetadataFileInventoryAgent {
    /**
     * One String[12] per translation of the file's version resource: the ten version strings, the
     * language name and the code page name; null when the file has no version resource.
     */
    public native Vector<String[]> collectVersionInformationForFile(String filePath);
}
