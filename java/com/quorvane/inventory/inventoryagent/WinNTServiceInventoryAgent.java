package com.quorvane.inventory.inventoryagent;

import java.util.Vector;

/** Services and drivers known to the Service Control Manager. */
public class WinNTServiceInventoryAgent {
    /** Appends one {@link Service} per readable service; false when the enumeration failed. */
    public native boolean getServices(Vector<Service> serviceVector);

    /** Asks a running enumeration, on another thread, to stop before its next service. */
    public native void cancelCollection();

    /** 1 when the service is installed, 0 when it is not, -1 on error. */
    public native byte checkInstance(String serviceName);
}
