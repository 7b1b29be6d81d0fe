package com.quorvane.inventory.inventoryagent;

import java.util.ArrayList;
import java.util.List;

/** Where the installed-software collection delivers its values. */
public class InventoryResultVector {
    private final List<Object> items = new ArrayList<>();

    public synchronized int size() {
        return items.size();
    }

    public synchronized Object get(int index) {
        return items.get(index);
    }

    public synchronized boolean add(Object item) {
        return items.add(item);
    }
}
