package com.quorvane.inventory.demo;

import com.quorvane.inventory.inventoryagent.BasicFileInventoryAgent;
import com.quorvane.inventory.inventoryagent.WindowsExecutableMetadataFileInventoryAgent;
import java.util.Vector;

/**
 * The Java side of an inventory agent in miniature: loads the native library the way the agent
 * does and prints what it reports about this machine.
 */
public class InventoryDemo {
    private static final String[] VERSION_FIELDS = {"Comments", "LegalTrademarks", "CompanyName",
        "FileDescription", "InternalName", "OriginalFilename", "ProductName", "ProductVersion",
        "FileVersion", "LegalCopyright", "Language", "Code page"};

    private static final String[] EXECUTABLES = {"C:\\windows\\system32\\kernel32.dll",
        "C:\\windows\\system32\\advapi32.dll", "C:\\windows\\system32\\version.dll",
        "C:\\windows\\win.ini"};

    public static void main(String[] args) {
        System.loadLibrary("Pallwick");
        printRootDirectories();
        printVersionMetadata();
    }

    private static void heading(String title) {
        System.out.println();
        System.out.println(title);
        System.out.println("-".repeat(title.length()));
    }

    private static void printRootDirectories() {
        heading("Root directories on fixed disks");
        BasicFileInventoryAgent files = new BasicFileInventoryAgent();
        StringBuilder fixed = new StringBuilder();
        for (char letter = 'A'; letter <= 'Z'; letter++) {
            String root = letter + ":\\";
            if (files.checkRootDirectory(root)) {
                fixed.append(root).append("  ");
            }
        }
        System.out.println(fixed.length() > 0 ? fixed.toString().trim() : "(none)");
    }

    private static void printVersionMetadata() {
        heading("Version metadata of executables");
        WindowsExecutableMetadataFileInventoryAgent metadata =
                new WindowsExecutableMetadataFileInventoryAgent();
        for (String file : EXECUTABLES) {
            Vector<String[]> translations = metadata.collectVersionInformationForFile(file);
            System.out.println(file);
            if (translations == null) {
                System.out.println("    (no version resource)");
                continue;
            }
            for (String[] strings : translations) {
                for (int i = 0; i < strings.length; i++) {
                    if (!strings[i].isEmpty()) {
                        System.out.printf("    %-17s %s%n", VERSION_FIELDS[i], strings[i]);
                    }
                }
            }
        }
    }
}
