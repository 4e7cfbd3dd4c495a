#!/usr/bin/env python3
"""Times korvel-recover against SQLite's own ways of copying a database.

On the same file, in one run:
  korvel-recover -y -q -o OUT FILE           (the recovery)
  sqlite3 FILE "VACUUM INTO 'X'"             (the floor: copying a healthy database)
  sqlite3r FILE .recover | sqlite3 Y         (SQLite's recovery, when a shell with
                                              .recover is available)
  sqlite3 Z < row copy                       (the library copying the healthy file row
                                              by row: each table by INSERT ... SELECT,
                                              then each index by CREATE INDEX, as a
                                              recovery must; VACUUM INTO copies whole
                                              records and index entries in order)
Prints each median wall time over --runs runs, the ratios and the peak
resident memory of korvel-recover, and checks them against the goals:
recovery <= 2.5 x VACUUM INTO, <= 1/3 of the .recover pipeline, < 200 MB.
With --passes it also times korvel-recover --no-deleted --no-orphans and
prints what the orphan-page and deleted-record passes cost, as the ratio of
the recovery with them to the recovery without them (goal <= 1.3).

Usage: run_recovery_bench.py --tool PATH/korvel-recover [--work FOLDER]
                             [--runs N] [--sqlite3 sqlite3]
                             [--recover-shell PATH] [--passes]
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_RECOVER_SHELL = os.path.expanduser("~/.cache/korvel-eval/sqlite3-recover")


def memory_of(pid):
    """Resident anonymous and file-backed memory of a process in MB."""
    anon = files = 0.0
    try:
        with open("/proc/%d/status" % pid) as status:
            for line in status:
                if line.startswith("RssAnon:"):
                    anon = int(line.split()[1]) / 1024.0
                elif line.startswith("RssFile:"):
                    files = int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return anon, files


def timed(command, shell=False, sample=False):
    """Runs a command; returns (seconds, peak RSS in MB, peak anonymous RSS
    in MB). The anonymous peak (heap, page cache of the library, sorter) is
    sampled every 20 ms when asked; the RSS peak also counts the pages of
    files the process maps (the damaged file, read through a mapping)."""
    start = time.perf_counter()
    process = subprocess.Popen(command, shell=shell, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    peak_anon = 0.0
    if sample:
        while True:
            pid, status, usage = os.wait4(process.pid, os.WNOHANG)
            if pid != 0:
                break
            peak_anon = max(peak_anon, memory_of(process.pid)[0])
            time.sleep(0.02)
    else:
        _, status, usage = os.wait4(process.pid, 0)
    seconds = time.perf_counter() - start
    error = process.stderr.read().decode(errors="replace")
    process.stderr.close()
    code = os.waitstatus_to_exitcode(status)
    if code != 0:
        sys.exit("failed (%d): %s\n%s" % (code, command, error[-2000:]))
    return seconds, usage.ru_maxrss / 1024.0, peak_anon


def remove(path):
    for suffix in ("", "-journal", "-wal", "-shm"):
        if os.path.exists(path + suffix):
            os.remove(path + suffix)


def count(sqlite3, path, table):
    out = subprocess.run([sqlite3, path, "SELECT count(*) FROM " + table],
                         capture_output=True, text=True, check=True).stdout
    return int(out.strip())


def row_copy_script(database):
    """The statements that copy every table row by row into an empty
    database, then create the indexes, as the recovery writes them."""
    import sqlite3 as library
    source = library.connect("file:%s?mode=ro" % database, uri=True)
    objects = source.execute(
        "SELECT type, name, sql FROM sqlite_master WHERE sql IS NOT NULL "
        "AND name NOT LIKE 'sqlite_%' ORDER BY type = 'index', rowid").fetchall()
    source.close()
    lines = ["ATTACH '%s' AS source;" % database.replace("'", "''"), "BEGIN;"]
    for kind, name, sql in objects:
        if kind == "table":
            quoted = '"%s"' % name.replace('"', '""')
            # A WHERE clause keeps the library from copying whole records.
            lines += [sql + ";", "INSERT INTO %s SELECT * FROM source.%s WHERE 1;" % (quoted, quoted)]
    lines.append("COMMIT;")
    lines += [sql + ";" for kind, name, sql in objects if kind == "index"]
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--work", default="bench-recovery-work")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--sqlite3", default="sqlite3")
    parser.add_argument("--recover-shell", default=DEFAULT_RECOVER_SHELL)
    parser.add_argument("--passes", action="store_true",
                        help="also time the recovery without the orphan and deleted passes")
    args = parser.parse_args()

    os.makedirs(args.work, exist_ok=True)
    database = os.path.join(args.work, "bench.db")
    if not os.path.exists(database):
        subprocess.run([sys.executable, os.path.join(HERE, "make_bench_database.py"), database],
                       check=True)
    size_mb = os.path.getsize(database) / 1e6
    out = os.path.join(args.work, "Repaired_bench.db")
    vacuum = os.path.join(args.work, "vacuum.db")
    recovered = os.path.join(args.work, "recovered.db")
    row_copy = os.path.join(args.work, "row-copy.db")
    script = os.path.join(args.work, "row-copy.sql")
    with open(script, "w") as f:
        f.write(row_copy_script(database))
    have_recover = os.access(args.recover_shell, os.X_OK)
    sqlite3 = shutil.which(args.sqlite3) or args.sqlite3

    times = {"korvel-recover": [], "VACUUM INTO": [], "row copy (sqlite3)": [],
             ".recover | sqlite3": [], "without the passes": []}
    peak = []
    peak_anon = []
    for run in range(args.runs):
        remove(out)
        seconds, rss, anon = timed([args.tool, "-y", "-q", "-o", out, database], sample=True)
        times["korvel-recover"].append(seconds)
        peak.append(rss)
        peak_anon.append(anon)

        if args.passes:
            remove(out)
            seconds, _, _ = timed([args.tool, "-y", "-q", "--no-deleted", "--no-orphans",
                                   "-o", out, database])
            times["without the passes"].append(seconds)

        remove(vacuum)
        seconds, _, _ = timed([sqlite3, database, "VACUUM INTO '%s'" % vacuum])
        times["VACUUM INTO"].append(seconds)

        remove(row_copy)
        seconds, _, _ = timed("'%s' '%s' < '%s'" % (sqlite3, row_copy, script), shell=True)
        times["row copy (sqlite3)"].append(seconds)

        if have_recover:
            remove(recovered)
            seconds, _, _ = timed("'%s' '%s' .recover | '%s' '%s'"
                               % (args.recover_shell, database, sqlite3, recovered), shell=True)
            times[".recover | sqlite3"].append(seconds)
        print("run %d done" % (run + 1), file=sys.stderr)

    for table in ("items", "attachments"):
        got, want = count(sqlite3, out, table), count(sqlite3, database, table)
        if got != want:
            sys.exit("korvel-recover saved %d of %d rows of %s" % (got, want, table))

    median = {name: statistics.median(values) for name, values in times.items() if values}
    load = os.getloadavg()[0]
    print("database: %s (%.1f MB), %d runs, load average %.1f on %d CPUs, median wall time:"
          % (database, size_mb, args.runs, load, os.cpu_count()))
    for name, value in median.items():
        print("  %-20s %7.2f s" % (name, value))
    if not have_recover:
        print("  %-20s (no shell with .recover at %s; build one with "
              "/work/shared/tools/build-sqlite3-recover)" % (".recover | sqlite3", args.recover_shell))
    ours = median["korvel-recover"]
    vacuum_ratio = ours / median["VACUUM INTO"]
    print("korvel-recover / VACUUM INTO:        %.2f   (goal <= 2.5)" % vacuum_ratio)
    ok = vacuum_ratio <= 2.5
    print("korvel-recover / row copy:           %.2f   (row copy / VACUUM INTO: %.2f)"
          % (ours / median["row copy (sqlite3)"],
             median["row copy (sqlite3)"] / median["VACUUM INTO"]))
    if ".recover | sqlite3" in median:
        recover_ratio = ours / median[".recover | sqlite3"]
        print("korvel-recover / .recover pipeline:  %.2f   (goal <= 0.33)" % recover_ratio)
        ok = ok and recover_ratio <= 1 / 3
    if "without the passes" in median:
        passes_ratio = ours / median["without the passes"]
        print("orphan and deleted passes, with / without: %.2f   (goal <= 1.3)" % passes_ratio)
        ok = ok and passes_ratio <= 1.3
    peak_mb = max(peak)
    print("korvel-recover peak memory:          %.1f MB resident (goal < 200 MB), of which at most"
          " %.1f MB anonymous;" % (peak_mb, max(peak_anon)))
    print("                                     the rest is the damaged file's mapped pages")
    ok = ok and peak_mb < 200
    print("goals met" if ok else "goals NOT met")


if __name__ == "__main__":
    main()
