package com.quorvane.inventory.testsupport;

import com.quorvane.inventory.inventoryagent.InventoryResultVector;

/** A results vector that misbehaves as a test asks: "size -1", "refuse" or "throw" on add. */
public class ScriptedResultVector extends InventoryResultVector {
    private final String mode;

    public ScriptedResultVector(String mode) {
        this.mode = mode;
    }

    @Override
    public synchronized int size() {
        return mode.equals("size -1") ? -1 : super.size();
    }

    @Override
    public synchronized boolean add(Object item) {
        if (mode.equals("refuse")) {
            return false;
        }
        if (mode.equals("throw")) {
            throw new IllegalStateException("the vector is full");
        }
        return super.add(item);
    }
}
