#!/usr/bin/python3
"""Times brindle-sql against GDAL's ogrinfo, the sqlite3 shell and cat on the same orders table, checks
that every tool gave the expected answer, and prints medians, ratios and the speed targets.

Usage: run.py [--brindle PATH] [--records N] [--repeat K] [--dir DIR]
"""
import argparse
import csv
import io
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_BRINDLE = os.path.join(os.path.dirname(HERE), "build-bench", "bin", "brindle-sql")
TOOLS = ["brindle-sql", "ogrinfo", "ogrinfo-sqlite", "sqlite3", "cat"]
TOOL_TITLES = {
    "brindle-sql": "brindle-sql",
    "ogrinfo": "ogrinfo OGR-SQL",
    "ogrinfo-sqlite": "ogrinfo SQLite",
    "sqlite3": "sqlite3 native",
    "cat": "cat (floor)",
}
PEERS = ["ogrinfo", "ogrinfo-sqlite", "sqlite3"]
MEMORY_TARGET_MB = 50
MB = 1_000_000

COUNT_SQL = "select count(*) from orders where amount > 500"
GROUP_SQL = "select city, count(*), sum(amount) from orders group by city"


def queries(brindle, folder, dbf, db):
    """(key, title, answer kind, target seconds, {tool: argv or None when the tool cannot run it})."""
    ogr = ["ogrinfo", "-ro", "-q", "-sql"]
    ogr_sqlite = ["ogrinfo", "-ro", "-q", "-dialect", "SQLite", "-sql"]
    shell = ["sqlite3", "-readonly", "-batch", "-csv", db]
    cat = ["cat", dbf]
    return [
        ("count", "count where amount > 500", "count", 0.06, {
            "brindle-sql": [brindle, "--csv", folder, COUNT_SQL],
            "ogrinfo": ogr + [COUNT_SQL, dbf],
            "ogrinfo-sqlite": ogr_sqlite + [COUNT_SQL, dbf],
            "sqlite3": shell + [COUNT_SQL],
            "cat": cat,
        }),
        ("group", "group by city", "group", 0.45, {
            "brindle-sql": [brindle, "--csv", folder, GROUP_SQL],
            "ogrinfo": None,  # OGR SQL has no GROUP BY
            "ogrinfo-sqlite": ogr_sqlite + [GROUP_SQL, dbf],
            "sqlite3": shell + [GROUP_SQL],
            "cat": cat,
        }),
        ("top", "order by name, first 10", "top", 0.08, {
            "brindle-sql": [brindle, "--csv", folder, "select top 10 * from orders order by name"],
            "ogrinfo": ogr + ["select * from orders order by name limit 10", dbf],
            "ogrinfo-sqlite": ogr_sqlite + ["select * from orders order by name limit 10", dbf],
            "sqlite3": shell + ["select * from orders order by name limit 10"],
            "cat": cat,
        }),
        # No peer has a recordset; the closest is ogrinfo opening the layer and reporting its count.
        ("movelast", "open + MoveLast", "records", 0.03, {
            "brindle-sql": [brindle, "--movelast", folder, "orders"],
            "ogrinfo": ["ogrinfo", "-ro", "-so", dbf, "orders"],
            "ogrinfo-sqlite": None,
            "sqlite3": None,
            "cat": None,
        }),
    ]


class Run:
    def __init__(self, seconds, rss_kb, cpu, code, out, err):
        self.seconds, self.rss_kb, self.cpu, self.code, self.out, self.err = seconds, rss_kb, cpu, code, out, err


