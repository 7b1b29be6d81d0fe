"""Checks the layer's performance counters against psutil reading the same host at the same time.

Usage: perf_counters_psutil.py PERF_COUNTER_TOOL
"""
import os
import subprocess
import sys
import tempfile
import time

import psutil

INTERVAL_MS = 1000
THREADS_OF_IDLE = 4


def start_children():
    idle = subprocess.Popen([sys.executable, "-c", (
        "import threading, time\n"
        f"for _ in range({THREADS_OF_IDLE - 1}):\n"
        "    threading.Thread(target=time.sleep, args=(60,), daemon=True).start()\n"
        "print('ready', flush=True)\n"
        "time.sleep(60)\n")], stdout=subprocess.PIPE, text=True)
    spinner = subprocess.Popen([sys.executable, "-c", (
        "import time\n"
        "print('ready', flush=True)\n"
        "end = time.monotonic() + 60\n"
        "while time.monotonic() < end:\n"
        "    pass\n")], stdout=subprocess.PIPE, text=True)
    for child in (idle, spinner):
        child.stdout.readline()
    return idle, spinner


def read_counters(tool, queries):
    # Z: is / in a prefix without a drive map, so the disk psutil reads is the drive's.
    with tempfile.TemporaryDirectory() as prefix:
        env = dict(os.environ, WINEPREFIX=prefix)
        env.pop("PALLWICK_PROC_ROOT", None)
        out = subprocess.run([tool, str(INTERVAL_MS)] + queries, env=env, check=True,
                             capture_output=True, text=True).stdout
    values = {}
    for line in out.splitlines():
        query, value = line.split("\t")
        values[query] = None if value == "none" else float(value)
    return values


def main():
    tool = sys.argv[1]
    idle, spinner = start_children()
    failures = []

    def check(name, ok, detail):
        print(("ok   " if ok else "FAIL ") + name + ": " + detail)
        if not ok:
            failures.append(name)

    try:
        me, sp = f"pid={idle.pid}", f"pid={spinner.pid}"
        queries = [f"Process|{me}|ID Process", f"Process|{me}|Creating Process ID",
                   f"Process|{me}|Thread Count", f"Process|{me}|Working Set",
                   f"Process|{me}|% Processor Time", f"Process|{sp}|% Processor Time",
                   "System||Processes", "Memory||Available Bytes", "LogicalDisk|Z:|% Free Space"]
        # psutil's view of the spinner over the same second, give or take the tool's start: on a
        # busy machine the spinner gets less than a whole processor, and both must see that.
        spinning = psutil.Process(spinner.pid)
        spinning.cpu_percent(None)
        values = read_counters(tool, queries)
        spin_seen = spinning.cpu_percent(None)
        rss = psutil.Process(idle.pid).memory_info().rss
        processes = len(psutil.pids())
        available = psutil.virtual_memory().available
        free_percent = 100.0 - psutil.disk_usage("/").percent

        def near(value, expected, share):
            return value is not None and abs(value - expected) <= share * expected

        check("ID Process", values[queries[0]] == idle.pid, f"{values[queries[0]]} vs {idle.pid}")
        check("Creating Process ID", values[queries[1]] == os.getpid(),
              f"{values[queries[1]]} vs {os.getpid()}")
        check("Thread Count", values[queries[2]] == THREADS_OF_IDLE,
              f"{values[queries[2]]} vs {THREADS_OF_IDLE}")
        check("Working Set", near(values[queries[3]], rss, 0.10), f"{values[queries[3]]} vs {rss}")
        idle_cpu = values[queries[4]]
        check("% Processor Time idle", idle_cpu is not None and idle_cpu < 10, f"{idle_cpu}")
        spin_cpu = values[queries[5]]
        spin_capped = None if spin_cpu is None else min(spin_cpu, 100.0)
        check("% Processor Time spinning",
              spin_capped is not None and
              abs(spin_capped - min(spin_seen, 100.0)) <= 5 + 0.2 * spin_seen,
              f"{spin_cpu} vs {spin_seen}")
        check("System Processes", near(values[queries[6]], processes, 0.10),
              f"{values[queries[6]]} vs {processes}")
        check("Available Bytes", near(values[queries[7]], available, 0.10),
              f"{values[queries[7]]} vs {available}")
        disk = values[queries[8]]
        check("% Free Space", disk is not None and abs(disk - free_percent) <= 1.0,
              f"{disk} vs {free_percent}")
    finally:
        for child in (idle, spinner):
            child.kill()
            child.wait()
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
