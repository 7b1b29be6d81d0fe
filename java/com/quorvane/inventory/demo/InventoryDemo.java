package com.quorvane.inventory.demo;

import com.quorvane.inventory.InventoryAttributeValue;
import com.quorvane.inventory.inventoryagent.BasicFileInventoryAgent;
import com.quorvane.inventory.inventoryagent.InstalledSoftwaresAgent;
import com.quorvane.inventory.inventoryagent.InventoryResultVector;
import com.quorvane.inventory.inventoryagent.Service;
import com.quorvane.inventory.inventoryagent.WinNTServiceInventoryAgent;
import com.quorvane.inventory.inventoryagent.WindowsEventLogInventoryAgent;
import com.quorvane.inventory.inventoryagent.WindowsExecutableMetadataFileInventoryAgent;
import com.quorvane.inventory.inventoryagent.WindowsPerfmonInventoryAgent;
import com.quorvane.inventory.inventoryagent.WindowsRegistryInventoryAgent;
import java.nio.file.Path;
import java.time.Instant;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
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
        printInstalledSoftware();
        printServices();
        printEventLogs();
        printPerformanceCounters();
        printRegistry();
    }

    private static final String[] PROGRAM_ATTRIBUTES = {"DisplayName", "DisplayVersion",
        "Publisher", "InstallLocation", "Language", "ProductID"};

    private static void printInstalledSoftware() {
        heading("Installed software");
        InstalledSoftwaresAgent software = new InstalledSoftwaresAgent();
        InventoryResultVector results = new InventoryResultVector();
        int[] codes = new int[PROGRAM_ATTRIBUTES.length];
        for (int i = 0; i < codes.length; i++) {
            codes[i] = i;
        }
        byte outcome = software.getAttributeValues(PROGRAM_ATTRIBUTES, codes, results, false,
                100000);
        Map<String, StringBuilder> programs = new LinkedHashMap<>();
        for (int i = 0; i < results.size(); i++) {
            InventoryAttributeValue value = (InventoryAttributeValue) results.get(i);
            if (value.getAttributeValue().isEmpty()) {
                continue;
            }
            programs.computeIfAbsent(value.getUniqueInstanceId(), id -> new StringBuilder())
                    .append(String.format("    %-17s %s%n",
                            PROGRAM_ATTRIBUTES[value.getMasterCode()], value.getAttributeValue()));
        }
        programs.forEach((id, text) -> System.out.print(id + System.lineSeparator() + text));
        System.out.printf("(%d values, result %d; still registered: %s)%n", results.size(),
                outcome, programs.isEmpty() ? "-"
                        : software.checkInstance(programs.keySet().iterator().next()));
        software.releaseResources();
    }

    private static void printServices() {
        heading("Services and drivers");
        Vector<Service> services = new Vector<>();
        WinNTServiceInventoryAgent agent = new WinNTServiceInventoryAgent();
        boolean complete = agent.getServices(services);
        for (Service service : services) {
            System.out.printf("%-22s %-9s %-10s %s%n", service.name, service.status,
                    service.startupType, service.binaryPath == null ? "" : service.binaryPath);
        }
        System.out.printf("(%d services, complete: %s)%n", services.size(), complete);
    }

    private static final String[] RECORD_FIELDS = {"Key", "Type", "Source", "Category",
        "Event ID", "Data", "Written", "Message", "User"};

    /** Every field: bits 0x0002 to 0x0100, and 0x0001, which only makes the mask non-zero. */
    private static final short EVERY_FIELD = 0x01FE | 1;

    private static final int NEWEST_SHOWN = 5;

    private static void printEventLogs() {
        heading("Event logs");
        WindowsEventLogInventoryAgent events = new WindowsEventLogInventoryAgent();
        String[] logs = events.getAllLogFileNames();
        System.out.println("Logs: " + (logs == null ? "(none)" : String.join(", ", logs)));
        String log = "Application";
        long handle = events.openEventLog(log);
        if (handle == 0) {
            System.out.println(log + ": cannot be opened");
            return;
        }
        List<String[]> records = new ArrayList<>();
        for (String[] record; (record = events.readNextEventLogRecord(handle, EVERY_FIELD,
                log)) != null;) {
            records.add(record);
        }
        events.closeEventLog(handle);
        System.out.printf("%s: %d records, the newest %d:%n", log, records.size(),
                Math.min(NEWEST_SHOWN, records.size()));
        for (String[] record : records.subList(Math.max(0, records.size() - NEWEST_SHOWN),
                records.size())) {
            for (int i = 0; i < record.length; i++) {
                String text = i == 6 ? record[i] + " (" + Instant.ofEpochMilli(
                        Long.parseLong(record[i])) + ")" : record[i];
                System.out.printf("    %-9s %s%n", RECORD_FIELDS[i], text);
            }
            System.out.println();
        }
        if (!records.isEmpty()) {
            String key = records.get(records.size() - 1)[0];
            System.out.printf("(record %s still in its log: %s)%n", key,
                    events.checkInstanceExists(key));
        }
    }

    private static final String[] PATH_PARTS = {"Object", "Instance", "Parent", "Counter"};

    private static void printPerformanceCounters() {
        heading("Performance counters");
        WindowsPerfmonInventoryAgent perfmon = new WindowsPerfmonInventoryAgent();
        String ownId = ownProcessIdPath(perfmon);
        // Processor(*) holds _Total too, so its counters would otherwise be sampled twice.
        Set<String> paths = new LinkedHashSet<>();
        List<String> wildcards = new ArrayList<>(List.of("\\Processor(*)\\% Processor Time",
                "\\Processor(_Total)\\*"));
        if (ownId != null) {
            wildcards.add(ownId.substring(0, ownId.lastIndexOf('\\') + 1) + "*");
        }
        for (String wildcard : wildcards) {
            String[] expanded = perfmon.getExpandedCounterPaths(wildcard);
            System.out.printf("%s: %d paths%n", wildcard, expanded == null ? 0 : expanded.length);
            if (expanded != null) {
                paths.addAll(Arrays.asList(expanded));
            }
        }
        String[] sampled = paths.toArray(new String[0]);
        double[] values = perfmon.getCounterValues(sampled, 1);
        System.out.println("Sampled over one second:");
        for (int i = 0; i < sampled.length; i++) {
            System.out.printf("    %s = %s%n", sampled[i],
                    values == null ? null : String.format("%.2f", values[i]));
        }
        if (ownId == null) {
            System.out.println("(this JVM's process counters were not found)");
            return;
        }
        String[] parts = perfmon.parseCounterPath(ownId);
        System.out.println("Parsed " + ownId + ":");
        for (int i = 0; i < PATH_PARTS.length; i++) {
            System.out.printf("    %-9s %s%n", PATH_PARTS[i], parts == null ? null : parts[i]);
        }
        System.out.printf("(%s can be sampled: %s)%n", ownId, perfmon.checkInstanceExists(ownId));
    }

    /**
     * This JVM's "ID Process" path: the instance is named by the image, and other JVMs share that
     * name (as java#1, java#2, ...), so the one whose value is this process's id is ours.
     */
    private static String ownProcessIdPath(WindowsPerfmonInventoryAgent perfmon) {
        String image = ProcessHandle.current().info().command()
                .map(command -> Path.of(command).getFileName().toString()
                        .replaceFirst("(?i)\\.exe$", ""))
                .orElse("java");
        String[] candidates = perfmon.getExpandedCounterPaths(
                "\\Process(" + image + "*)\\ID Process");
        if (candidates == null) {
            return null;
        }
        double[] ids = perfmon.getCounterValues(candidates, 0);
        long pid = ProcessHandle.current().pid();
        for (int i = 0; ids != null && i < ids.length; i++) {
            if (ids[i] == pid) {
                return candidates[i];
            }
        }
        return null;
    }

    private static void printRegistry() {
        heading("Registry keys by path");
        WindowsRegistryInventoryAgent registry = new WindowsRegistryInventoryAgent();
        String version = "HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
        for (String name : new String[] {"ProductName", "CurrentBuild", "InstallDate"}) {
            String[] value = registry.getValue(version, name);
            System.out.printf("%s\\%s = %s (type code %s)%n", version, name,
                    value == null ? null : value[0], value == null ? null : value[1]);
        }
        System.out.printf("%s last written %s%n", version,
                Instant.ofEpochMilli(registry.getLastModifiedTime(version)));
        String[] children = registry.getChildKeyNames("HKEY_LOCAL_MACHINE\\SOFTWARE");
        System.out.println("HKEY_LOCAL_MACHINE\\SOFTWARE: "
                + (children == null ? "(none)" : String.join(", ", children)));
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