def run(argv, measure_memory=False):
    """Runs argv with output to files (no pipe to drain). With measure_memory the run goes through
    `/usr/bin/time -f %M`: the child's peak RSS from wait4 would include the RSS of this Python process it
    was forked from, while time's own footprint before it execs the tool is small."""
    discard = argv[0] == "cat"
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err, \
            tempfile.NamedTemporaryFile("r") as memory:
        if measure_memory:
            argv = ["/usr/bin/time", "-f", "%M %U %S", "-o", memory.name] + argv
        sink = open(os.devnull, "wb") if discard else out
        try:
            start = time.perf_counter()
            code = subprocess.call(argv, stdin=subprocess.DEVNULL, stdout=sink, stderr=err)
            seconds = time.perf_counter() - start
        finally:
            if discard:
                sink.close()
        rss_kb = cpu = None
        if measure_memory:
            # time writes "Command exited with non-zero status N" before the figures when the tool fails.
            figures = memory.read().split()[-3:]
            rss_kb, cpu = int(figures[0]), float(figures[1]) + float(figures[2])
        out.seek(0)
        err.seek(0)
        return Run(seconds, rss_kb, cpu, code, out.read().decode("utf-8", "replace"),
                   err.read().decode("utf-8", "replace"))


# ---- answers ---------------------------------------------------------------------------------------------

OGR_FIELD = re.compile(r"^  (.+?) \(([A-Za-z0-9]+(?:\([A-Za-z0-9]+\))?)\) = (.*)$")


def ogr_rows(text):
    rows = []
    for line in text.splitlines():
        if line.startswith("OGRFeature("):
            rows.append([])
        else:
            m = OGR_FIELD.match(line)
            if m and rows:
                rows[-1].append(None if m.group(3) == "(null)" else m.group(3))
    return rows


def csv_rows(text, header):
    rows = list(csv.reader(io.StringIO(text)))
    return rows[1:] if header else rows


def rows_of(tool, result):
    """The result rows of a tool, or raises ValueError with the reason the tool failed."""
    if tool.startswith("ogrinfo"):
        # ogrinfo exits 0 when the query failed: its errors are only in the text.
        if "ERROR" in result.err:
            raise ValueError(first_line(result.err[result.err.index("ERROR"):]))
        return ogr_rows(result.out)
    return csv_rows(result.out, header=(tool == "brindle-sql"))


def first_line(text):
    lines = [line for line in text.strip().splitlines() if line.strip()]
    return lines[0][:160] if lines else "(no message)"


def truthy(value):
    return (value or "").strip() in ("T", "t", "Y", "y", "True", "true", "1")


def row_value(raw):
    ident, name, city, amount, day, active, note = (raw + [None] * 7)[:7]
    return (int(float(ident)), (name or "").rstrip(), (city or "").rstrip(), round(float(amount), 2),
            (day or "").replace("/", "-"), truthy(active), (note or "").rstrip())


def answer(kind, tool, result):
    if result.code != 0:
        raise ValueError("exit %d: %s" % (result.code, first_line(result.err or result.out)))
    if kind == "records" and tool == "ogrinfo":
        m = re.search(r"^Feature Count: (\d+)$", result.out, re.M)
        if not m:
            raise ValueError("no feature count: " + first_line(result.err or result.out))
        return int(m.group(1))
    if kind == "records":
        return int(result.out.strip())
    rows = rows_of(tool, result)
    if kind == "count":
        return int(rows[0][0])
    if kind == "group":
        return {r[0].rstrip(): (int(r[1]), float(r[2])) for r in rows}
    return [row_value(r) for r in rows]


def expected_answer(kind, expected):
    if kind == "count":
        return expected["count_over_500"]
    if kind == "group":
        return {city: (n, total) for city, (n, total) in expected["group_by_city"].items()}
    if kind == "top":
        return [row_value([str(v) if not isinstance(v, bool) else ("T" if v else "F") for v in r])
                for r in expected["first_10_by_name"]]
    return expected["records"]


