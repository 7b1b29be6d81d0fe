package com.quorvane.inventory.demo;

import com.quorvane.inventory.inventoryagent.BasicFileInventoryAgent;

/**
 * The Java side of an inventory agent in miniature: loads the native library the way the agent
 * does and prints what it reports about this machine.
 */
public class InventoryDemo {
    public static void main(String[] args) {
        System.loadLibrary("Pallwick");
        printRootDirectories();
    }

    private static void printRootDirectories() {
        BasicFileInventoryAgent files = new BasicFileInventoryAgent();
        System.out.println("Root directories on fixed disks");
        System.out.println("-------------------------------");
        for (char letter = 'A'; letter <= 'Z'; letter++) {
            String root = letter + ":\\";
            System.out.printf("%-4s %s%n", root, files.checkRootDirectory(root) ? "fixed" : "-");
        }
    }
}
