package com.quorvane.inventory.inventoryagent;

/** One service or driver, filled field by field by the native library. */
public class Service {
    public String name;
    public String displayName;
    public String binaryPath;
    public String startupType;
    public String description;
    public String status;
    public int type;
    public String startName;

    public Service() {}

    @Override
    public String toString() {
        return name + " [" + displayName + "] type=" + type + " start=" + startupType
                + " status=" + status + " path=" + binaryPath + " account=" + startName
                + " description=" + description;
    }
}