def difference(kind, got, want):
    """A short description of how got differs from want, or None when they agree."""
    if kind == "group":
        missing, extra = sorted(set(want) - set(got)), sorted(set(got) - set(want))
        if missing or extra:
            return "cities missing %s, unexpected %s" % (missing[:3], extra[:3])
        for city in want:
            if got[city][0] != want[city][0] or abs(got[city][1] - want[city][1]) > 0.01:
                return "%s: got %s, expected %s" % (city, got[city], want[city])
        return None
    if kind == "top":
        if len(got) != len(want):
            return "got %d rows, expected %d" % (len(got), len(want))
        for i, (g, w) in enumerate(zip(got, want)):
            if g != w:
                return "row %d: got %s, expected %s" % (i + 1, g, w)
        return None
    return None if got == want else "got %s, expected %s" % (got, want)


# ---- the run ---------------------------------------------------------------------------------------------

def prepare(directory, records):
    dbf = os.path.join(directory, "orders.dbf")
    db = os.path.join(directory, "orders.sqlite")
    expected_path = os.path.join(directory, "orders.expected.json")
    expected = None
    if all(os.path.exists(p) for p in (dbf, db, expected_path)):
        with open(expected_path, encoding="utf-8") as f:
            expected = json.load(f)
    if not expected or expected["records"] != records:
        print("Generating %d records in %s ..." % (records, directory), flush=True)
        subprocess.run([sys.executable, os.path.join(HERE, "make_orders.py"), directory, "--records", str(records)],
                       check=True)
        with open(expected_path, encoding="utf-8") as f:
            expected = json.load(f)
    return dbf, db, expected


def warm(*paths):
    for path in paths:
        with open(path, "rb") as f:
            while f.read(1 << 24):
                pass


