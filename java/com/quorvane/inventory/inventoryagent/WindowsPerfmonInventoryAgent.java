package com.quorvane.inventory.inventoryagent;

/** Performance counters. */
public class WindowsPerfmonInventoryAgent {
    public native String[] getExpandedCounterPaths(String wildcardPath);

    /** One value per path, -1.0 where a path could not be sampled. */
    public native double[] getCounterValues(String[] counterPaths, int delaySeconds);

    /** Object, instance, parent instance and counter names of the path. */
    public native String[] parseCounterPath(String counterPath);

    public native boolean checkInstanceExists(String counterPath);
}