def fmt_seconds(s):
    return "%.3f" % s if s < 10 else "%.1f" % s


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--brindle", default=DEFAULT_BRINDLE, help="brindle-sql binary (a release build)")
    parser.add_argument("--records", type=int, default=1_000_000)
    parser.add_argument("--repeat", type=int, default=5, help="timed runs per tool and query (median)")
    parser.add_argument("--dir", default="/tmp/brindle-bench", help="where the table is generated")
    args = parser.parse_args()
    if not os.access(args.brindle, os.X_OK):
        sys.exit("run.py: no brindle-sql at %s (build the brindle-sql target in a Release build folder, "
                 "or pass --brindle)" % args.brindle)
    brindle = os.path.abspath(args.brindle)

    dbf, db, expected = prepare(args.dir, args.records)
    size = os.path.getsize(dbf)
    warm(dbf, db)
    plan = queries(brindle, args.dir, dbf, db)
    available = {t: t == "brindle-sql" or shutil.which(t.split("-")[0]) is not None for t in TOOLS}

    print("Table %s: %d records, %.1f MB; median of %d runs after one warm-up run; load average %.2f"
          % (dbf, expected["records"], size / MB, args.repeat, os.getloadavg()[0]))
    medians, peaks, cpus, problems, wrong = {}, {}, {}, [], set()
    for key, title, kind, _, commands in plan:
        tools = [t for t in TOOLS if commands[t] and available[t]]
        times = {t: [] for t in tools}
        want = expected_answer(kind, expected)
        for tool in tools:  # the warm-up run also gives the answer and the peak memory
            result = run(commands[tool], measure_memory=True)
            peaks[key, tool] = result.rss_kb
            cpus[key, tool] = result.cpu
            if tool == "cat":
                continue
            try:
                diff = difference(kind, answer(kind, tool, result), want)
                if diff:
                    wrong.add((key, tool))
                    problems.append("%s, %s: wrong answer: %s" % (title, TOOL_TITLES[tool], diff))
            except (ValueError, IndexError, KeyError) as e:
                problems.append("%s, %s: failed: %s" % (title, TOOL_TITLES[tool], e))
                times.pop(tool)
        for _ in range(args.repeat):  # round robin, so that a busy moment hits every tool alike
            for tool in times:
                result = run(commands[tool])
                times[tool].append(result.seconds)
        for tool, values in times.items():
            medians[key, tool] = statistics.median(values)
        print("  %-26s done" % title, flush=True)
    print("load average after the runs %.2f" % os.getloadavg()[0])

    # Medians, each with its ratio to the fastest peer on that query.
    width = 19
    print("\nMedian wall-clock seconds (x = ratio to the fastest peer; peers: ogrinfo, sqlite3)")
    print("%-26s" % "query" + "".join("%-*s" % (width, TOOL_TITLES[t]) for t in TOOLS))
    best = {}
    for key, title, kind, _, commands in plan:
        peer_times = [medians[key, t] for t in PEERS if (key, t) in medians]
        best[key] = min(peer_times) if peer_times else None
        cells = []
        for tool in TOOLS:
            if (key, tool) not in medians:
                cells.append("n/a" if not commands[tool] or not available[tool] else "FAILED")
                continue
            ratio = " (%.2fx)" % (medians[key, tool] / best[key]) if best[key] else ""
            cells.append(fmt_seconds(medians[key, tool]) + ratio)
        print("%-26s" % title + "".join("%-*s" % (width, c) for c in cells))

    # CPU time is steadier than wall-clock time when others load the machine.
    print("\nCPU seconds (user + system) of the untimed run")
    print("%-26s" % "query" + "".join("%-*s" % (width, TOOL_TITLES[t]) for t in TOOLS))
    for key, title, kind, _, commands in plan:
        print("%-26s" % title + "".join(
            "%-*s" % (width, "%.2f" % cpus[key, t] if (key, t) in cpus else "n/a") for t in TOOLS))

    print("\nTargets for brindle-sql")
    for key, title, kind, target, commands in plan:
        got = medians.get((key, "brindle-sql"))
        if got is None:
            print("  %-26s FAILED" % title)
            continue
        extra = ""
        if (key, "cat") in medians:
            extra = "  %.1fx the cat floor" % (got / medians[key, "cat"])
        if best[key]:
            extra += "  %.2fx the fastest peer" % (got / best[key])
        verdict = "PASS" if got < target else "MISS"
        if (key, "brindle-sql") in wrong:
            verdict += " (but a wrong answer)"
        print("  %-26s %s s < %s s  %s%s" % (title, fmt_seconds(got), target, verdict, extra))

    print("\nPeak memory (RSS, MB; the .dbf is %.1f MB and mapped by brindle-sql)" % (size / MB))
    print("%-26s" % "query" + "".join("%-*s" % (width, TOOL_TITLES[t]) for t in TOOLS[:-1]) + "beyond the file")
    footnote = False
    for key, title, kind, target, commands in plan:
        cells = ["%.1f" % (peaks[key, t] * 1024 / MB) if (key, t) in peaks else "n/a" for t in TOOLS[:-1]]
        rss = peaks.get((key, "brindle-sql"))
        verdict = "FAILED"
        if (key, "brindle-sql") in medians:
            # RSS counts the pages of the mapped .dbf that the run touched, at most the file's size.
            # A run that left part of the file untouched is only bounded: its heap is at most its RSS.
            beyond = max(rss * 1024 - size, 0) / MB
            partial = rss * 1024 < size
            if beyond >= MEMORY_TARGET_MB:
                outcome = "MISS"
            else:
                outcome = "PASS" if not partial or rss * 1024 / MB < MEMORY_TARGET_MB else "UNSURE"
            verdict = "%.1f%s < %d  %s" % (beyond, "*" if partial else "", MEMORY_TARGET_MB, outcome)
            footnote = footnote or partial
        print("%-26s" % title + "".join("%-*s" % (width, c) for c in cells) + verdict)
    if footnote:
        print("* RSS below the file size: the run did not touch the whole file, so its memory beyond the file "
              "lies between 0 and its RSS.")

    print()
    if problems:
        print("ANSWERS DIFFER OR TOOLS FAILED:")
        for p in problems:
            print("  " + p)
        return 1
    print("Every tool gave the expected answer to every query it ran.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
